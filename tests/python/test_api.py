"""The kivrel package against the library and the kivrel command."""

import ast
import copy
import dataclasses
import io
import json
import os
import pathlib
import pickle
import random
import re
import subprocess
import sys
import unittest
from concurrent.futures import ThreadPoolExecutor

import kivrel

import documents

CLI = os.environ.get("KIVREL_CLI")
needs_pdf = unittest.skipUnless(kivrel.HAVE_PDF, "built without the PDF front end")


# A child's own peak memory in kB, for probes. ru_maxrss would also count
# the pages of this process that the child shared until it started Python.
OWN_PEAK_KB = "int(re.search(r'VmHWM:\\s*(\\d+)', open('/proc/self/status').read())[1])"


def probe(code, *args):
    """The whole numbers a child Python prints when it runs code with args."""
    out = subprocess.run([sys.executable, "-c", code, *args], check=True,
                         capture_output=True, text=True).stdout
    return [int(v) for v in out.split()]


def sections_pdf():
    """Pages of numbered sections with body lines and a figure label a little
    above body size, which the exact rules keep and the quality mode drops."""
    words = ["alpha", "bravo", "charlie", "delta"]
    out = []
    for p in range(2):
        lines, y = [], 780
        for n in (2 * p + 1, 2 * p + 2):
            lines.append((16, y, f"{n} Section {'ABCDEFGH'[n]}"))
            y -= 28
            for w in words:
                lines.append((10, y, f"Body text of the section about {w} and more"))
                y -= 13
            lines.append((11, y - 36, f"Figure {n}: Data flow"))
            y -= 62
            for w in words:
                lines.append((10, y, f"More body text of the section about {w} here"))
                y -= 13
            y -= 30
        out.append(lines)
    return documents.simple_pdf(out)


class Reads(io.RawIOBase):
    """A file object whose reads give the parts in turn, each in reads of
    at most `step` bytes, as a slow pipe may; a part that is an exception
    is raised."""

    def __init__(self, parts, step=None):
        self.parts, self.left, self.step = iter(parts), b"", step

    def readable(self):
        return True

    def read(self, n=-1):
        if not self.left:
            self.left = next(self.parts, b"")
        if isinstance(self.left, Exception):
            raise self.left
        n = min(len(self.left), self.step or len(self.left), len(self.left) if n < 0 else n)
        got, self.left = self.left[:n], self.left[n:]
        return got


def record_starts(data):
    """Offsets of the record headers, walked as the reader walks them."""
    fixed = {1: 356, 2: 64, 3: 80, 4: 1408, 5: 120, 19: 0, 20: 8}
    starts, at = [], 0
    while at + 8 <= len(data):
        starts.append(at)
        kind = int.from_bytes(data[at:at + 4], "little")
        at += 8 + fixed.get(kind, int.from_bytes(data[at + 4:at + 8], "little"))
    return starts or [0]


def as_dicts(items):
    return [item.to_dict() for item in items]


# (CLI options, equivalent Settings and mode); each row changes the outline
# of at least one test document, checked below.
CLI_CASES = [
    ([], kivrel.Settings(), "auto"),
    (["--keep-sentences"], kivrel.Settings(keep_sentences=True), "auto"),
    (["--reject-commas"], kivrel.Settings(keep_commas=False), "auto"),
    (["--keep-parenthesised"], kivrel.Settings(keep_parenthesised=True), "auto"),
    (["--no-title"], kivrel.Settings(detect_title=False), "auto"),
    (["--no-indent-refinement"], kivrel.Settings(indent_refinement=False), "auto"),
    (["--exclude", "2-3"], kivrel.Settings(exclude_pages="2-3"), "auto"),
    (["--max-length", "12"], kivrel.Settings(max_length=12), "auto"),
    (["--flags", "0"], kivrel.Settings(flags=0), "auto"),
    (["--toc-document", "--page-offset", "5"], kivrel.Settings(toc_document=True, page_offset=5),
     "auto"),
    (["--exact"], kivrel.Settings(), "exact"),
    (["--quality"], kivrel.Settings(), "quality"),
]


