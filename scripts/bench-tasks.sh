#!/usr/bin/env bash
# Runs the file-task benchmark (bench/task_bench.cpp) under Wine from a
# Release Windows build: a compress batch and a decompress batch over a
# 64 MiB corpus on the removable drive E:, each compared with the archive
# engine alone. Arguments go to the benchmark ([--files N]
# [--mib-per-file M] [--repeats R] [--dir PATH]). KIV_BENCH_TASKS_WIN and
# KIV_BENCH_TASKS_WINE (the Wine prefix's root) name other folders.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"
win=${KIV_BENCH_TASKS_WIN:-build/bench-tasks-win}
wine_root=${KIV_BENCH_TASKS_WINE:-build/bench-tasks-wine}

cmake -S . -B "$win" -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$win" -j"$(nproc)" --target task_bench >/dev/null

source scripts/wine-env.sh
trap kiv_wine_down EXIT
kiv_wine_up "$wine_root" >/dev/null 2>&1
echo "== file tasks under Wine (Release)"
timeout 1800 "$WINE" "$win/task_bench.exe" "$@"
