#!/usr/bin/env python3
"""Writer documents (flat ODF) from HTML documentation, for the corpus.

  make_office.py OUT.fodt LANG VARIANT FILE.html...

The HTML headings (h1-h6) become Writer headings (Heading 1-6, outline
levels relative to the highest heading present), everything else body
paragraphs, list items, preformatted lines or table cells. The bookmarks of
the exported PDF therefore come from the document's own headings. A variant
fixes the look: fonts, sizes, weight, alignment, numbering (the source's own
section numbers, Writer's outline numbering such as 第1章 / 1.1, or none),
page size, running header and footer, and a cover title in the Title style
(a larger line that is not a heading and has no bookmark).
"""
import html.parser
import re
import sys
from xml.sax.saxutils import escape

SKIP_CLASSES = {"toc", "navheader", "navfooter", "sphinxsidebar", "related", "footer",
                "headerlink", "breadcrumbs", "navigation", "list-of-tables",
                "list-of-figures", "list-of-examples"}
VOID = {"br", "img", "hr", "meta", "link", "input", "col", "area", "base", "wbr"}
BLOCKS = {"p", "li", "dt", "dd", "td", "th", "pre", "caption", "blockquote", "div"}
SOURCE_NUMBER = re.compile(
    r"^\s*(?:第\s*[0-9]+\s*章|[0-9]+(?:\.[0-9]+)*\.?|[A-Z](?:\.[0-9]+)*\.)\s+")


class Blocks(html.parser.HTMLParser):
    """(kind, level, text) blocks in reading order; kind: h, p, li, pre, td."""

    def __init__(self):
        super().__init__(convert_charrefs=True)
        self.blocks = []
        self.stack = []  # (tag, skipping)
        self.text = []
        self.kind = None
        self.level = 0
        self.title = []
        self.in_title = False

    def skipping(self):
        return bool(self.stack) and self.stack[-1][1]

    def flush(self):
        text = "".join(self.text)
        text = text if self.kind == "pre" else re.sub(r"\s+", " ", text).strip()
        if text.strip() and self.kind:
            self.blocks.append((self.kind, self.level, text))
        self.text = []

    def handle_starttag(self, tag, attrs):
        if tag in VOID:
            if tag == "br" and not self.skipping():
                self.text.append("\n" if self.kind == "pre" else " ")
            return
        if tag == "title":
            self.in_title = True
        attrs = dict(attrs)
        classes = set((attrs.get("class") or "").split())
        skip = self.skipping() or tag in ("script", "style", "head", "title", "nav") or \
            bool(classes & SKIP_CLASSES) or attrs.get("role") == "navigation"
        self.stack.append((tag, skip))
        if skip:
            return
        if re.fullmatch(r"h[1-6]", tag):
            self.flush()
            self.kind, self.level = "h", int(tag[1])
        elif tag in BLOCKS and self.kind != "pre" and self.kind != "h":
            self.flush()
            self.kind = {"li": "li", "dt": "li", "pre": "pre", "td": "td", "th": "td"}.get(tag, "p")

    def handle_endtag(self, tag):
        if tag in VOID:
            return
        if tag == "title":
            self.in_title = False
        while self.stack:
            open_tag, skip = self.stack.pop()
            if not skip and (re.fullmatch(r"h[1-6]", open_tag) or open_tag in BLOCKS):
                self.flush()
                self.kind = "p"
            if open_tag == tag:
                break

    def handle_data(self, data):
        if self.in_title:
            self.title.append(data)
        if not self.skipping():
            self.text.append(data)


def read_blocks(paths):
    """The blocks of all files and the first file's title."""
    blocks, title = [], None
    for path in paths:
        parser = Blocks()
        with open(path, encoding="utf-8", errors="replace") as f:
            parser.feed(f.read())
        parser.close()
        parser.flush()
        blocks += parser.blocks
        if title is None:
            title = re.sub(r"\s+", " ", "".join(parser.title)).strip()
    return blocks, title


