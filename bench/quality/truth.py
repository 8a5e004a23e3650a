#!/usr/bin/env python3
"""True headings of a PDF from its bookmarks, as score.py JSON lines.

  truth.py FILE.pdf DOC GROUP        one line per bookmark to standard output
  truth.py --count FILE.pdf          bookmarks, those with a page, depth

The bookmark tree is read with `qpdf --json`: the page is the destination's
page (1-based, physical), the level the depth in the tree (1 = top). qpdf
resolves explicit destinations itself; destinations given as /D
dictionaries or as names are resolved here through the page objects and
`pdfinfo -dests`. Bookmarks whose destination cannot be resolved are left
out: a heading without a page cannot be matched.
"""
import json
import signal
import subprocess
import sys


def qpdf_json(path):
    out = subprocess.run(["qpdf", "--json=2", "--json-key=outlines", "--json-key=pages", path],
                         capture_output=True, text=True, errors="replace")
    # qpdf exits 3 on warnings (damaged but readable files) and still writes the JSON.
    if out.returncode not in (0, 3) or not out.stdout:
        raise RuntimeError(f"qpdf failed on {path}: {out.stderr.strip()[:200]}")
    return json.loads(out.stdout)


def named_dests(path):
    """Destination name -> page, from pdfinfo's listing."""
    out = subprocess.run(["pdfinfo", "-dests", path], capture_output=True, text=True,
                         errors="replace").stdout
    names = {}
    for line in out.splitlines()[1:]:
        head, _, name = line.partition('"')
        fields = head.split()
        if fields and fields[0].isdigit() and name.endswith('"'):
            names[name[:-1]] = int(fields[0])
    return names


def headings(path):
    """(page, level, title) per bookmark in tree order; page None if unresolved."""
    data = qpdf_json(path)
    page_of = {p["object"]: n for n, p in enumerate(data.get("pages", []), 1)}
    names = None

    def page(item):
        nonlocal names
        if item.get("destpageposfrom1") is not None:
            return int(item["destpageposfrom1"])
        dest = item.get("dest")
        if isinstance(dest, dict):
            dest = dest.get("/D")
        if isinstance(dest, list) and dest and isinstance(dest[0], str):
            return page_of.get(dest[0])
        if isinstance(dest, str):
            if names is None:
                names = named_dests(path)
            key = dest[2:-1] if dest.startswith("u:") else dest.lstrip("/")
            return names.get(key)
        return None

    result = []

    def walk(items, depth):
        for item in items:
            result.append((page(item), depth, item.get("title", "")))
            walk(item.get("kids", []), depth + 1)

    walk(data.get("outlines", []), 1)
    return result


def main(argv):
    if len(argv) == 3 and argv[1] == "--count":
        hs = headings(argv[2])
        print(len(hs), sum(p is not None for p, _, _ in hs), max((d for _, d, _ in hs), default=0))
        return 0
    if len(argv) != 4:
        sys.exit(__doc__)
    path, doc, group = argv[1:]
    for page, level, title in headings(path):
        if page is not None and title.strip():
            print(json.dumps({"doc": doc, "page": page, "text": title, "level": level,
                              "group": group}, ensure_ascii=False))
    return 0


if __name__ == "__main__":
    signal.signal(signal.SIGPIPE, signal.SIG_DFL)
    sys.exit(main(sys.argv))
