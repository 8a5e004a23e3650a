"""Writes N generated reports into a folder, for measuring the batch runner:

    PYTHONPATH=<build>/python:tests/python python3 tests/python/make_corpus.py DIR N [PAGES]
"""

import os
import sys

import documents


def main(argv):
    folder, count = argv[1], int(argv[2])
    pages = int(argv[3]) if len(argv) > 3 else 8
    os.makedirs(folder, exist_ok=True)
    for i in range(count):
        with open(os.path.join(folder, f"report{i:05}.kvr"), "wb") as f:
            f.write(documents.report(i, pages=pages))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
