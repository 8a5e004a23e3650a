"""python3 -m kivrel.batch on a 2-worker LocalCluster over a generated folder."""

import contextlib
import gc
import hashlib
import io
import json
import os
import random
import signal
import subprocess
import sys
import threading
import time
import unittest
import unittest.mock

from kivrel import batch

import documents

GOOD = 100
BROKEN = {"broken": 4, "dangling": 2, "garbage": 3}


def by_path(records):
    return {r["path"]: r for r in records}


class BatchRun(documents.TempFiles):
    def setUp(self):
        super().setUp()
        self.docs = os.path.join(self.dir, "docs")
        rnd = random.Random(5)
        for i in range(GOOD):
            self.write(f"docs/group{i % 7}/doc{i:04}.kvr", documents.report(i, pages=2 + i % 3))
        for i in range(BROKEN["broken"]):
            self.write(f"docs/broken{i}.kvr", b"%PDF-1.4\n" + rnd.randbytes(200))
        for i in range(BROKEN["dangling"]):
            os.symlink(os.path.join(self.dir, "gone", str(i)),
                       os.path.join(self.docs, f"dangling{i}.kvr"))
        for i in range(BROKEN["garbage"]):
            self.write(f"docs/garbage{i}.kvr", rnd.randbytes(3000))
        self.write("docs/notes.txt", b"not matched by the pattern\n")
        self.paths = batch.find_documents([self.docs], "*.kvr")
        self.sequential = by_path(batch.process_document(p) for p in self.paths)

    def command(self, out, *extra):
        return [sys.executable, "-m", "kivrel.batch", self.docs, "-o", out, "--workers", "2",
                "--pattern", "*.kvr", "--quiet", *extra]

    def test_killed_cluster_run_resumes_to_the_sequential_result(self):
        # Failures too must come back the same after the kill.
        self.assertEqual(sum("error" in r for r in self.sequential.values()), sum(BROKEN.values()))
        out = os.path.join(self.dir, "killed.jsonl")
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


