#!/bin/sh
# Builds corpus_eval against a configured build tree, makes the synthetic
# corpus and prints the scores of the exact and the quality extraction.
#   bench/quality/run.sh [BUILD_DIR] [DOCS]
set -eu
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
build=${1:-$root/build}
docs=${2:-20}
cmake --build "$build" --target kivrel kivrel-pdf
out=$build/quality-corpus
mkdir -p "$out"
g++ -std=c++17 -O2 -I"$root/include" -I"$build/include" "$here/corpus_eval.cc" -o "$out/corpus_eval" \
  -L"$build" -L"$build/pdf" -lkivrel -lkivrel-pdf $(pkg-config --cflags --libs cairo icu-uc) \
  -Wl,-rpath,"$build:$build/pdf"
"$out/corpus_eval" "$out" "$docs"
echo "exact:"
python3 "$here/score.py" "$out/exact.jsonl" "$out/truth.jsonl"
echo "quality:"
python3 "$here/score.py" "$out/quality.jsonl" "$out/truth.jsonl"
