"""python3 -m kivrel.batch on a 2-worker LocalCluster over a generated folder."""

import contextlib
import errno
import gc
import hashlib
import io
import json
import os
import random
import signal
import subprocess
import sys
import tempfile
import time
import unittest
import unittest.mock

from kivrel import batch

import documents

GOOD = 100
BROKEN = {"broken": 4, "dangling": 2, "garbage": 3}


def by_path(records):
    return {r["path"]: r for r in records}


class BatchRun(unittest.TestCase):
    def setUp(self):
        self._dir = tempfile.TemporaryDirectory()
        self.addCleanup(self._dir.cleanup)
        self.root = self._dir.name
        self.docs = os.path.join(self.root, "docs")
        rnd = random.Random(5)
        for i in range(GOOD):
            os.makedirs(os.path.join(self.docs, f"group{i % 7}"), exist_ok=True)
            with open(os.path.join(self.docs, f"group{i % 7}", f"doc{i:04}.kvr"), "wb") as f:
                f.write(documents.report(i, pages=2 + i % 3))
        for i in range(BROKEN["broken"]):
            with open(os.path.join(self.docs, f"broken{i}.kvr"), "wb") as f:
                f.write(b"%PDF-1.4\n" + rnd.randbytes(200))
        for i in range(BROKEN["dangling"]):
            os.symlink(os.path.join(self.root, "gone", str(i)),
                       os.path.join(self.docs, f"dangling{i}.kvr"))
        for i in range(BROKEN["garbage"]):
            with open(os.path.join(self.docs, f"garbage{i}.kvr"), "wb") as f:
                f.write(rnd.randbytes(3000))
        with open(os.path.join(self.docs, "notes.txt"), "w") as f:
            f.write("not matched by the pattern\n")
        self.paths = batch.find_documents([self.docs], "*.kvr")
        self.sequential = by_path(batch.process_document(p) for p in self.paths)

    def command(self, out, *extra):
        return [sys.executable, "-m", "kivrel.batch", self.docs, "-o", out, "--workers", "2",
                "--pattern", "*.kvr", "--quiet", *extra]

    def test_sequential_records_failures_with_their_error(self):
        self.assertEqual(len(self.paths), GOOD + sum(BROKEN.values()))
        for path, record in self.sequential.items():
            name = os.path.basename(path)
            if name.startswith(("broken", "dangling", "garbage")):
                self.assertNotIn("items", record)
                self.assertTrue(record["error"].startswith(
                    "FileNotFoundError" if "dangling" in name else "kivrel.Error"), record)
            else:
                self.assertNotIn("error", record)
                self.assertEqual(len(record["sha256"]), 64)
        self.assertTrue(any(r.get("items") for r in self.sequential.values()))

    def test_killed_cluster_run_resumes_to_the_sequential_result(self):
        out = os.path.join(self.root, "killed.jsonl")
        run = subprocess.Popen(self.command(out, "--chunk", "1"), start_new_session=True)
        deadline = time.monotonic() + 40
        lines = 0
        try:
            while time.monotonic() < deadline and run.poll() is None:
                if os.path.exists(out):
                    with open(out, "rb") as f:
                        lines = f.read().count(b"\n")
                    if lines >= len(self.paths) // 4:
                        break
                time.sleep(0.01)
        finally:
            # The whole session: the runner, its nannies and their workers.
            os.killpg(run.pid, signal.SIGKILL)
            run.wait()
        self.assertGreater(lines, 0)
        self.assertLess(lines, len(self.paths), "the run ended before it could be killed")
        # As if the kill had hit in the middle of a line.
        with open(out, "ab") as f:
            f.write(b'{"path": "/half/a/line", "sha')
        subprocess.run(self.command(out), check=True, timeout=60)
        with open(out, encoding="utf-8") as f:
            records = [json.loads(line) for line in f]
        self.assertEqual(len(records), len({r["path"] for r in records}), "duplicate lines")
        self.assertEqual(by_path(records), self.sequential)
        # A run that finds everything done appends nothing.
        before = os.path.getsize(out)
        subprocess.run(self.command(out), check=True, timeout=60)
        self.assertEqual(os.path.getsize(out), before)


