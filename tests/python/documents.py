"""Small laid-out documents built with kivrel.RecordWriter, for the tests,
and a test case with a scratch folder to put them in."""

import os
import random
import tempfile
import threading
import unittest

import kivrel

A4_WIDTH = 11906
A4_HEIGHT = 16838
BODY = 21  # half-points
SECTION = 28
CHAPTER = 34

BODY_TEXT = [
    "The results are summarised in the following paragraphs.",
    "本章では、調査の方法と結果を述べる。",
    "Each measurement was repeated three times",
    "詳細は付録を参照のこと",
]


def paragraph(writer, text, size, y, *, x=1440, bold=False, cells=0):
    if cells:
        writer.table_row_format(cells)
    writer.paragraph_format(size)
    writer.character_format(size, bold=bold)
    writer.text(text)
    writer.paragraph_position(x, y)
    if cells:
        writer.table_row_end()


def report(seed: int = 0, pages: int = 4) -> bytes:
    """A report with running headers and footers, numbered chapters and
    sections in Japanese and English, an indented unnumbered heading,
    sentences, a bracketed line, a comma line and a table row; the seed
    varies wording, sizes and count."""
    rnd = random.Random(seed)
    w = kivrel.RecordWriter()
    chapter = 0
    for page in range(1, pages + 1):
        w.section(A4_WIDTH, A4_HEIGHT)
        paragraph(w, "Kivrel Annual Report", 18, 500)
        y = 2000
        if page == 1:
            paragraph(w, f"Report number {seed}", 40, y, bold=True)
            y += 1200
        chapter += 1
        title = rnd.choice(["Introduction", "Methods", "Results", "概要", "考察", "Summary"])
        heading = f"第{chapter}章 {title}" if rnd.random() < 0.5 else f"{chapter} {title}"
        paragraph(w, heading, CHAPTER + rnd.choice([0, 2]), y, bold=True)
        y += 900
        for section in range(1, rnd.randint(2, 4)):
            paragraph(w, f"{chapter}.{section} Part {rnd.randint(1, 99)}", SECTION, y, bold=True)
            y += 700
            for _ in range(rnd.randint(1, 3)):
                paragraph(w, rnd.choice(BODY_TEXT), BODY, y)
                y += 400
        if page % 2 == 0:
            # Unnumbered and indented: its point comes from size and indent.
            paragraph(w, "Further details", SECTION + 2, y, x=2400, bold=True)
            y += 600
            paragraph(w, rnd.choice(BODY_TEXT), BODY, y)
            y += 400
        if rnd.random() < 0.3:
            paragraph(w, rnd.choice(["「参考資料」", "[Draft notes]"]), SECTION, y)
            y += 500
        if rnd.random() < 0.3:
            paragraph(w, "Note、draft", SECTION, y)
            y += 500
        if rnd.random() < 0.3:
            paragraph(w, "Cell text", SECTION, y, cells=3)
            y += 500
        paragraph(w, f"- {page} -", 18, A4_HEIGHT - 600, x=5800)
    return w.getvalue()


def toc_document() -> bytes:
    """A document that is itself a table of contents."""
    w = kivrel.RecordWriter()
    w.section(A4_WIDTH, A4_HEIGHT)
    y = 1500
    for i, (title, page) in enumerate([("Introduction", 1), ("Methods", 4), ("Results", 9)]):
        paragraph(w, f"{i + 1} {title} ........ {page}", BODY, y)
        y += 500
    return w.getvalue()


def simple_pdf(pages) -> bytes:
    """A PDF whose pages hold lines of Helvetica text: pages is a list of
    lists of (size in points, y from the bottom, text), ASCII only."""
    objects = [b"<< /Type /Catalog /Pages 2 0 R >>", None,
               b"<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>"]
    kids = []
    for lines in pages:
        ops = b"".join(b"BT /F1 %d Tf 72 %d Td (%s) Tj ET\n" % (size, y, text.encode("ascii"))
                       for size, y, text in lines)
        objects.append(b"<< /Length %d >>\nstream\n%s\nendstream" % (len(ops), ops))
        objects.append(b"<< /Type /Page /Parent 2 0 R /MediaBox [0 0 595 842] "
                       b"/Resources << /Font << /F1 3 0 R >> >> /Contents %d 0 R >>"
                       % len(objects))
        kids.append(b"%d 0 R" % len(objects))
    objects[1] = b"<< /Type /Pages /Kids [%s] /Count %d >>" % (b" ".join(kids), len(kids))
    out = bytearray(b"%PDF-1.4\n")
    offsets = []
    for number, body in enumerate(objects, start=1):
        offsets.append(len(out))
        out += b"%d 0 obj\n%s\nendobj\n" % (number, body)
    xref = len(out)
    out += b"xref\n0 %d\n0000000000 65535 f \n" % (len(objects) + 1)
    out += b"".join(b"%010d 00000 n \n" % o for o in offsets)
    out += b"trailer\n<< /Size %d /Root 1 0 R >>\n" % (len(objects) + 1)
    out += b"startxref\n%d\n%%%%EOF\n" % xref
    return bytes(out)


class TempFiles(unittest.TestCase):
    def setUp(self):
        self._dir = tempfile.TemporaryDirectory()
        self.addCleanup(self._dir.cleanup)
        self.dir = self._dir.name

    def write(self, name, data):
        """The path of a new file under the scratch folder; name may be bytes,
        for a name that is not UTF-8, and may hold folders."""
        path = os.path.join(os.fsencode(self.dir), os.fsencode(name))
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.write(data)
        return os.fsdecode(path)

    def fifo(self, name, data):
        """The path of a new FIFO that gives data to the first reader. The
        writer is a daemon thread: a second open would wait for it for good."""
        path = os.path.join(self.dir, name)
        os.mkfifo(path)

        def feed():
            with open(path, "wb") as f:
                f.write(data)

        threading.Thread(target=feed, daemon=True).start()
        return path
