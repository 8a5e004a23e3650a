#!/usr/bin/env python3
"""Heading scorer: predicted against true headings, per document and group.

Input: two JSON-lines files, one heading per line:
  {"doc": "guide.pdf", "page": 3, "text": "2.1 Scope", "level": 2, "group": "en"}
"level" and "group" are optional ("group" defaults to "all"; a document's
group is taken from its true headings). Headings match one to one when their
pages differ by at most one and the normalised texts (NFKC, white space
collapsed, case folded) have a difflib ratio of at least 0.8; the best pairs
are taken first. Level agreement: over consecutive matched pairs in reading
order, the share whose predicted levels order the same way (<, =, >) as the
true ones.
"""
import argparse
import difflib
import json
import re
import sys
import unicodedata
from collections import defaultdict

MIN_RATIO = 0.8
PAGE_SLACK = 1


# A leading section number: "2.1", "3.", "A.2", "IV.", "Chapter 3", "第2章", "付録A".
ENUMERATOR = re.compile(
    r"^(?:(?:chapter|section|part|appendix)\s+(?:[0-9]+|[A-Z]|[IVXLC]+)(?:\.[0-9]+)*[.:]?"
    r"|[0-9]+(?:\.[0-9]+)*\.?|[A-Z](?:\.[0-9]+)+\.?|[IVXLC]+\.)\s+"
    r"|^第\s*[0-9一二三四五六七八九十百IVX]+\s*[章節項部編]\s*"
    r"|^付録\s*[A-Z0-9]+[.:]?\s*", re.IGNORECASE)


def normalise(text, strip_numbers=False):
    text = re.sub(r"\s+", " ", unicodedata.normalize("NFKC", text)).strip()
    if strip_numbers:
        stripped = ENUMERATOR.sub("", text, count=1)
        text = stripped or text
    return text.casefold()


def load(path):
    by_doc = defaultdict(list)
    with open(path, encoding="utf-8") as f:
        for n, line in enumerate(f, 1):
            line = line.strip()
            if not line:
                continue
            try:
                h = json.loads(line)
                by_doc[h["doc"]].append(h)
            except (ValueError, KeyError) as e:
                sys.exit(f"{path}:{n}: {e}")
    return by_doc


def match(pred, truth, strip_numbers=False):
    """Index pairs (pred, truth), one to one, best similarity first."""
    candidates = []
    truth_texts = [normalise(t["text"], strip_numbers) for t in truth]
    for i, p in enumerate(pred):
        pt = normalise(p["text"], strip_numbers)
        for j, t in enumerate(truth):
            if abs(int(p["page"]) - int(t["page"])) > PAGE_SLACK:
                continue
            ratio = difflib.SequenceMatcher(None, pt, truth_texts[j]).ratio()
            if ratio >= MIN_RATIO:
                candidates.append((-ratio, abs(i - j), i, j))
    candidates.sort()
    used_p, used_t, pairs = set(), set(), []
    for _, _, i, j in candidates:
        if i not in used_p and j not in used_t:
            used_p.add(i)
            used_t.add(j)
            pairs.append((i, j))
    return sorted(pairs, key=lambda ij: ij[1])


def sign(x):
    return (x > 0) - (x < 0)


def level_agreement(pred, truth, pairs):
    """(agreeing, compared) over consecutive matched pairs with levels."""
    agree = compared = 0
    leveled = [(i, j) for i, j in pairs if "level" in pred[i] and "level" in truth[j]]
    for (i0, j0), (i1, j1) in zip(leveled, leveled[1:]):
        compared += 1
        agree += sign(pred[i1]["level"] - pred[i0]["level"]) == \
            sign(truth[j1]["level"] - truth[j0]["level"])
    return agree, compared


def score(pred_docs, truth_docs, strip_numbers=False):
    """Totals per group: docs, predicted, true, matched, level agree, compared."""
    groups = defaultdict(lambda: [0, 0, 0, 0, 0, 0])
    for doc in sorted(set(pred_docs) | set(truth_docs)):
        pred, truth = pred_docs.get(doc, []), truth_docs.get(doc, [])
        group = (truth or pred)[0].get("group", "all")
        pairs = match(pred, truth, strip_numbers)
        agree, compared = level_agreement(pred, truth, pairs)
        g = groups[group]
        for k, v in enumerate((1, len(pred), len(truth), len(pairs), agree, compared)):
            g[k] += v
    return groups


def ratio(a, b):
    return a / b if b else 0.0


def main(argv=None):
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("predictions")
    ap.add_argument("truths")
    ap.add_argument("--json", action="store_true", help="one JSON object per group")
    ap.add_argument("--strip-numbers", action="store_true",
                    help="compare texts without a leading section number (bookmarks often omit it)")
    args = ap.parse_args(argv)
    groups = score(load(args.predictions), load(args.truths), args.strip_numbers)
    if not args.json:
        print(f"{'group':<10}{'docs':>6}{'pred':>7}{'true':>7}{'P':>7}{'R':>7}{'F1':>7}{'level':>7}")
    for name in sorted(groups):
        docs, npred, ntrue, matched, agree, compared = groups[name]
        p, r = ratio(matched, npred), ratio(matched, ntrue)
        f1 = ratio(2 * p * r, p + r)
        lvl = ratio(agree, compared)
        if args.json:
            print(json.dumps({"group": name, "docs": docs, "predicted": npred, "true": ntrue,
                              "precision": round(p, 4), "recall": round(r, 4),
                              "f1": round(f1, 4), "level_agreement": round(lvl, 4)}))
        else:
            print(f"{name:<10}{docs:>6}{npred:>7}{ntrue:>7}{p:>7.3f}{r:>7.3f}{f1:>7.3f}{lvl:>7.3f}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
