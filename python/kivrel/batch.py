"""Outlines of many documents on a Dask cluster, one JSON line per document.

    python3 -m kivrel.batch INPUT... -o OUT.jsonl [--scheduler ADDRESS]
                            [--workers N] [--pattern GLOB]

INPUT is a file or a folder (searched recursively for names matching
--pattern). Without --scheduler a LocalCluster of --workers processes runs on
this machine; with it, the run uses the Dask cluster at that address, whose
workers must import kivrel and read the same paths.

Each line of OUT.jsonl holds "path", "sha256", "pages" and either "items" or
"error". A document that fails is recorded with its error and the run goes on.
Lines are appended whole and synced after every task, so a rerun with the same
OUT.jsonl skips every document already recorded: a crash or Ctrl-C loses
nothing that was written.
"""

from __future__ import annotations

import argparse
import errno
import fcntl
import fnmatch
import hashlib
import json
import logging
import os
import re
import sys
import time
from typing import BinaryIO, Dict, Iterable, Iterator, List, Optional, Sequence, Set, TextIO, Tuple

import kivrel

# Chunks in flight per worker: enough to keep every worker busy while results
# come back, few enough that an interrupted run has little work in the air.
_IN_FLIGHT_PER_WORKER = 4
# Full-width digits, comma and hyphen, which page ranges may use, and U+3000.
_FULL_WIDTH = {**{0xFF10 + d: 0x30 + d for d in range(10)}, 0xFF0C: 0x2C, 0xFF0D: 0x2D,
               0x3000: 0x20}


def find_documents(inputs: Iterable[str], pattern: str = "*") -> List[str]:
    """Absolute paths of the inputs: files as given, folders searched
    recursively for names matching pattern. Sorted, without duplicates."""
    found: Set[str] = set()
    for given in inputs:
        path = os.path.abspath(given)
        if os.path.isdir(path):
            for folder, dirs, files in os.walk(path):
                dirs.sort()
                found.update(
                    os.path.join(folder, name) for name in files if fnmatch.fnmatch(name, pattern)
                )
        else:
            # Missing files are kept so that they are recorded as failures.
            found.add(path)
    return sorted(found)


def settings_to_state(settings: kivrel.Settings) -> dict:
    return {
        "exclude_pages": settings.exclude_pages,
        "max_length": settings.max_length,
        "flags": settings.flags,
        "page_offset": settings.page_offset,
    }


def describe_error(error: BaseException) -> str:
    kind = type(error)
    name = kind.__qualname__
    if kind.__module__ not in ("builtins", "kivrel._kivrel"):
        name = f"{kind.__module__}.{name}"
    elif kind.__module__ == "kivrel._kivrel":
        name = "kivrel." + name
    return f"{name}: {error}"


class _HashingReader:
    """A binary file that hashes what is read from it."""

    def __init__(self, file: BinaryIO):
        self._file = file
        self._digest = hashlib.sha256()

    def read(self, size: int = -1) -> bytes:
        block = self._file.read(size)
        self._digest.update(block)
        return block

    # For the size of what is left, so that a PDF read whole is read into
    # one buffer of its size.
    def fileno(self) -> int:
        return self._file.fileno()

    def tell(self) -> int:
        return self._file.tell()

    def finish(self) -> str:
        """The hex SHA-256 of the whole file, reading what is left unread."""
        for block in iter(lambda: self.read(1 << 20), b""):
            pass
        return self._digest.hexdigest()


def process_document(path: str, settings: Optional[dict] = None) -> dict:
    """The JSON record of one document. Never raises for the document's sake:
    a failure becomes the record's "error"."""
    record: Dict[str, object] = {"path": path, "sha256": None, "pages": None}
    try:
        options = kivrel.Settings(**(settings or {}))
        # One read gives both, so the hash is that of the bytes outlined,
        # even if the file changes meanwhile or is a pipe.
        with open(path, "rb") as f:
            hashing = _HashingReader(f)
            try:
                items, pages = kivrel.outline_with_pages(hashing, options)
            except Exception:
                record["sha256"] = hashing.finish()
                raise
            record["sha256"] = hashing.finish()
        record["pages"] = pages
        record["items"] = [item.to_dict() for item in items]
    except Exception as e:  # noqa: BLE001 - every failure is data here
        record["error"] = describe_error(e)
    return record


