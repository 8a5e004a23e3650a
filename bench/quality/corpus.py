#!/usr/bin/env python3
"""The real-document corpus: assemble it, run the three extractors, score.

  corpus.py fetch   BUILD CORPUS.tsv [IDS...]   Debian PDFs and HTML sources into BUILD/corpus
  corpus.py produce BUILD CORPUS.tsv [IDS...]   office documents made from HTML sources
  corpus.py ids     BUILD CORPUS.tsv [--quick]  ids whose PDF is there, one a line
  corpus.py run     BUILD KIVREL ID            truth and the three predictions of one document
  corpus.py table   BUILD CORPUS.tsv [--quick]  the score table
  corpus.py docs    BUILD CORPUS.tsv MODE       per-document scores, worst F1 first
  corpus.py diff    BUILD ID MODE               missed and false headings of one document

CORPUS.tsv columns: id, lang, producer, package, path, recipe. Recipe "-":
the PDF (or .pdf.gz) at path inside the Debian package. Recipe "writer:N":
the HTML files at path (comma-separated, shell patterns allowed) are laid
out as a Writer document in style variant N by make_office.py and exported
to PDF with bookmarks. Packages are fetched with `apt-get download` and
unpacked with dpkg-deb, never installed.

The three predictions: "exact" and "quality" are `kivrel outline --exact`
and `kivrel outline` on the PDF; "baseline" takes the converter's
paragraphs (`kivrel explain --json`) and keeps every paragraph whose
character size is larger than the body size (the size carrying the most
characters), with levels by size rank, largest first, at most six: the rule
of the usual PDF-to-markdown converters.
"""
import fnmatch
import glob
import gzip
import json
import signal
import os
import resource
import shutil
import subprocess
import sys
import time
from collections import Counter, defaultdict

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
import score  # noqa: E402
import truth  # noqa: E402

MODES = ("exact", "quality", "baseline")
# A subset for quick tuning runs: every 4th document of each language and producer.
QUICK_EVERY = 4


def read_corpus(path):
    rows = []
    with open(path, encoding="utf-8") as f:
        for line in f:
            if not line.strip() or line.startswith("#"):
                continue
            doc, lang, producer, package, src, recipe = line.rstrip("\n").split("\t")
            rows.append({"id": doc, "lang": lang, "producer": producer, "package": package,
                         "path": src, "recipe": recipe})
    return rows


def quick_subset(rows):
    seen, out = Counter(), []
    for r in rows:
        key = (r["lang"], r["producer"])
        if seen[key] % QUICK_EVERY == 0:
            out.append(r)
        seen[key] += 1
    return out


def select(rows, ids):
    if not ids:
        return rows
    wanted = set(ids)
    return [r for r in rows if r["id"] in wanted]


def deb_of(build, package):
    debs = os.path.join(build, "debs")
    os.makedirs(debs, exist_ok=True)
    found = glob.glob(os.path.join(debs, f"{package}_*.deb"))
    if not found:
        get = ["apt-get", "download", "-q", package]
        if subprocess.run(get, cwd=debs, stdout=subprocess.DEVNULL).returncode != 0:
            # A machine whose package lists were never fetched knows no package yet.
            sudo = [] if os.geteuid() == 0 else ["sudo"]
            subprocess.run(sudo + ["apt-get", "update", "-qq"], check=True)
            subprocess.run(get, cwd=debs, check=True, stdout=subprocess.DEVNULL)
        found = glob.glob(os.path.join(debs, f"{package}_*.deb"))
    return found[0]


