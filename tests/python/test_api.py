"""The kivrel package against the library and the kivrel command."""

import io
import json
import os
import pickle
import subprocess
import tempfile
import threading
import unittest

import kivrel

import documents

CLI = os.environ.get("KIVREL_CLI")


class TempFiles(unittest.TestCase):
    def setUp(self):
        self._dir = tempfile.TemporaryDirectory()
        self.dir = self._dir.name

    def tearDown(self):
        self._dir.cleanup()

    def write(self, name, data):
        path = os.path.join(self.dir, name)
        with open(path, "wb") as f:
            f.write(data)
        return path


def three_page_pdf():
    body = [(11, 560 - 30 * i, f"Body text {i}") for i in range(12)]
    return documents.simple_pdf(
        [[(24, 650, f"Chapter {p} Overview"), (16, 610, f"{p}.1 Scope")] + body
         for p in range(1, 4)])


def as_dicts(items):
    return [item.to_dict() for item in items]


# (CLI options, equivalent Settings); each pair changes the outline of at
# least one test document, checked below.
SETTINGS_CASES = [
    ([], kivrel.Settings()),
    (["--keep-sentences"], kivrel.Settings(keep_sentences=True)),
    (["--reject-commas"], kivrel.Settings(keep_commas=False)),
    (["--keep-parenthesised"], kivrel.Settings(keep_parenthesised=True)),
    (["--no-title"], kivrel.Settings(detect_title=False)),
    (["--no-indent-refinement"], kivrel.Settings(indent_refinement=False)),
    (["--exclude", "2-3"], kivrel.Settings(exclude_pages="2-3")),
    (["--max-length", "12"], kivrel.Settings(max_length=12)),
    (["--flags", "0"], kivrel.Settings(flags=0)),
    (["--toc-document", "--page-offset", "5"], kivrel.Settings(toc_document=True, page_offset=5)),
]


@unittest.skipUnless(CLI, "KIVREL_CLI is not set: the kivrel command was not built")
class MatchesCommandLine(TempFiles):
    def cli_items(self, path, options):
        out = subprocess.run([CLI, "outline", "--format", "json", *options, path],
                             check=True, capture_output=True)
        doc = json.loads(out.stdout.decode("utf-8"))
        self.assertEqual(doc["result"], 0)
        return doc["items"]

    def test_items_equal_cli_json_for_every_settings_mapping(self):
        paths = [self.write(f"r{seed}.kvr", documents.report(seed)) for seed in range(6)]
        paths.append(self.write("toc.kvr", documents.toc_document()))
        default = {p: as_dicts(kivrel.outline(p)) for p in paths}
        self.assertTrue(any(default.values()), "the documents give no outline at all")
        for options, settings in SETTINGS_CASES:
            changed = False
            for path in paths:
                with self.subTest(options=options, path=os.path.basename(path)):
                    ours = as_dicts(kivrel.outline(path, settings))
                    self.assertEqual(ours, self.cli_items(path, options))
                    changed |= ours != default[path]
            if options:
                self.assertTrue(changed, f"{options} changed no outline; pick better documents")

    @unittest.skipUnless(kivrel.HAVE_PDF, "built without the PDF front end")
    def test_pdf_items_equal_cli_json(self):
        path = self.write("three.pdf", three_page_pdf())
        self.assertTrue(kivrel.outline(path))
        for options, settings in SETTINGS_CASES[:5]:
            with self.subTest(options=options):
                self.assertEqual(as_dicts(kivrel.outline(path, settings)),
                                 self.cli_items(path, options))

    def test_default_settings_match_cli_without_options(self):
        path = self.write("r.kvr", documents.report(7))
        self.assertEqual(as_dicts(kivrel.outline(path, None)), self.cli_items(path, []))


