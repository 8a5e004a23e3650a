"""python3 -m kivrel.batch on a 2-worker LocalCluster over a generated folder."""

import json
import os
import random
import signal
import subprocess
import sys
import tempfile
import time
import unittest

from kivrel import batch

import documents

GOOD = 100
BROKEN = {"broken": 4, "dangling": 2, "garbage": 3}  # garbage is no error: the reader stops


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
            if name.startswith(("broken", "dangling")):
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


if __name__ == "__main__":
    unittest.main()