def unpack(build, package, patterns):
    """Extracts the members matching patterns; returns the member paths."""
    deb = deb_of(build, package)
    root = os.path.join(build, "unpacked", package)
    listing = subprocess.run(["dpkg-deb", "--fsys-tarfile", deb], capture_output=True,
                             check=True).stdout
    members = subprocess.run(["tar", "-t"], input=listing, capture_output=True,
                             check=True).stdout.decode().split("\n")
    wanted = [m for m in members if any(fnmatch.fnmatch(m.lstrip("./"), p) for p in patterns)]
    missing = [p for p in patterns if not any(fnmatch.fnmatch(m.lstrip("./"), p) for m in wanted)]
    if missing:
        raise RuntimeError(f"{package}: nothing at {', '.join(missing)}")
    os.makedirs(root, exist_ok=True)
    subprocess.run(["tar", "-x", "-C", root] + wanted, input=listing, check=True)
    return [os.path.join(root, m.lstrip("./")) for m in wanted]


def fetch(build, rows):
    pdfs = os.path.join(build, "corpus")
    os.makedirs(pdfs, exist_ok=True)
    by_package = defaultdict(list)
    for r in rows:
        by_package[r["package"]].append(r)
    for package, group in sorted(by_package.items()):
        todo = [r for r in group if r["recipe"] != "-" or
                not os.path.exists(os.path.join(pdfs, r["id"] + ".pdf"))]
        if not todo:
            continue
        patterns = [p for r in todo for p in r["path"].split(",")]
        unpack(build, package, patterns)
        for r in todo:
            if r["recipe"] != "-":
                continue
            src = os.path.join(build, "unpacked", package, r["path"])
            dst = os.path.join(pdfs, r["id"] + ".pdf")
            if src.endswith(".gz"):
                with gzip.open(src, "rb") as i, open(dst, "wb") as o:
                    shutil.copyfileobj(i, o)
            else:
                shutil.copyfile(src, dst)


def produce(build, rows):
    pdfs = os.path.join(build, "corpus")
    work = os.path.join(build, "office")
    os.makedirs(work, exist_ok=True)
    todo = []
    for r in rows:
        if not r["recipe"].startswith("writer:") or \
                os.path.exists(os.path.join(pdfs, r["id"] + ".pdf")):
            continue
        root = os.path.join(build, "unpacked", r["package"])
        sources = sorted(f for p in r["path"].split(",") for f in glob.glob(os.path.join(root, p)))
        if not sources:
            raise RuntimeError(f"{r['id']}: no HTML at {r['path']} (run fetch first)")
        import make_office
        variant = int(r["recipe"].split(":", 1)[1])
        fodt = os.path.join(work, r["id"] + ".fodt")
        make_office.write_document(sources, r["lang"], variant, fodt)
        todo.append(fodt)
    if not todo:
        return
    # One office process converts the whole batch: starting it costs more than a document.
    subprocess.run(["soffice", "--headless", "--norestore",
                    "-env:UserInstallation=file://" + os.path.join(work, "profile"),
                    "--convert-to",
                    'pdf:writer_pdf_Export:{"ExportBookmarks":{"type":"boolean","value":"true"}}',
                    "--outdir", work] + todo, check=True, stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL)
    for fodt in todo:
        pdf = fodt[:-5] + ".pdf"
        if not os.path.exists(pdf):
            raise RuntimeError(f"soffice made no {pdf}")
        shutil.move(pdf, os.path.join(pdfs, os.path.basename(pdf)))


def timed(cmd):
    """(stdout, wall seconds, cpu seconds) of one child process."""
    before = resource.getrusage(resource.RUSAGE_CHILDREN)
    t0 = time.perf_counter()
    out = subprocess.run(cmd, capture_output=True)
    wall = time.perf_counter() - t0
    after = resource.getrusage(resource.RUSAGE_CHILDREN)
    cpu = (after.ru_utime - before.ru_utime) + (after.ru_stime - before.ru_stime)
    if out.returncode != 0:
        raise RuntimeError(f"{' '.join(cmd)}: exit {out.returncode}: "
                           f"{out.stderr.decode(errors='replace')[:300]}")
    return out.stdout, wall, cpu