@unittest.skipUnless(CLI, "KIVREL_CLI is not set: the kivrel command was not built")
class MatchesCommandLine(documents.TempFiles):
    def test_items_equal_cli_json_for_every_settings_and_mode_mapping(self):
        paths = [self.write(f"r{seed}.kvr", documents.report(seed)) for seed in range(6)]
        paths.append(self.write("toc.kvr", documents.toc_document()))
        if kivrel.HAVE_PDF:
            paths.append(self.write("sections.pdf", sections_pdf()))
        default = {p: as_dicts(kivrel.outline(p)) for p in paths}
        for options, settings, mode in CLI_CASES:
            if mode == "exact" and not kivrel.HAVE_PDF:
                continue  # the mode every record stream gets anyway
            changed = False
            for path in paths:
                with self.subTest(options=options, path=os.path.basename(path)):
                    out = subprocess.run([CLI, "outline", "--format", "json", *options, path],
                                         check=True, capture_output=True)
                    cli = json.loads(out.stdout.decode("utf-8"))
                    self.assertEqual(cli["result"], 0)
                    ours = as_dicts(kivrel.outline(path, settings, mode=mode))
                    self.assertEqual(ours, cli["items"])
                    changed |= ours != default[path]
            with self.subTest(options=options):
                self.assertTrue(changed or not options, "no outline changed; pick better documents")