class TtyStream(io.StringIO):
    def isatty(self):
        return True


class BatchRecords(unittest.TestCase):
    def setUp(self):
        self._dir = tempfile.TemporaryDirectory()
        self.addCleanup(self._dir.cleanup)
        self.docs = os.path.join(self._dir.name, "docs")
        os.makedirs(self.docs)
        self.out = os.path.join(self._dir.name, "out.jsonl")

    def write(self, name, data):
        path = os.path.join(os.fsencode(self.docs), os.fsencode(name) if isinstance(name, str) else name)
        with open(path, "wb") as f:
            f.write(data)
        return os.fsdecode(path)

    def records(self):
        with open(self.out, encoding="utf-8") as f:
            return {r["path"]: r for r in map(json.loads, filter(str.strip, f))}

    def test_every_document_gets_a_line_and_failures_an_error(self):
        good = self.write("good.kvr", documents.report(2))
        latin1 = self.write(b"caf\xe9.kvr", documents.report(3))
        notes = self.write("notes.txt", b"meeting notes, not a document\n")
        self.assertEqual(batch.main([self.docs, "-o", self.out, "--sequential", "--quiet"]), 0)
        records = self.records()
        self.assertEqual(len(records), 3, records.keys())
        self.assertIn("items", records[good])
        self.assertIn("error", records[notes])
        # A name that is not UTF-8 is still recorded, with the items of its document.
        (odd,) = [p for p in records if p not in (good, notes)]
        self.assertIn("items", records[odd])
        self.assertEqual(odd, latin1)
        # Failing at its first bytes, yet hashed whole.
        big = self.write("big.bin", b"\xff" * (3 << 20))
        self.assertEqual(batch.main([big, "-o", self.out, "--sequential", "--quiet"]), 0)
        records = self.records()
        self.assertIn("error", records[big])
        for path in (good, notes, big):
            with open(path, "rb") as f:
                self.assertEqual(records[path]["sha256"], hashlib.sha256(f.read()).hexdigest())

    def test_a_document_that_can_be_read_once_gets_its_hash_and_outline(self):
        data = documents.report(2)
        fifo = os.path.join(self.docs, "once.kvr")
        os.mkfifo(fifo)
        code = ("import json, sys; from kivrel import batch; "
                "print(json.dumps(batch.process_document(sys.argv[1])))")
        reader = subprocess.Popen([sys.executable, "-c", code, fifo], stdout=subprocess.PIPE)
        try:
            # Not a blocking open: a reader that died first would hang it.
            deadline = time.monotonic() + 30
            while True:
                try:
                    fd = os.open(fifo, os.O_WRONLY | os.O_NONBLOCK)
                    break
                except OSError as e:
                    if e.errno != errno.ENXIO or reader.poll() is not None \
                            or time.monotonic() > deadline:
                        raise
                    time.sleep(0.01)
            os.set_blocking(fd, True)
            with open(fd, "wb") as f:
                f.write(data)
            out, _ = reader.communicate(timeout=30)
        finally:
            reader.kill()
        record = json.loads(out)
        self.assertEqual(record.pop("path"), fifo)
        self.assertEqual(record["sha256"], hashlib.sha256(data).hexdigest())
        from_file = batch.process_document(self.write("file.kvr", data))
        del from_file["path"]
        self.assertEqual(record, from_file)

    def test_an_output_that_is_not_a_results_file_is_left_alone(self):
        self.write("good.kvr", documents.report(2))
        with open(self.out, "wb") as f:
            f.write(b"meeting notes\nlast line without an end")
        with contextlib.redirect_stderr(io.StringIO()) as err:
            self.assertEqual(batch.main([self.docs, "-o", self.out, "--sequential", "--quiet"]), 1)
        self.assertIn("other lines than results", err.getvalue())
        with open(self.out, "rb") as f:
            self.assertEqual(f.read(), b"meeting notes\nlast line without an end")

    def test_a_rerun_into_the_input_folder_skips_the_output_and_blank_lines(self):
        good = self.write("good.kvr", documents.report(2))
        self.out = os.path.join(self.docs, "out.jsonl")
        argv = [self.docs, "-o", self.out, "--sequential", "--quiet"]
        self.assertEqual(batch.main(argv), 0)
        with open(self.out, "a", encoding="utf-8") as f:
            f.write("\n")
        later = self.write("later.kvr", documents.report(3))
        self.assertEqual(batch.main(argv), 0)
        self.assertEqual(set(self.records()), {good, later})

    def test_a_bad_scheduler_address_is_a_usage_error(self):
        self.write("good.kvr", documents.report(2))
        with contextlib.redirect_stderr(io.StringIO()) as err:
            self.assertEqual(batch.main([self.docs, "-o", self.out, "--scheduler", "bogus"]), 2)
        self.assertIn("--scheduler bogus", err.getvalue())
        # Dask's Client that failed to start goes with the garbage collector;
        # let it go now, not while the next test starts a Client of its own.
        gc.collect()

    def test_without_dask_a_cluster_run_says_what_is_missing(self):
        self.write("good.kvr", documents.report(2))
        # None in sys.modules makes the import fail.
        with unittest.mock.patch.dict(sys.modules, {"distributed": None}), \
                contextlib.redirect_stderr(io.StringIO()) as err:
            self.assertEqual(batch.main([self.docs, "-o", self.out, "--quiet"]), 1)
        self.assertIn("--sequential", err.getvalue())

    def test_a_task_that_cannot_complete_is_recorded_and_the_run_goes_on(self):
        from distributed import Client

        paths = [self.write(f"d{i}.kvr", documents.report(i)) for i in range(4)]
        real = batch.process_chunk

        def chunk_that_dies(part, settings=None):
            if any(p.endswith("d0.kvr") for p in part):
                raise MemoryError("worker ran out of memory")
            return real(part, settings)

        batch.process_chunk = chunk_that_dies
        self.addCleanup(setattr, batch, "process_chunk", real)
        log = batch.ResultLog(self.out)
        bar = batch.ProgressBar(len(paths), quiet=True)
        with Client(processes=False, n_workers=1, threads_per_worker=1,
                    dashboard_address=":0") as client:
            batch.run_dask(client, paths, {}, log, bar, 1)
        log.close()
        records = self.records()
        self.assertEqual(set(records), set(paths))
        self.assertIn("MemoryError", records[paths[0]]["error"])
        for p in paths[1:]:
            self.assertIn("items", records[p])

    def test_terminal_bar_shows_every_finished_chunk(self):
        paths = [self.write(f"d{i}.kvr", documents.report(i)) for i in range(8)]
        paths.append(os.path.join(self.docs, "missing.kvr"))
        stream = TtyStream()
        bar = batch.ProgressBar(len(paths), stream=stream)
        log = batch.ResultLog(self.out)
        batch.run_sequential(paths, {}, log, bar, chunk=3)
        log.close()
        # Before finish(): what a user sees once the last chunk is in.
        self.assertIn("9/9 done, 1 failed", stream.getvalue().split("\r")[-1])