def baseline(paragraphs):
    """Headings by character size alone: larger than the body size, ranked by size."""
    weight = Counter()
    for p in paragraphs:
        weight[p["size"]] += len(p["text"].strip())
    if not weight:
        return []
    body = max(weight, key=lambda s: (weight[s], -s))
    sizes = sorted({p["size"] for p in paragraphs if p["size"] > body}, reverse=True)
    rank = {s: min(n, 6) for n, s in enumerate(sizes, 1)}
    return [{"page": p["page"], "text": p["text"], "level": rank[p["size"]]}
            for p in paragraphs if p["size"] in rank and p["text"].strip()]


def run_doc(build, kivrel, doc):
    pdf = os.path.join(build, "corpus", doc + ".pdf")
    result = {"doc": doc, "truth": [{"page": p, "level": d, "text": t}
                                    for p, d, t in truth.headings(pdf)
                                    if p is not None and t.strip()]}
    times = {}
    for mode, cmd in (("exact", [kivrel, "outline", "-q", "--exact", "--format", "json", pdf]),
                      ("quality", [kivrel, "outline", "-q", "--format", "json", pdf]),
                      ("baseline", [kivrel, "explain", "-q", "--json", pdf])):
        out, wall, cpu = timed(cmd)
        data = json.loads(out)
        if mode == "baseline":
            result[mode] = baseline(data["paragraphs"])
        else:
            result[mode] = [{"page": i["page"], "text": i["text"], "level": i["level"]}
                            for i in data["items"]]
        times[mode] = {"wall": round(wall, 3), "cpu": round(cpu, 3)}
    result["times"] = times
    outdir = os.path.join(build, "results")
    os.makedirs(outdir, exist_ok=True)
    tmp = os.path.join(outdir, doc + ".json.tmp")
    with open(tmp, "w", encoding="utf-8") as f:
        json.dump(result, f, ensure_ascii=False)
    os.replace(tmp, os.path.join(outdir, doc + ".json"))


def fmt_scores(t):
    docs, npred, ntrue, matched, agree, compared = t
    p, r = score.ratio(matched, npred), score.ratio(matched, ntrue)
    f1 = score.ratio(2 * p * r, p + r)
    return f"{p:6.3f}{r:6.3f}{f1:6.3f}{score.ratio(agree, compared):6.3f}"


def table(build, rows):
    results = {}
    for r in rows:
        path = os.path.join(build, "results", r["id"] + ".json")
        if os.path.exists(path):
            with open(path, encoding="utf-8") as f:
                results[r["id"]] = json.load(f)
    meta = {r["id"]: r for r in rows if r["id"] in results}
    if not meta:
        sys.exit("no results")
    # Groups: each language with each producer, then each language as a whole.
    keys = lambda r: (f"{r['lang']}/{r['producer']}", f"{r['lang']}/all")  # noqa: E731
    groups = sorted({k for r in meta.values() for k in keys(r)},
                    key=lambda g: (g.split("/")[0], g.endswith("/all"), g))
    totals = {m: defaultdict(lambda: [0] * 6) for m in MODES}
    per_doc = defaultdict(lambda: defaultdict(list))
    for doc, r in meta.items():
        true = results[doc]["truth"]
        for m in MODES:
            pred = results[doc][m]
            pairs = score.match(pred, true, strip_numbers=True)
            agree, compared = score.level_agreement(pred, true, pairs)
            p, rc = score.ratio(len(pairs), len(pred)), score.ratio(len(pairs), len(true))
            for g in keys(r):
                t = totals[m][g]
                for k, v in enumerate((1, len(pred), len(true), len(pairs), agree, compared)):
                    t[k] += v
                per_doc[g][m].append(score.ratio(2 * p * rc, p + rc))
    print(f"{'':<26}" + "".join(f"  {m:<24}" for m in MODES))
    head = "".join(f"  {'P':>6}{'R':>6}{'F1':>6}{'lvl':>6}" for _ in MODES)
    print(f"{'group':<14}{'docs':>5}{'true':>7}{head}")
    for g in groups:
        t = totals["exact"][g]
        line = f"{g:<14}{t[0]:>5}{t[2]:>7}"
        for m in MODES:
            line += "  " + fmt_scores(totals[m][g])
        print(line)
    print()
    # Documents differ in size by two orders: the mean of per-document F1 weighs them alike.
    print(f"{'mean doc F1':<14}" + "".join(f"{m:>10}" for m in MODES))
    for g in groups:
        print(f"{g:<14}" + "".join(f"{sum(per_doc[g][m]) / len(per_doc[g][m]):>10.3f}"
                                   for m in MODES))
    print()
    print(f"{'seconds':<14}{'wall':>8}{'cpu':>8}   (sum over documents)")
    sums = {m: [0.0, 0.0] for m in MODES}
    for res in results.values():
        for m in MODES:
            sums[m][0] += res["times"][m]["wall"]
            sums[m][1] += res["times"][m]["cpu"]
    for m in MODES:
        print(f"{m:<14}{sums[m][0]:>8.1f}{sums[m][1]:>8.1f}")
    if sums["exact"][1]:
        print(f"quality / exact cpu: {sums['quality'][1] / sums['exact'][1]:.3f}")