class Outline(TempFiles):
    def test_levels_rank_distinct_points_highest_first(self):
        items = kivrel.outline(documents.report(3, pages=6))
        self.assertTrue(items)
        points = sorted({i.point for i in items}, reverse=True)
        for item in items:
            self.assertEqual(item.level, points.index(item.point) + 1)

    def test_every_kind_of_source_gives_the_same_outline(self):
        data = documents.report(1)
        path = self.write("doc.kvr", data)
        expected = kivrel.outline(data)
        self.assertTrue(expected)
        with open(path, "rb") as f:
            from_file = kivrel.outline(f)
        sources = {
            "str path": path,
            "PathLike": __import__("pathlib").Path(path),
            "bytearray": bytearray(data),
            "memoryview": memoryview(data),
            "BytesIO": io.BytesIO(data),
            "BufferedReader": from_file,
        }
        for name, source in sources.items():
            with self.subTest(source=name):
                got = source if name == "BufferedReader" else kivrel.outline(source)
                self.assertEqual(got, expected)

    def test_no_settings_means_default_settings_not_the_bare_library_default(self):
        data = documents.report(5)
        self.assertEqual(kivrel.outline(data), kivrel.outline(data, kivrel.Settings()))
        # The extractor's own fallback for missing settings is flags 2.
        self.assertNotEqual(kivrel.outline(data), kivrel.outline(data, kivrel.Settings(flags=2)))

    def test_settings_object_is_left_unchanged(self):
        settings = kivrel.Settings(exclude_pages=" １－２ ")
        kivrel.outline(documents.report(2), settings)
        self.assertEqual(settings.exclude_pages, " １－２ ")

    def test_log_goes_to_binary_and_text_streams(self):
        data = documents.report(0)
        raw = io.BytesIO()
        text = io.StringIO()
        kivrel.outline(data, log=raw)
        kivrel.outline(data, log=text)
        self.assertGreater(len(raw.getvalue()), 0)
        self.assertEqual(text.getvalue(), raw.getvalue().decode("cp932", errors="replace"))

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
            self.assertNotEqual(v.reason_text, "", v.reason)

    def test_threads_share_nothing(self):
        docs = [documents.report(seed) for seed in range(8)]
        expected = [kivrel.outline(d) for d in docs]
        got = [None] * len(docs)

        def work(i):
            got[i] = kivrel.outline(docs[i])

        threads = [threading.Thread(target=work, args=(i,)) for i in range(len(docs))]
        for t in threads:
            t.start()
        for t in threads:
            t.join()
        self.assertEqual(got, expected)


class Settings(unittest.TestCase):
    def test_defaults_are_the_library_defaults(self):
        s = kivrel.Settings()
        self.assertEqual((s.exclude_pages, s.max_length, s.flags, s.page_offset), ("", 80, 522, 0))

    def test_named_switches_set_and_clear_their_bit(self):
        bits = {"keep_sentences": 0x1, "keep_commas": 0x2, "keep_parenthesised": 0x4,
                "detect_title": 0x8, "toc_document": 0x100, "indent_refinement": 0x200}
        for name, bit in bits.items():
            with self.subTest(name=name):
                on = kivrel.Settings(flags=0, **{name: True})
                self.assertEqual(on.flags, bit)
                off = kivrel.Settings(flags=0x30F, **{name: False})
                self.assertEqual(off.flags, 0x30F & ~bit)
                setattr(off, name, True)
                self.assertTrue(getattr(off, name))
                self.assertEqual(off.flags, 0x30F)

    def test_bad_values_raise(self):
        cases = [
            (dict(max_length=-1), ValueError),
            (dict(flags=1 << 40), ValueError),
            (dict(page_offset=1 << 31), ValueError),
            (dict(max_length="80"), TypeError),
            (dict(max_length=8.5), TypeError),
            (dict(unknown=1), TypeError),
        ]
        for kwargs, error in cases:
            with self.subTest(kwargs=kwargs):
                with self.assertRaises(error):
                    kivrel.Settings(**kwargs)

    def test_copies_compare_equal_and_are_independent(self):
        s = kivrel.Settings(exclude_pages="3-", max_length=40, toc_document=True, page_offset=-2)
        for copy in (pickle.loads(pickle.dumps(s)), __import__("copy").copy(s)):
            self.assertEqual(copy, s)
            copy.max_length = 41
            self.assertNotEqual(copy, s)


