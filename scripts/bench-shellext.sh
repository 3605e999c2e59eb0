#!/usr/bin/env bash
# Runs the shell extension benchmark (bench/shellext_bench.cpp) under Wine
# from a Release Windows build: the handler's Initialize for 2,000 and
# 20,000 selected files, as a plain block and as the shell's data object of a folder on E:. Arguments go to the benchmark ([--dll PATH]
# [--repeats R]). KIV_BENCH_SHELLEXT_WIN and KIV_BENCH_SHELLEXT_WINE (the
# Wine prefix's root) name other folders.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"
win=${KIV_BENCH_SHELLEXT_WIN:-build/bench-shellext-win}
wine_root=${KIV_BENCH_SHELLEXT_WINE:-build/bench-shellext-wine}

cmake -S . -B "$win" -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$win" -j"$(nproc)" --target shellext_bench >/dev/null

source scripts/wine-env.sh
trap kiv_wine_down EXIT
kiv_wine_up "$wine_root" >/dev/null 2>&1
echo "== shell extension's Initialize under Wine (Release)"
timeout 600 "$WINE" "$win/shellext_bench.exe" "$@"
