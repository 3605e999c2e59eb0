#!/usr/bin/env bash
# Runs the archive engine benchmark: natively from a Release build without
# sanitizers (build/bench-native), and under Wine when a Windows build
# (build/win) exists. Arguments go to the benchmark ([MIB...] [--repeats N]);
# without them it runs 8 MiB and 64 MiB in two processes, so that the two
# process peaks show whether memory grows with the file.
# KIV_BENCH_NATIVE, KIV_BENCH_WIN and KIV_BENCH_WINE (the Wine prefix's
# root) name other build folders.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"
native=${KIV_BENCH_NATIVE:-build/bench-native}
win=${KIV_BENCH_WIN:-build/win}
wine_root=${KIV_BENCH_WINE:-build/bench-wine}

cmake -S . -B "$native" -DCMAKE_BUILD_TYPE=Release -DKIV_SANITIZE=OFF \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ >/dev/null
cmake --build "$native" -j"$(nproc)" --target archive_bench >/dev/null
bench_args=("$@")
run() {
  if [ ${#bench_args[@]} -gt 0 ]; then "$@" "${bench_args[@]}"; else "$@" 8 && "$@" 64; fi
}
echo "== native ($(uname -m), clang, Release)"
run "$native/archive_bench"

if [ -d "$win" ]; then
  cmake --build "$win" -j"$(nproc)" --target archive_bench >/dev/null
  source scripts/wine-env.sh
  trap kiv_wine_down EXIT
  kiv_wine_up "$wine_root" >/dev/null 2>&1
  echo "== Windows build under Wine"
  run timeout 1200 "$WINE" "$win/archive_bench.exe"
fi