class Cancellation(unittest.TestCase):
    def test_false_at_any_poll_cancels(self):
        data = documents.report(0)
        for stop_at in (1, 2, 3):
            calls = []

            def progress(stage, done, total):
                calls.append((stage, done, total))
                return done < stop_at

            with self.subTest(stop_at=stop_at):
                with self.assertRaises(kivrel.Cancelled):
                    kivrel.outline(data, progress=progress)
                self.assertEqual(calls, [("outline", i, 3) for i in range(1, stop_at + 1)])

    def test_none_and_true_continue(self):
        data = documents.report(0)
        expected = kivrel.outline(data)
        for answer in (None, True, 1):
            calls = []
            with self.subTest(answer=answer):
                got = kivrel.outline(data, progress=lambda *a: calls.append(a) or answer)
                self.assertEqual(got, expected)
                self.assertEqual(len(calls), 3)

    @unittest.skipUnless(kivrel.HAVE_PDF, "built without the PDF front end")
    def test_pdf_pages_are_reported_and_can_cancel(self):
        pdf = three_page_pdf()
        calls = []
        kivrel.outline(pdf, progress=lambda *a: calls.append(a))
        self.assertEqual(calls[:3], [("pdf", i, 3) for i in (1, 2, 3)])
        self.assertEqual(calls[3:], [("outline", i, 3) for i in (1, 2, 3)])
        self.assertEqual(kivrel.outline_with_pages(pdf)[1], 3)
        with self.assertRaises(kivrel.Cancelled):
            kivrel.outline(pdf, progress=lambda stage, done, total: stage != "pdf")

    def test_exception_in_callback_propagates(self):
        def progress(*_):
            raise KeyError("from the callback")

        with self.assertRaises(KeyError):
            kivrel.outline(documents.report(0), progress=progress)

    def test_cancelled_is_a_kivrel_error(self):
        self.assertTrue(issubclass(kivrel.Cancelled, kivrel.Error))


class Errors(TempFiles):
    def test_bad_arguments_raise_type_error(self):
        data = documents.report(0)
        cases = {
            "int source": lambda: kivrel.outline(42),
            "text file": lambda: kivrel.outline(io.StringIO("x")),
            "settings dict": lambda: kivrel.outline(data, {"flags": 2}),
            "progress not callable": lambda: kivrel.outline(data, progress=3),
            "log without write": lambda: kivrel.outline(data, log=object()),
        }
        for name, call in cases.items():
            with self.subTest(name):
                self.assertRaises(TypeError, call)

    def test_unreadable_paths_raise_os_errors(self):
        self.assertRaises(FileNotFoundError, kivrel.outline, os.path.join(self.dir, "missing.kvr"))
        self.assertRaises(IsADirectoryError, kivrel.outline, self.dir)

    def test_damaged_pdf_raises_kivrel_error_with_reason(self):
        path = self.write("broken.pdf", b"%PDF-1.7\n" + bytes(range(256)) * 4)
        with self.assertRaises(kivrel.Error) as caught:
            kivrel.outline(path)
        self.assertNotIsInstance(caught.exception, kivrel.Cancelled)
        self.assertIn("PDF", str(caught.exception))

    def test_garbage_record_stream_is_not_an_error(self):
        self.assertEqual(kivrel.outline(b"\x01\x00\x00"), [])
        self.assertEqual(kivrel.outline(b""), [])


class PageRanges(unittest.TestCase):
    def test_parses_ranges_and_full_width_forms(self):
        cases = {
            "1-3,5,10-": [(1, 3), (5, 5), (10, -1)],
            "１－３，５": [(1, 3), (5, 5)],
            "-4": [(1, 4)],
            "3--5": [(3, -5)],
            "": [],
            "abc": [],
        }
        for text, expected in cases.items():
            with self.subTest(text=text):
                self.assertEqual(kivrel.parse_page_ranges(text), expected)


class RecordWriter(unittest.TestCase):
    @staticmethod
    def build(writer):
        writer.section(documents.A4_WIDTH, documents.A4_HEIGHT)
        writer.paragraph_format(28)
        writer.character_format(28, bold=True)
        writer.text("1 Überblick \ud800")
        writer.tab()
        writer.paragraph_position(100, 200)
        writer.page_break()
        writer.raw(99, b"abc")

    def test_file_target_receives_the_same_bytes(self):
        memory = kivrel.RecordWriter()
        self.build(memory)
        target = io.BytesIO()
        streamed = kivrel.RecordWriter(target)
        self.build(streamed)
        self.assertEqual(target.getvalue(), memory.getvalue())
        self.assertEqual(streamed.bytes_written, len(memory.getvalue()))
        self.assertRaises(ValueError, streamed.getvalue)

    def test_text_keeps_every_utf16_code_unit(self):
        w = kivrel.RecordWriter()
        w.text("a\ud800€")
        self.assertEqual(w.getvalue(), b"\x06\x00\x00\x00\x06\x00\x00\x00a\x00\x00\xd8\xac\x20")

    def test_fields_outside_32_bits_raise(self):
        w = kivrel.RecordWriter()
        self.assertRaises(ValueError, w.section, 1 << 31, 10)
        self.assertRaises(ValueError, w.paragraph_position, 0, -(1 << 31) - 1)
        self.assertEqual(w.bytes_written, 0)
        self.assertRaises(TypeError, kivrel.RecordWriter, "not a file")


if __name__ == "__main__":
    unittest.main()