class Outline(documents.TempFiles):
    def test_every_kind_of_source_reads_alike_whole_or_cut(self):
        data = documents.report(2, pages=7)
        # Cuts inside the first Section, a later page's Section and a record.
        for end in (len(data), 200, len(data) // 2, len(data) - 3):
            cut = data[:end]
            path = self.write("cut.kvr", cut)
            expected = kivrel.outline_with_pages(cut)
            if end == len(data):
                self.assertEqual(expected[1], 7)
                self.assertTrue(expected[0])
            with open(path, "rb") as opened:
                sources = (path, pathlib.Path(path), bytearray(cut), memoryview(cut),
                           io.BytesIO(cut), opened, Reads([cut], 1))
                for source in sources:
                    with self.subTest(end=end, source=type(source).__name__):
                        self.assertEqual(kivrel.outline_with_pages(source), expected)
            from_path, from_bytes = io.BytesIO(), io.BytesIO()
            kivrel.explain(path, log=from_path)
            kivrel.explain(cut, log=from_bytes)
            self.assertEqual(from_path.getvalue(), from_bytes.getvalue())
            self.assertTrue(from_path.getvalue())
        # A FIFO and a pipe, which cannot seek.
        whole = kivrel.outline_with_pages(data)
        self.assertEqual(kivrel.outline_with_pages(self.fifo("in.fifo", data)), whole)
        stdin = "import kivrel; print(kivrel.outline_with_pages('/dev/stdin')[1])"
        piped = subprocess.run([sys.executable, "-c", stdin], input=data, capture_output=True,
                               check=True)
        self.assertEqual(int(piped.stdout), 7)
        self.assertEqual(kivrel.outline(data), whole[0])

    def test_page_counts_are_the_pages_the_extractor_opens(self):
        # The log has a line for every page the reader opens.
        opened = re.compile(rb"#(?:sect|page) \x83\x79\x81\x5b\x83\x57\x94\xd4\x8d\x86")
        rnd = random.Random(20261208)
        zero_section = (1).to_bytes(4, "little") + (356).to_bytes(4, "little") + bytes(356)
        ignored = bytearray(zero_section)
        ignored[12] = 2  # sectionOptions bit 0x02
        ignored[16] = 1
        inserts = [zero_section, bytes(ignored), (11).to_bytes(4, "little") + bytes(4)]
        lengths = [0, 3, 0x7FFFFFFF, 0x80000000, 0xFFFFFFFF]
        page_break = (11).to_bytes(4, "little") + bytes(4)
        report = documents.report(1, pages=3)
        streams = [
            zero_section + page_break + report,  # a page break before any page
            bytes(ignored) + report + page_break[:6],  # a header cut inside its length
            report + zero_section[:100],  # a Section cut in its body
            report[:-3],
        ]
        for case in range(150):
            data = bytearray(documents.report(case % 5, pages=rnd.randint(1, 6)))
            starts = record_starts(bytes(data))
            for _ in range(rnd.randint(0, 3)):
                at = rnd.choice(starts)
                kind = rnd.randrange(3)
                if kind == 0:  # another type
                    data[at:at + 4] = rnd.choice([1, 11, 6, 19, 0x7F]).to_bytes(4, "little")
                elif kind == 1:  # another length
                    data[at + 4:at + 8] = rnd.choice(lengths).to_bytes(4, "little")
                else:
                    data[at:at] = rnd.choice(inserts)
                    starts = record_starts(bytes(data))
            streams.append(bytes(data[:rnd.randint(0, len(data))] if rnd.random() < 0.5 else data))
        for case, data in enumerate(streams):
            if data[:4] != b"\x01\x00\x00\x00":
                continue
            with self.subTest(case=case):
                log = io.BytesIO()
                kivrel.outline(data, log=log)
                expected = len(opened.findall(log.getvalue()))
                self.assertEqual(kivrel.outline_with_pages(data)[1], expected)
                self.assertEqual(kivrel.outline_with_pages(Reads([data], 7))[1], expected)

        # A Text before any paragraph is consumed as a skipped body, so a
        # length of 2^31 moves the reader to the end, past the second Section.
        page = documents.report(0, pages=1)[:364]

        def long_skip():
            return Reads([page + (6).to_bytes(4, "little") + (0x80000000).to_bytes(4, "little")]
                         + [bytes(1 << 20)] * 2048 + [page])

        log = io.BytesIO()
        kivrel.outline(long_skip(), log=log)
        self.assertEqual(len(opened.findall(log.getvalue())), 1)
        self.assertEqual(kivrel.outline_with_pages(long_skip())[1], 1)

    def test_large_streams_and_long_logs_are_passed_on_as_the_run_goes(self):
        # The report, then a 64 MiB record the reader passes over; and the
        # report, then empty records of an unknown type that each log a
        # line: about 100 MB of log from a 24 MB stream.
        report = documents.report(1)
        small = self.write("small.kvr", report)
        large = self.write("large.kvr", report + (0x7F).to_bytes(4, "little")
                           + (64 << 20).to_bytes(4, "little") + bytes(64 << 20))
        chatty = self.write("chatty.kvr", report + ((0x7F).to_bytes(4, "little") + bytes(4))
                            * 3_000_000)
        counting = """if True:
            import io, kivrel, re, sys
            class Count(io.RawIOBase):
                calls = size = 0
                def writable(self): return True
                def write(self, b): Count.calls += 1; Count.size += len(b); return len(b)
            class CountText(io.TextIOBase):
                def write(self, s): Count.calls += 1; Count.size += len(s); return len(s)
            path, kind, log = sys.argv[1:]
            log = {"bytes": Count(), "text": CountText(), "none": None}[log]
            n = len(kivrel.outline(path if kind == "path" else open(path, "rb"), log=log))
            print(n, Count.calls, Count.size, """ + OWN_PEAK_KB + """)
        """
        for path, kind, log in ((large, "path", "none"), (large, "file", "none"),
                                (chatty, "path", "bytes"), (chatty, "path", "text")):
            with self.subTest(path=os.path.basename(path), kind=kind, log=log):
                items, calls, size, peak_kb = probe(counting, path, kind, log)
                small_items, _, _, small_kb = probe(counting, small, kind, log)
                self.assertEqual(items, small_items)
                self.assertLess(peak_kb - small_kb, 16 * 1024)
                if log != "none":
                    self.assertGreater(size, 100_000_000)
                    self.assertGreater(calls, 10)
        with self.assertRaises(ValueError):  # write() to a closed file raises it
            closed = io.BytesIO()
            closed.close()
            kivrel.outline(report, log=closed)

    def test_no_settings_means_default_settings_and_settings_are_not_changed(self):
        data = documents.report(5)
        self.assertEqual(kivrel.outline(data), kivrel.outline(data, kivrel.Settings()))
        # The extractor's own fallback for missing settings is flags 2.
        self.assertNotEqual(kivrel.outline(data), kivrel.outline(data, kivrel.Settings(flags=2)))
        settings = kivrel.Settings(exclude_pages=" １－２ ")
        kivrel.outline(data, settings)
        self.assertEqual(settings.exclude_pages, " １－２ ")

    def test_log_goes_to_binary_and_text_streams(self):
        raw, text = io.BytesIO(), io.StringIO()
        kivrel.outline(documents.report(0), log=raw)
        kivrel.outline(documents.report(0), log=text)
        self.assertGreater(len(raw.getvalue()), 0)
        self.assertEqual(text.getvalue(), raw.getvalue().decode("cp932", errors="replace"))
        # A character Shift-JIS lacks is written as the two substitution
        # bytes, and reads back as one U+FFFD, as kivrel --log gives it.
        w = kivrel.RecordWriter()
        w.section(documents.A4_WIDTH, documents.A4_HEIGHT)
        documents.paragraph(w, "1 A\U0001F600B", documents.SECTION, 2000)
        raw, text = io.BytesIO(), io.StringIO()
        kivrel.outline(w.getvalue(), log=raw)
        kivrel.outline(w.getvalue(), log=text)
        self.assertIn(b"1 A\xfc\xfcB", raw.getvalue())
        self.assertIn("1 A\ufffdB", text.getvalue())

    def test_explain_accepts_exactly_the_outline_items(self):
        data = documents.report(4)
        verdicts = kivrel.explain(data)
        accepted = [(v.page, v.point, v.text) for v in verdicts if v.accepted]
        self.assertEqual(accepted, [(i.page, i.point, i.text) for i in kivrel.outline(data)])
        rejected = [v for v in verdicts if not v.accepted]
        self.assertTrue(rejected)
        for v in rejected:
            self.assertIsNone(v.point)
            self.assertLess(v.reason, 0)
            self.assertEqual(v.reason_text, kivrel.describe_reason(v.reason))

    def test_threads_share_nothing(self):
        docs = [documents.report(seed) for seed in range(6)]
        expected = [kivrel.outline(d) for d in docs]
        with ThreadPoolExecutor(len(docs)) as pool:
            self.assertEqual(list(pool.map(kivrel.outline, docs)), expected)


@needs_pdf
class Modes(documents.TempFiles):
    def test_pdf_defaults_to_quality_and_explain_follows_the_mode(self):
        # What each mode keeps is checked against the command line above;
        # here the kept verdicts are the default items, with quality levels.
        pdf = sections_pdf()
        quality = kivrel.outline(pdf)
        kept = [(v.quality.text, v.quality.level) for v in kivrel.explain(pdf) if v.quality.accepted]
        self.assertEqual(kept, [(i.text, i.level) for i in quality])
        self.assertTrue(all(v.quality is None for v in kivrel.explain(pdf, mode="exact")))

    def test_a_pdf_file_object_whose_size_is_unknowable_still_outlines(self):
        pdf = sections_pdf()
        expected = kivrel.outline(pdf)

        class Odd(io.BytesIO):
            def __init__(self, fileno):
                super().__init__(pdf)
                self.fileno = fileno

        def broken():
            raise RuntimeError("no descriptor here")

        # A descriptor of a far larger (sparse) file: its size is only a hint.
        huge = open(self.write("huge.bin", b""), "rb")
        self.addCleanup(huge.close)
        os.truncate(huge.name, 1 << 42)
        for fileno in (None, broken, lambda: "three", huge.fileno):
            with self.subTest(fileno=fileno):
                self.assertEqual(kivrel.outline(Odd(fileno)), expected)


class Settings(unittest.TestCase):
    def test_bad_values_raise(self):
        cases = [(dict(max_length=-1), ValueError), (dict(flags=1 << 40), ValueError),
                 (dict(page_offset=1 << 31), ValueError), (dict(max_length="80"), TypeError),
                 (dict(max_length=8.5), TypeError), (dict(unknown=1), TypeError)]
        for kwargs, error in cases:
            with self.subTest(kwargs=kwargs), self.assertRaises(error):
                kivrel.Settings(**kwargs)

    def test_copies_compare_equal_and_are_independent_and_switches_win_over_flags(self):
        s = kivrel.Settings(exclude_pages="3-", max_length=40, toc_document=True, page_offset=-2)
        for c in (pickle.loads(pickle.dumps(s)), copy.copy(s)):
            self.assertEqual(c, s)
            c.indent_refinement = False
            self.assertEqual((c.flags, s.flags), (0x10A, 0x30A))
        self.assertEqual(kivrel.Settings(flags=0x30F, keep_commas=False).flags, 0x30D)


class Cancellation(unittest.TestCase):
    def test_false_at_any_poll_cancels_none_or_true_continue_and_a_raise_propagates(self):
        data = documents.report(0)
        expected = kivrel.outline(data)
        for stop_at in (1, 2, 3):
            calls = []
            with self.subTest(stop_at=stop_at), self.assertRaises(kivrel.Cancelled):
                kivrel.outline(data, progress=lambda *a: calls.append(a) or len(calls) < stop_at)
            self.assertEqual(calls, [("outline", i, 3) for i in range(1, stop_at + 1)])
        for answer in (None, True, 1):
            with self.subTest(answer=answer):
                self.assertEqual(kivrel.outline(data, progress=lambda *a: answer), expected)
        with self.assertRaises(KeyError):
            kivrel.outline(data, progress=lambda *_: {}["from the callback"])
        self.assertTrue(issubclass(kivrel.Cancelled, kivrel.Error))

    @needs_pdf
    def test_pdf_pages_are_reported_and_can_cancel(self):
        pdf = sections_pdf()
        calls = []
        kivrel.outline(pdf, progress=lambda *a: calls.append(a))
        self.assertEqual(calls, [("pdf", 1, 2), ("pdf", 2, 2)] +
                         [("outline", i, 3) for i in (1, 2, 3)])
        self.assertEqual(kivrel.outline_with_pages(pdf)[1], 2)
        with self.assertRaises(kivrel.Cancelled):
            kivrel.outline(pdf, progress=lambda stage, done, total: stage != "pdf")


class Errors(documents.TempFiles):
    def test_bad_arguments_and_sources_raise(self):
        data = documents.report(0)
        cases = [  # (error, source, other arguments)
            (TypeError, 42, {}),
            (TypeError, io.StringIO("x"), {}),
            (FileNotFoundError, os.path.join(self.dir, "missing.kvr"), {}),
            (IsADirectoryError, self.dir, {}),
            # What is no record stream, and a path given as bytes.
            (kivrel.Error, b"hello world, not a record stream\n", {}),
            (kivrel.Error, b"\xff\xd8\xff\xe0\x00\x10JFIF\x00" + bytes(64), {}),
            (kivrel.Error, os.fsencode(__file__), {}),
            (kivrel.Error, b"\x01\x00\x00", {}),
            # What a file object's read raises reaches the caller.
            (OSError, Reads([data[:64], OSError("disk gone")]), {}),
            (TypeError, Reads([data[:64], "text"]), {}),
            (TypeError, data, dict(settings={"flags": 2})),
            (TypeError, data, dict(progress=3)),
            (TypeError, data, dict(log=object())),
            (TypeError, data, dict(mode=None)),
            (TypeError, data, dict(mode=1)),
            (TypeError, data, dict(mode=["exact"])),
            (ValueError, data, dict(mode="best")),
        ]
        for i, (error, source, kwargs) in enumerate(cases):
            with self.subTest(case=i, error=error.__name__):
                with self.assertRaises(error) as caught:
                    kivrel.outline(source, **kwargs)
                # The message never carries the document.
                self.assertLess(len(str(caught.exception)), 500)
        # A damaged record stream just ends early and an empty one is an
        # empty document, as on the command line; a damaged PDF is an error.
        self.assertEqual(kivrel.outline(b"\x01\x00\x00\x00\x05\x00"), [])
        self.assertEqual(kivrel.outline_with_pages(b""), ([], 0))
        path = self.write("broken.pdf", b"%PDF-1.7\n" + bytes(range(256)) * 4)
        # Also from a file object whose fileno() and tell() cannot give its size.
        for source in (path, io.BytesIO(b"%PDF-1.7\n" + bytes(range(256)) * 4)):
            with self.subTest(source=type(source).__name__):
                with self.assertRaises(kivrel.Error) as caught:
                    kivrel.outline(source)
                self.assertNotIsInstance(caught.exception, kivrel.Cancelled)
                self.assertIn("PDF", str(caught.exception))


class Writer(unittest.TestCase):
    def test_file_target_receives_the_same_bytes(self):
        def build(w):
            w.section(documents.A4_WIDTH, documents.A4_HEIGHT)
            w.paragraph_format(28)
            w.character_format(28, bold=True)
            w.text("1 Überblick")
            w.tab()
            w.paragraph_position(100, 200)
            w.page_break()
            w.raw(99, b"abc")

        memory, target = kivrel.RecordWriter(), io.BytesIO()
        streamed = kivrel.RecordWriter(target)
        build(memory)
        build(streamed)
        self.assertEqual(target.getvalue(), memory.getvalue())
        self.assertEqual(streamed.bytes_written, len(memory.getvalue()))
        self.assertRaises(ValueError, streamed.getvalue)

    def test_text_keeps_every_utf16_code_unit_and_fields_stay_in_32_bits(self):
        w = kivrel.RecordWriter()
        w.text("a\ud800€")
        self.assertEqual(w.getvalue(), b"\x06\x00\x00\x00\x06\x00\x00\x00a\x00\x00\xd8\xac\x20")
        w = kivrel.RecordWriter()
        self.assertRaises(ValueError, w.section, 1 << 31, 10)
        self.assertRaises(ValueError, w.paragraph_position, 0, -(1 << 31) - 1)
        self.assertEqual(w.bytes_written, 0)
        self.assertRaises(TypeError, kivrel.RecordWriter, "not a file")
        self.assertEqual(kivrel.parse_page_ranges("１－３，５,10-"), [(1, 3), (5, 5), (10, -1)])


class Stubs(unittest.TestCase):
    def test_dataclass_fields_match_the_stub(self):
        stub = os.path.join(os.path.dirname(kivrel.__file__), "__init__.pyi")
        with open(stub, encoding="utf-8") as f:
            classes = {node.name: [n.target.id for n in node.body if isinstance(n, ast.AnnAssign)]
                       for node in ast.parse(f.read()).body if isinstance(node, ast.ClassDef)}
        for cls in (kivrel.OutlineItem, kivrel.Verdict, kivrel.QualityVerdict):
            with self.subTest(cls=cls.__name__):
                self.assertEqual(classes.get(cls.__name__),
                                 [f.name for f in dataclasses.fields(cls)])


class PdfMemory(documents.TempFiles):
    @needs_pdf
    def test_a_pdf_file_is_read_whole_into_one_buffer_of_its_size(self):
        # Damaged, so the parser gives up at once: what is left is the read.
        size = 40 << 20  # just over a power of two, where a growing buffer costs most
        large = self.write("large.pdf", b"%PDF-1.4\n" + bytes(size))
        small = self.write("small.pdf", b"%PDF-1.4\n" + bytes(1000))
        reading = ("import kivrel, re, sys; from kivrel import batch; p, kind = sys.argv[1:]\n"
                   "if kind == 'batch': assert 'error' in batch.process_document(p)\n"
                   "else:\n"
                   "  try: kivrel.outline(p if kind == 'path' else open(p, 'rb'))\n"
                   "  except kivrel.Error: pass\n"
                   "print(" + OWN_PEAK_KB + ")")
        for kind in ("path", "file object", "batch"):
            with self.subTest(kind):
                growth = probe(reading, large, kind)[0] - probe(reading, small, kind)[0]
                self.assertLess(growth, 1.25 * size / 1024)


if __name__ == "__main__":
    unittest.main()