class BatchOptions(unittest.TestCase):
    def test_settings_options_are_read_and_checked_as_on_the_command_line(self):
        cases = [  # (option, value, what it reads as, or None for a usage error)
            ("--exclude", "1-3,5,10-", "1-3,5,10-"),
            ("--exclude", "1-3;5", None),
            ("--exclude", "abc", None),
            ("--flags", "522", 522),
            ("--flags", "0x20A", 0x20A),
            ("--flags", "010", 10),
            ("--flags", " 522 ", 522),
            ("--flags", "0" * 5000 + "1", 1),
            ("--flags", "0b1", None),
            ("--flags", "-1", None),
            ("--flags", "2147483648", None),
            ("--flags", "9" * 5000, None),
            ("--max-length", "1", 1),
            ("--max-length", "0", None),
        ]
        for option, value, read in cases:
            with self.subTest(option=option, value=value[:20]):
                argv = ["in", "-o", "out.jsonl", option, value]
                if read is not None:
                    self.assertEqual(getattr(batch._parse_args(argv), option[2:].replace("-", "_")),
                                     read)
                    continue
                with contextlib.redirect_stderr(io.StringIO()), \
                        self.assertRaises(SystemExit) as caught:
                    batch._parse_args(argv)
                self.assertEqual(caught.exception.code, 2)


if __name__ == "__main__":
    unittest.main()