def to_line(record: dict) -> str:
    # A path that is not UTF-8 holds lone surrogates: they are written as
    # JSON escapes, which read back as the same path.
    text = json.dumps(record, ensure_ascii=False)
    return text.encode("utf-8", "backslashreplace").decode("utf-8") + "\n"


def process_chunk(
    paths: Sequence[str], settings: Optional[dict] = None
) -> List[Tuple[str, bool, str]]:
    """(path, failed, JSON line) per document: the workers encode, so the
    process that writes the output only appends."""
    records = (process_document(p, settings) for p in paths)
    return [(r["path"], "error" in r, to_line(r)) for r in records]


class ResultLog:
    """OUT.jsonl: the paths already recorded, and a durable append per line."""

    def __init__(self, path: str):
        self.path = path
        self.done: Set[str] = set()
        self._file: TextIO = open(path, "a+", encoding="utf-8")
        try:
            # Two runs appending to one file would record documents twice.
            fcntl.flock(self._file.fileno(), fcntl.LOCK_EX | fcntl.LOCK_NB)
        except BlockingIOError:
            self._file.close()
            raise OSError(errno.EBUSY, "another run is writing to it") from None
        self._repair_and_load()

    def _repair_and_load(self) -> None:
        fd = self._file.fileno()
        os.lseek(fd, 0, os.SEEK_SET)
        with open(fd, "rb", closefd=False) as f:
            data = f.read()
        # A run killed while writing can leave half a line at the end; drop
        # it so that the document is processed again.
        end = data.rfind(b"\n") + 1
        done = set()
        for line in data[:end].splitlines():
            if not line.strip():
                continue  # a blank line, as an editor may leave
            try:
                done.add(json.loads(line)["path"])
            except (ValueError, KeyError, TypeError):
                # Not a file this tool wrote: cutting its last line, or
                # appending to it, would spoil someone's data.
                self._file.close()
                raise OSError(errno.EINVAL, "it holds other lines than results") from None
        if end != len(data):
            os.ftruncate(fd, end)
            os.fsync(fd)
        self._file.seek(0, os.SEEK_END)
        self.done = done

    def append(self, path: str, line: str) -> None:
        # One write per line: a killed process leaves whole lines behind.
        self._file.write(line)
        self._file.flush()
        self.done.add(path)

    def sync(self) -> None:
        # Once per finished task rather than per line: fsync costs milliseconds,
        # and a line lost with the machine only means its document runs again.
        os.fsync(self._file.fileno())

    def close(self) -> None:
        self._file.flush()
        os.fsync(self._file.fileno())
        self._file.close()


class ProgressBar:
    """Documents done and failed and the rate, on stderr. Redrawn in place on
    a terminal; elsewhere one line now and then and one at the end."""

    def __init__(self, total: int, stream: TextIO = sys.stderr, quiet: bool = False):
        self.total = total
        self.done = 0
        self.failed = 0
        self.stream = stream
        self.quiet = quiet
        self.tty = stream.isatty()
        self.start = time.monotonic()
        self._last = 0.0

    def update(self, failed: bool) -> None:
        self.done += 1
        self.failed += failed
        now = time.monotonic()
        if now - self._last >= (0.1 if self.tty else 10.0):
            self._last = now
            self._draw()

    def settle(self) -> None:
        # Results come a chunk at a time, faster than the bar redraws: show
        # the whole chunk once it is in.
        if self.tty:
            self._last = time.monotonic()
            self._draw()

    def rate(self) -> float:
        elapsed = time.monotonic() - self.start
        return self.done / elapsed if elapsed > 0 else 0.0

    def _draw(self, final: bool = False) -> None:
        if self.quiet:
            return
        width = 30
        filled = width * self.done // self.total if self.total else width
        line = (
            f"[{'#' * filled}{'.' * (width - filled)}] {self.done}/{self.total} done, "
            f"{self.failed} failed, {self.rate():.1f} docs/s"
        )
        if self.tty:
            self.stream.write("\r" + line + ("\n" if final else ""))
        else:
            self.stream.write(line + "\n")
        self.stream.flush()

    def finish(self) -> None:
        self._draw(final=True)


