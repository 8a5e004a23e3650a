"""python3 -m kivrel.batch on a 2-worker LocalCluster over a generated folder."""

import json
import os
import random
import re
import signal
import subprocess
import sys
import tempfile
import time
import unittest

from kivrel import batch

import documents

GOOD = 300
FAKE_PDFS = 8
DANGLING = 4
GARBAGE = 6  # random bytes: not an error, the reader just stops


def read_lines(path):
    with open(path, encoding="utf-8") as f:
        return [json.loads(line) for line in f]


def by_path(records):
    return {r["path"]: r for r in records}


class BatchRun(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls._dir = tempfile.TemporaryDirectory()
        cls.root = cls._dir.name
        cls.docs = os.path.join(cls.root, "docs")
        rnd = random.Random(5)
        for i in range(GOOD):
            sub = os.path.join(cls.docs, f"group{i % 7}")
            os.makedirs(sub, exist_ok=True)
            with open(os.path.join(sub, f"doc{i:04}.kvr"), "wb") as f:
                f.write(documents.report(i, pages=2 + i % 5))
        for i in range(FAKE_PDFS):
            with open(os.path.join(cls.docs, f"broken{i}.kvr"), "wb") as f:
                f.write(b"%PDF-1.4\n" + rnd.randbytes(200))
        for i in range(DANGLING):
            os.symlink(os.path.join(cls.root, "gone", str(i)),
                       os.path.join(cls.docs, f"dangling{i}.kvr"))
        for i in range(GARBAGE):
            with open(os.path.join(cls.docs, f"garbage{i}.kvr"), "wb") as f:
                f.write(rnd.randbytes(3000))
        with open(os.path.join(cls.docs, "notes.txt"), "w") as f:
            f.write("not matched by the pattern\n")
        cls.paths = batch.find_documents([cls.docs], "*.kvr")
        cls.sequential = by_path(batch.process_document(p) for p in cls.paths)

    @classmethod
    def tearDownClass(cls):
        cls._dir.cleanup()

    def command(self, out, *extra):
        return [sys.executable, "-m", "kivrel.batch", self.docs, "-o", out, "--workers", "2",
                "--pattern", "*.kvr", "--quiet", *extra]

    def assert_complete(self, out):
        records = read_lines(out)
        paths = [r["path"] for r in records]
        self.assertEqual(len(paths), len(set(paths)), "duplicate lines")
        self.assertEqual(by_path(records), self.sequential)

    def test_inputs_are_found_by_pattern(self):
        self.assertEqual(len(self.paths), GOOD + FAKE_PDFS + DANGLING + GARBAGE)
        self.assertFalse(any(p.endswith(".txt") for p in self.paths))

    def test_failures_are_recorded_with_their_error(self):
        failed = {p for p, r in self.sequential.items() if "error" in r}
        names = {re.sub(r"\d+\.kvr$", "", os.path.basename(p)) for p in failed}
        self.assertEqual(len(failed), FAKE_PDFS + DANGLING)
        self.assertEqual(names, {"broken", "dangling"})
        for path in failed:
            record = self.sequential[path]
            self.assertNotIn("items", record)
            self.assertTrue(record["error"].startswith(
                "FileNotFoundError" if "dangling" in path else "kivrel.Error"), record)
        good = [r for p, r in self.sequential.items() if p not in failed]
        self.assertTrue(all(len(r["sha256"]) == 64 and "items" in r for r in good))
        self.assertTrue(any(r["items"] for r in good))

    def test_cluster_run_matches_sequential_loop(self):
        out = os.path.join(self.root, "full.jsonl")
        subprocess.run(self.command(out), check=True, timeout=60)
        self.assert_complete(out)
        # A second run finds everything done and appends nothing.
        before = os.path.getsize(out)
        subprocess.run(self.command(out), check=True, timeout=60)
        self.assertEqual(os.path.getsize(out), before)

    def test_killed_run_resumes_to_complete_duplicate_free_output(self):
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
        self.assert_complete(out)


if __name__ == "__main__":
    unittest.main()
