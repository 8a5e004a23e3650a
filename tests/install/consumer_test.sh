#!/usr/bin/env bash
# usage: consumer_test.sh BUILD_DIR CONSUMER_SRC WORK_DIR CXX CMAKE
set -euo pipefail
build=$1 src=$2 work=$3 cxx=$4 cmake=$5
rm -rf "$work" && mkdir -p "$work"
prefix=$work/prefix
"$cmake" --install "$build" --prefix "$prefix" >/dev/null

libdir=$(dirname "$(find "$prefix" -name 'kivrel.pc' | head -n1)")/..
export PKG_CONFIG_PATH=$libdir/pkgconfig${PKG_CONFIG_PATH:+:$PKG_CONFIG_PATH}

# 1. pkg-config: only <kivrel/kivrel.h> and the flags the .pc gives.
"$cxx" -std=c++17 "$src/main.cc" -o "$work/host_pc" $(pkg-config --cflags --libs kivrel) \
  -Wl,-rpath,"$(pkg-config --variable=libdir kivrel)"
"$work/host_pc"

# 2. CMake package: find_package(Kivrel) gives Kivrel::kivrel.
"$cmake" -S "$src" -B "$work/cmake-host" -G Ninja -DCMAKE_PREFIX_PATH="$prefix" \
  -DCMAKE_CXX_COMPILER="$cxx" >/dev/null
"$cmake" --build "$work/cmake-host" >/dev/null
"$work/cmake-host/host"

# The installed library exports the API and hides the internals.
lib=$(find "$prefix" -name 'libkivrel.so.*' -type f | head -n1)
soname=$(objdump -p "$lib" | awk '/SONAME/ {print $2}')
[[ $soname == libkivrel.so.* ]] || { echo "unexpected SONAME: $soname"; exit 1; }
if nm -D -C --defined-only "$lib" | grep -q 'Kivrel::text::'; then
  echo "internal symbols are exported"; exit 1
fi
echo "install tree OK ($soname)"