def _chunks(paths: Sequence[str], size: int) -> Iterator[List[str]]:
    for i in range(0, len(paths), size):
        yield list(paths[i : i + size])


def run_sequential(
    paths: Sequence[str], settings: dict, log: ResultLog, bar: ProgressBar, chunk: int
) -> None:
    for part in _chunks(paths, chunk):
        for path, failed, line in process_chunk(part, settings):
            log.append(path, line)
            bar.update(failed)
        bar.settle()
        log.sync()


def run_dask(
    client, paths: Sequence[str], settings: dict, log: ResultLog, bar: ProgressBar, chunk: int
) -> None:
    from distributed import as_completed

    pending = _chunks(paths, chunk)
    in_flight = {}
    # The results come with the futures: no round trip to the client's event
    # loop per task.
    queue = as_completed(with_results=True, raise_errors=False)

    workers = [1, 0.0]  # count, when it was asked for

    def top_up() -> None:
        # Workers may join or leave while the run goes on; asking the
        # scheduler is a round trip, so only now and then.
        now = time.monotonic()
        if now - workers[1] > 2.0:
            workers[:] = [max(1, len(client.scheduler_info().get("workers", {}))), now]
        while len(in_flight) < workers[0] * _IN_FLIGHT_PER_WORKER:
            part = next(pending, None)
            if part is None:
                return
            future = client.submit(process_chunk, part, settings, pure=False)
            in_flight[future] = part
            queue.add(future)

    top_up()
    for future, result in queue:
        part = in_flight.pop(future)
        if future.status == "finished":
            lines = result
        else:
            # A lost worker or a cancelled task, not the documents' fault.
            # The result is then the exception, or (type, exception, traceback).
            error = describe_error(result[1] if isinstance(result, tuple) else result)
            lines = [(p, True, to_line({"path": p, "sha256": None, "pages": None, "error": error}))
                     for p in part]
        for path, failed, line in lines:
            log.append(path, line)
            bar.update(failed)
        bar.settle()
        log.sync()
        future.release()
        top_up()


_RANGE_ITEM = re.compile(r"[ \t]*([0-9]+|[0-9]*[ \t]*-[ \t]*[0-9]*)?[ \t]*")


def _page_ranges(text: str) -> str:
    # Checked as kivrel outline checks it: the library would ignore a typing
    # slip and select other pages without a word.
    ascii_form = text.translate(_FULL_WIDTH)
    if not all(_RANGE_ITEM.fullmatch(item) for item in ascii_form.split(",")):
        raise argparse.ArgumentTypeError(
            f"not a page range: {text!r} (use pages and ranges like 1-3,5,10-)")
    return text


_FLAGS = re.compile(r"[ \t]*(?:0[xX]([0-9a-fA-F]+)|([0-9]+))[ \t]*")


def _flags(text: str) -> int:
    # Decimal or 0x hexadecimal, as kivrel outline takes it ("010" is ten).
    match = _FLAGS.fullmatch(text)
    if not match:
        raise argparse.ArgumentTypeError(
            f"expected a whole number in decimal or 0x hexadecimal, not {text!r}")
    # Without leading zeros, and no longer than the largest value, so that
    # int() never meets a string beyond its length limit.
    digits = (match[1] or match[2]).lstrip("0") or "0"
    base = 16 if match[1] else 10
    largest = format(2**31 - 1, "x" if base == 16 else "d")
    value = int(digits, base) if len(digits) <= len(largest) else 2**31
    if value > 2**31 - 1:
        raise argparse.ArgumentTypeError(f"{text!r} is too large")
    return value