def load_result(build, doc):
    with open(os.path.join(build, "results", doc + ".json"), encoding="utf-8") as f:
        return json.load(f)


def doc_scores(build, rows, mode):
    for r in rows:
        if not os.path.exists(os.path.join(build, "results", r["id"] + ".json")):
            continue
        res = load_result(build, r["id"])
        pairs = score.match(res[mode], res["truth"], strip_numbers=True)
        n, t = len(res[mode]), len(res["truth"])
        p, rc = score.ratio(len(pairs), n), score.ratio(len(pairs), t)
        yield r["id"], n, t, p, rc, score.ratio(2 * p * rc, p + rc)


def diff(build, doc, mode):
    res = load_result(build, doc)
    pred, true = res[mode], res["truth"]
    pairs = score.match(pred, true, strip_numbers=True)
    got_p, got_t = {i for i, _ in pairs}, {j for _, j in pairs}
    for j, t in enumerate(true):
        if j not in got_t:
            print(f"missed  p{t['page']:<4} L{t['level']}  {t['text']}")
    for i, p in enumerate(pred):
        if i not in got_p:
            print(f"false   p{p['page']:<4} L{p['level']}  {p['text'][:100]}")


def main(argv):
    if len(argv) < 3:
        sys.exit(__doc__)
    cmd, build = argv[1], argv[2]
    if cmd == "run":
        run_doc(build, argv[3], argv[4])
        return 0
    if cmd == "diff":
        diff(build, argv[3], argv[4])
        return 0
    rows = read_corpus(argv[3])
    rest = argv[4:]
    quick = "--quick" in rest
    rest = [a for a in rest if a != "--quick"]
    if quick:
        rows = quick_subset(rows)
    mode = "quality"
    if cmd == "docs" and rest and rest[0] in MODES:
        mode = rest.pop(0)
    rows = select(rows, rest)
    if cmd == "fetch":
        fetch(build, rows)
    elif cmd == "produce":
        produce(build, rows)
    elif cmd == "ids":
        for r in rows:
            if os.path.exists(os.path.join(build, "corpus", r["id"] + ".pdf")):
                print(r["id"])
    elif cmd == "table":
        table(build, rows)
    elif cmd == "docs":
        for doc, n, t, p, r, f1 in sorted(doc_scores(build, rows, mode),
                                          key=lambda x: x[5]):
            print(f"{f1:6.3f}{p:7.3f}{r:7.3f}{n:6}{t:6}  {doc}")
    else:
        sys.exit(__doc__)
    return 0


if __name__ == "__main__":
    signal.signal(signal.SIGPIPE, signal.SIG_DFL)
    sys.exit(main(sys.argv))