# Looks: body font, heading font, body size, heading sizes (levels 1-3; deeper
# levels take the last), heading bold, centred level 1, numbering, page, running
# header and footer, and a cover title (Title style, no outline level) before the text.
JA = [
    dict(body="IPAexMincho", head="IPAexGothic", size=10.5, heads=(16, 13, 11), bold=False,
         center=False, numbering="ja-chapter", page="A4", running=True),
    dict(body="IPAMincho", head="IPAMincho", size=10, heads=(14, 10, 10), bold=True,
         center=False, numbering="source", page="A4", running=False, cover=True),
    dict(body="Noto Serif CJK JP", head="Noto Sans CJK JP", size=10.5, heads=(18, 14, 12),
         bold=True, center=False, numbering="decimal", page="A4", running=True),
    dict(body="Noto Sans CJK JP", head="Noto Sans CJK JP", size=9, heads=(12, 11, 10),
         bold=True, center=True, numbering="none", page="B5", running=False),
    dict(body="IPAexGothic", head="IPAexMincho", size=11, heads=(20, 15, 12.5), bold=False,
         center=False, numbering="ja-section", page="A4", running=True, cover=True),
]
EN = [
    dict(body="Liberation Serif", head="Liberation Sans", size=11, heads=(18, 14, 12),
         bold=True, center=False, numbering="decimal", page="Letter", running=True),
    dict(body="DejaVu Sans", head="DejaVu Sans", size=10, heads=(13, 11, 10), bold=True,
         center=False, numbering="none", page="A4", running=False),
    dict(body="Carlito", head="Carlito", size=11, heads=(16, 13, 11), bold=False,
         center=False, numbering="source", page="A4", running=True, cover=True),
    dict(body="Lato", head="Lato", size=10.5, heads=(20, 15, 12), bold=True, center=True,
         numbering="en-chapter", page="Letter", running=False),
    dict(body="Liberation Serif", head="Liberation Serif", size=12, heads=(14, 12, 12),
         bold=True, center=False, numbering="decimal", page="A4", running=True),
]
PAGES = {"A4": ("21cm", "29.7cm"), "B5": ("18.2cm", "25.7cm"), "Letter": ("8.5in", "11in")}
MONO = {"ja": "Noto Sans Mono CJK JP", "en": "DejaVu Sans Mono"}


def outline_levels(numbering):
    """text:outline-level-style elements for a numbering scheme."""
    out = []
    for level in range(1, 11):
        fmt, prefix, suffix, shown = "", "", "", 1
        if numbering == "decimal" and level <= 4:
            fmt, suffix, shown = "1", " ", level
        elif numbering == "ja-chapter" and level <= 3:
            fmt, shown = "1", level
            prefix, suffix = ("第", "章 ") if level == 1 else ("", " ")
            shown = 1 if level == 1 else level
        elif numbering == "ja-section" and level <= 3:
            fmt = "1"
            prefix, suffix = {1: ("第", "章 "), 2: ("第", "節 "), 3: ("", ". ")}[level]
        elif numbering == "en-chapter" and level <= 3:
            fmt, shown = "1", level
            prefix, suffix = ("Chapter ", "  ") if level == 1 else ("", " ")
            shown = 1 if level == 1 else level
        attrs = f'text:level="{level}" style:num-format="{fmt}"'
        if fmt:
            attrs += f' style:num-prefix="{escape(prefix)}" style:num-suffix="{escape(suffix)}"'
            if shown > 1:
                attrs += f' text:display-levels="{shown}"'
        out.append(f"<text:outline-level-style {attrs}/>")
    return "\n".join(out)


def text_props(font, size, bold=False, lang="ja"):
    weight = ' fo:font-weight="bold" style:font-weight-asian="bold"' if bold else ""
    asian = f' style:font-name-asian="{font}" style:font-size-asian="{size}pt"'
    western = f' style:font-name="{font}" fo:font-size="{size}pt"'
    language = ' fo:language="ja" fo:country="JP" style:language-asian="ja" ' \
        'style:country-asian="JP"' if lang == "ja" else ' fo:language="en" fo:country="US"'
    return f"<style:text-properties{western}{asian}{weight}{language}/>"