def _parse_args(argv: Optional[Sequence[str]]) -> argparse.Namespace:
    parser = argparse.ArgumentParser(
        prog="python3 -m kivrel.batch",
        description="Outlines of many documents, one JSON line per document, on Dask.",
    )
    parser.add_argument("inputs", nargs="+", metavar="INPUT", help="files or folders")
    parser.add_argument("-o", "--output", required=True, metavar="OUT.jsonl",
                        help="results; documents already in it are skipped")
    parser.add_argument("--scheduler", metavar="ADDRESS",
                        help="address of a running Dask scheduler (default: a LocalCluster)")
    parser.add_argument("--workers", type=int, default=os.cpu_count() or 1, metavar="N",
                        help="LocalCluster worker processes (default: CPU count)")
    parser.add_argument("--pattern", default="*", metavar="GLOB",
                        help="names to take from folders (default: all files)")
    parser.add_argument("--chunk", type=int, default=8, metavar="N",
                        help="documents per Dask task (default: 8)")
    parser.add_argument("--sequential", action="store_true",
                        help="no Dask: one loop in this process")
    parser.add_argument("--quiet", action="store_true", help="no progress bar")
    parser.add_argument("--exclude", default="", type=_page_ranges, metavar="RANGES",
                        help="pages to leave out, e.g. 1-3,5,10-")
    parser.add_argument("--max-length", type=int, default=kivrel.Settings().max_length)
    parser.add_argument("--flags", type=_flags, default=kivrel.Settings().flags)
    parser.add_argument("--page-offset", type=int, default=0)
    args = parser.parse_args(argv)
    if args.workers < 1:
        parser.error("--workers must be at least 1")
    if args.chunk < 1:
        parser.error("--chunk must be at least 1")
    if args.max_length < 1:
        # Every candidate would be dropped, as kivrel outline refuses too.
        parser.error("--max-length must be at least 1")
    try:
        args.settings = settings_to_state(kivrel.Settings(
            exclude_pages=args.exclude, max_length=args.max_length, flags=args.flags,
            page_offset=args.page_offset))
    except (TypeError, ValueError) as e:
        parser.error(str(e))
    return args


def main(argv: Optional[Sequence[str]] = None) -> int:
    args = _parse_args(argv)
    # OUT.jsonl may sit in a folder it lists, where it is no document.
    output = os.path.realpath(args.output)
    paths = [p for p in find_documents(args.inputs, args.pattern)
             if os.path.realpath(p) != output]
    try:
        log = ResultLog(args.output)
    except OSError as e:
        print(f"kivrel.batch: cannot open {args.output}: {e.strerror}", file=sys.stderr)
        return 1
    todo = [p for p in paths if p not in log.done]
    bar = ProgressBar(len(todo), quiet=args.quiet)
    if not args.quiet and len(todo) < len(paths):
        print(f"{len(paths) - len(todo)} documents already in {args.output}, skipped",
              file=sys.stderr)
    client = cluster = None
    try:
        if args.sequential:
            run_sequential(todo, args.settings, log, bar, args.chunk)
        elif todo:
            try:
                from distributed import Client, LocalCluster
            except ImportError:
                print("kivrel.batch: Dask's distributed package is not installed "
                      "(Debian: python3-distributed); --sequential runs without it",
                      file=sys.stderr)
                return 1

            if args.scheduler:
                try:
                    client = Client(args.scheduler)
                except ValueError as e:
                    print(f"kivrel.batch: --scheduler {args.scheduler}: {e}", file=sys.stderr)
                    return 2
                except OSError as e:
                    print(f"kivrel.batch: --scheduler {args.scheduler}: cannot connect: {e}",
                          file=sys.stderr)
                    return 1
            else:
                # Any free port for the scheduler's HTTP server: 8787 may be
                # taken by another cluster on this machine.
                cluster = LocalCluster(n_workers=args.workers, threads_per_worker=1,
                                       processes=True, dashboard_address=":0",
                                       silence_logs=logging.ERROR)
                client = Client(cluster)
            bar.start = time.monotonic()  # the rate leaves out the cluster's start-up
            run_dask(client, todo, args.settings, log, bar, args.chunk)
    except KeyboardInterrupt:
        bar.finish()
        print("interrupted; rerun the same command to continue", file=sys.stderr)
        return 130
    except OSError as e:
        if e.filename is not None:
            raise  # a document's, which the runs record themselves
        # Writing the results failed (a full disk); what is on disk is whole
        # lines, and a rerun goes on from there.
        print(f"kivrel.batch: cannot write {args.output}: {e.strerror}", file=sys.stderr)
        return 1
    finally:
        try:
            log.close()
        except OSError:
            pass  # the failure was reported, or is reported by the raise
        if client is not None:
            client.close()
        if cluster is not None:
            cluster.close()
    bar.finish()
    return 0


if __name__ == "__main__":
    # Run through the imported module so that Dask ships references to
    # kivrel.batch functions rather than to __main__.
    from kivrel.batch import main as _main

    sys.exit(_main())