class BatchRecords(documents.TempFiles):
    def setUp(self):
        super().setUp()
        self.docs = os.path.join(self.dir, "docs")
        os.makedirs(self.docs)
        self.out = os.path.join(self.dir, "out.jsonl")

    def main(self, *args):
        """batch.main's exit code and what it wrote on stderr, for a run into self.out."""
        with contextlib.redirect_stderr(io.StringIO()) as err:
            code = batch.main([*args, "-o", self.out, "--quiet"])
        return code, err.getvalue()

    def records(self):
        with open(self.out, encoding="utf-8") as f:
            return {r["path"]: r for r in map(json.loads, filter(str.strip, f))}

    def test_every_matching_document_gets_a_line_and_failures_their_error(self):
        good = self.write("docs/sub/good.kvr", documents.report(2))
        # A name that is not UTF-8 is still recorded, with the items of its document.
        latin1 = self.write(b"docs/caf\xe9.kvr", documents.report(3))
        notes = self.write("docs/notes.kvr", b"meeting notes, not a document\n")
        self.write("docs/notes.txt", b"not matched by the pattern\n")
        dangling = os.path.join(self.docs, "dangling.kvr")
        os.symlink(os.path.join(self.dir, "gone"), dangling)
        self.assertEqual(self.main(self.docs, "--pattern", "*.kvr", "--sequential"), (0, ""))
        records = self.records()
        self.assertEqual(set(records), {good, latin1, notes, dangling})
        for path in (good, latin1):
            self.assertNotIn("error", records[path])
            self.assertTrue(records[path]["items"], records[path])
        for path, error in ((notes, "kivrel.Error: "), (dangling, "FileNotFoundError: ")):
            self.assertNotIn("items", records[path])
            self.assertTrue(records[path]["error"].startswith(error), records[path])
        # Failing at its first bytes, yet hashed whole.
        big = self.write("docs/big.bin", b"\xff" * (3 << 20))
        self.assertEqual(self.main(big, "--sequential"), (0, ""))
        records = self.records()
        self.assertIn("error", records[big])
        for path in (good, notes, big):
            with open(path, "rb") as f:
                self.assertEqual(records[path]["sha256"], hashlib.sha256(f.read()).hexdigest())

    def test_a_document_that_can_be_read_once_gets_its_hash_and_outline(self):
        data = documents.report(2)
        fifo = self.fifo("once.kvr", data)
        got = []
        # A daemon thread, as a second open of the FIFO would wait for good.
        reader = threading.Thread(target=lambda: got.append(batch.process_document(fifo)),
                                  daemon=True)
        reader.start()
        reader.join(30)
        self.assertFalse(reader.is_alive(), "the FIFO was opened more than once")
        (record,) = got
        self.assertEqual(record.pop("path"), fifo)
        self.assertEqual(record["sha256"], hashlib.sha256(data).hexdigest())
        from_file = batch.process_document(self.write("file.kvr", data))
        del from_file["path"]
        self.assertEqual(record, from_file)

    def test_an_output_that_is_not_a_results_file_is_left_alone(self):
        self.write("docs/good.kvr", documents.report(2))
        with open(self.out, "wb") as f:
            f.write(b"meeting notes\nlast line without an end")
        code, err = self.main(self.docs, "--sequential")
        self.assertEqual(code, 1)
        self.assertIn("other lines than results", err)
        with open(self.out, "rb") as f:
            self.assertEqual(f.read(), b"meeting notes\nlast line without an end")

    def test_a_rerun_into_the_input_folder_skips_the_output_and_blank_lines(self):
        good = self.write("docs/good.kvr", documents.report(2))
        self.out = os.path.join(self.docs, "out.jsonl")
        self.assertEqual(self.main(self.docs, "--sequential"), (0, ""))
        with open(self.out, "a", encoding="utf-8") as f:
            f.write("\n")
        later = self.write("docs/later.kvr", documents.report(3))
        self.assertEqual(self.main(self.docs, "--sequential"), (0, ""))
        self.assertEqual(set(self.records()), {good, later})

    def test_a_bad_scheduler_address_is_a_usage_error(self):
        self.write("docs/good.kvr", documents.report(2))
        code, err = self.main(self.docs, "--scheduler", "bogus")
        self.assertEqual(code, 2)
        self.assertIn("--scheduler bogus", err)
        # Dask's Client that failed to start goes with the garbage collector;
        # let it go now, not while the next test starts a Client of its own.
        gc.collect()

    def test_without_dask_a_cluster_run_says_what_is_missing(self):
        self.write("docs/good.kvr", documents.report(2))
        # None in sys.modules makes the import fail.
        with unittest.mock.patch.dict(sys.modules, {"distributed": None}):
            code, err = self.main(self.docs)
        self.assertEqual(code, 1)
        self.assertIn("--sequential", err)

    def test_a_task_that_cannot_complete_is_recorded_and_the_run_goes_on(self):
        from distributed import Client

        paths = [self.write(f"docs/d{i}.kvr", documents.report(i)) for i in range(4)]
        real = batch.process_chunk

        def chunk_that_dies(part, settings=None):
            if any(p.endswith("d0.kvr") for p in part):
                raise MemoryError("worker ran out of memory")
            return real(part, settings)

        log = batch.ResultLog(self.out)
        bar = batch.ProgressBar(len(paths), quiet=True)
        with unittest.mock.patch.object(batch, "process_chunk", chunk_that_dies), \
                Client(processes=False, n_workers=1, threads_per_worker=1,
                       dashboard_address=":0") as client:
            batch.run_dask(client, paths, {}, log, bar, 1)
        log.close()
        records = self.records()
        self.assertEqual(set(records), set(paths))
        self.assertIn("MemoryError", records[paths[0]]["error"])
        for p in paths[1:]:
            self.assertIn("items", records[p])

    def test_terminal_bar_shows_every_finished_chunk(self):
        paths = [self.write(f"docs/d{i}.kvr", documents.report(i)) for i in range(8)]
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