def document(blocks, lang, variant, cover=""):
    look = (JA if lang == "ja" else EN)[variant % 5]
    top = min((lvl for kind, lvl, _ in blocks if kind == "h"), default=1)
    fonts = sorted({look["body"], look["head"], MONO[lang]})
    faces = "\n".join(f'<style:font-face style:name="{f}" svg:font-family="&apos;{f}&apos;"/>'
                      for f in fonts)
    styles = [
        '<style:style style:name="Standard" style:family="paragraph">'
        '<style:paragraph-properties fo:text-align="justify"/>'
        + text_props(look["body"], look["size"], lang=lang) + "</style:style>",
        '<style:style style:name="Text_20_body" style:display-name="Text body" '
        'style:family="paragraph" style:parent-style-name="Standard">'
        '<style:paragraph-properties fo:margin-top="0cm" fo:margin-bottom="0.21cm" '
        'fo:line-height="135%"/></style:style>',
        '<style:style style:name="List_20_item" style:display-name="List item" '
        'style:family="paragraph" style:parent-style-name="Text_20_body">'
        '<style:paragraph-properties fo:margin-left="0.8cm" fo:text-indent="-0.4cm"/>'
        "</style:style>",
        '<style:style style:name="Table_20_cell" style:display-name="Table cell" '
        'style:family="paragraph" style:parent-style-name="Text_20_body">'
        '<style:paragraph-properties fo:margin-left="0.5cm" fo:text-align="start"/>'
        "</style:style>",
        '<style:style style:name="Preformatted_20_Text" style:display-name="Preformatted Text" '
        'style:family="paragraph" style:parent-style-name="Standard">'
        '<style:paragraph-properties fo:text-align="start" fo:margin-bottom="0.2cm"/>'
        + text_props(MONO[lang], max(look["size"] - 1.5, 7), lang=lang) + "</style:style>",
        '<style:style style:name="Title" style:family="paragraph" '
        'style:parent-style-name="Standard" style:next-style-name="Text_20_body">'
        '<style:paragraph-properties fo:text-align="center" fo:margin-bottom="0.6cm"/>'
        + text_props(look["head"], 24, True, lang) + "</style:style>",
        '<style:style style:name="Heading" style:family="paragraph" '
        'style:parent-style-name="Standard" style:next-style-name="Text_20_body">'
        '<style:paragraph-properties fo:margin-top="0.42cm" fo:margin-bottom="0.21cm" '
        'fo:keep-with-next="always" fo:text-align="start"/></style:style>',
    ]
    for level in range(1, 7):
        size = look["heads"][min(level, 3) - 1]
        align = ' fo:text-align="center"' if level == 1 and look["center"] else ""
        brk = ' fo:break-before="page"' if level == 1 else ""
        styles.append(
            f'<style:style style:name="Heading_20_{level}" style:display-name="Heading {level}" '
            f'style:family="paragraph" style:parent-style-name="Heading" '
            f'style:next-style-name="Text_20_body" style:default-outline-level="{level}">'
            f'<style:paragraph-properties{align}{brk}/>'
            + text_props(look["head"], size, look["bold"] or level > 1, lang) + "</style:style>")
    width, height = PAGES[look["page"]]
    title = next((t for kind, _, t in blocks if kind == "h"), "")
    running = ""
    if look["running"]:
        running = (f'<style:header><text:p text:style-name="Header">{escape(title)}</text:p>'
                   '</style:header><style:footer><text:p text:style-name="Footer">'
                   '<text:page-number text:select-page="current"/></text:p></style:footer>')
    body = []
    if look.get("cover") and cover:
        body.append(f'<text:p text:style-name="Title">{escape(cover)}</text:p>')
    for kind, level, text in blocks:
        if kind == "h":
            lvl = min(level - top + 1, 6)
            if look["numbering"] not in ("source",):
                text = SOURCE_NUMBER.sub("", text, count=1)
            body.append(f'<text:h text:style-name="Heading_20_{lvl}" text:outline-level="{lvl}">'
                        f"{escape(text)}</text:h>")
        elif kind == "pre":
            lines = [escape(line) for line in text.strip("\n").split("\n")]
            body.append('<text:p text:style-name="Preformatted_20_Text">'
                        + "<text:line-break/>".join(lines) + "</text:p>")
        else:
            style = {"li": "List_20_item", "td": "Table_20_cell"}.get(kind, "Text_20_body")
            bullet = ("・" if lang == "ja" else "• ") if kind == "li" else ""
            body.append(f'<text:p text:style-name="{style}">{escape(bullet + text)}</text:p>')
    return f"""<?xml version="1.0" encoding="UTF-8"?>
<office:document xmlns:office="urn:oasis:names:tc:opendocument:xmlns:office:1.0"
 xmlns:style="urn:oasis:names:tc:opendocument:xmlns:style:1.0"
 xmlns:text="urn:oasis:names:tc:opendocument:xmlns:text:1.0"
 xmlns:fo="urn:oasis:names:tc:opendocument:xmlns:xsl-fo-compatible:1.0"
 xmlns:svg="urn:oasis:names:tc:opendocument:xmlns:svg-compatible:1.0"
 office:version="1.3" office:mimetype="application/vnd.oasis.opendocument.text">
<office:font-face-decls>
{faces}
</office:font-face-decls>
<office:styles>
{chr(10).join(styles)}
<text:outline-style style:name="Outline">
{outline_levels(look["numbering"])}
</text:outline-style>
</office:styles>
<office:automatic-styles>
<style:page-layout style:name="pm1"><style:page-layout-properties fo:page-width="{width}"
 fo:page-height="{height}" fo:margin-top="2cm" fo:margin-bottom="2cm" fo:margin-left="2.2cm"
 fo:margin-right="2.2cm"/></style:page-layout>
</office:automatic-styles>
<office:master-styles>
<style:master-page style:name="Standard" style:page-layout-name="pm1">{running}</style:master-page>
</office:master-styles>
<office:body><office:text>
{chr(10).join(body)}
</office:text></office:body></office:document>
"""


def clean(text):
    """Drops the characters XML 1.0 does not allow."""
    return re.sub(r"[\x00-\x08\x0b\x0c\x0e-\x1f\ufffe\uffff]", "", text)


def write_document(paths, lang, variant, out):
    blocks, title = read_blocks(paths)
    blocks = [(k, lvl, clean(t)) for k, lvl, t in blocks]
    if not any(k == "h" for k, _, _ in blocks):
        raise RuntimeError(f"no headings in {paths[0]}")
    with open(out, "w", encoding="utf-8") as f:
        f.write(document(blocks, lang, variant, clean(title or "")))


if __name__ == "__main__":
    if len(sys.argv) < 5:
        sys.exit(__doc__)
    write_document(sys.argv[4:], sys.argv[2], int(sys.argv[3]), sys.argv[1])
