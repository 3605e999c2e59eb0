#!/usr/bin/env bash
# Runs the file-list benchmark (bench/list_bench.cpp) under Wine from a
# Release Windows build: showing folders of 1,000, 10,000 and 50,000 files
# in the main window's list, and the USER and GDI object counts over 20
# refreshes. Arguments go to the benchmark ([--dir PATH] [--repeats R]).
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"
win=${KIV_BENCH_LIST_WIN:-build/bench-list-win}
wine_root=${KIV_BENCH_LIST_WINE:-build/bench-list-wine}

cmake -S . -B "$win" -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$win" -j"$(nproc)" --target list_bench >/dev/null

source scripts/wine-env.sh
trap kiv_wine_down EXIT
kiv_wine_up "$wine_root" >/dev/null 2>&1
echo "== file list under Wine (Release)"
timeout 1800 "$WINE" "$win/list_bench.exe" "$@"
