#!/usr/bin/env bash
# The test command: installs what is missing, builds the Windows program and
# the native engine, and runs every test (Windows tests under Wine, native
# tests under AddressSanitizer and UBSan, a short fuzz run of the reader).
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"
jobs=$(nproc)

scripts/setup.sh

# Native engine with sanitizers, its tests and the reader's fuzz target.
cmake -S . -B build/native -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ >/dev/null
cmake --build build/native -j"$jobs"
(cd build/native && ctest --output-on-failure -j"$jobs")
if [ -x build/native/archive_reader_fuzzer ]; then
  scripts/fuzz.sh build/native "${KIV_FUZZ_SECONDS:-60}"
fi

# Windows program and tests under Wine.
cmake -S . -B build/win -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build/win -j"$jobs"
source scripts/wine-env.sh
trap kiv_wine_down EXIT
kiv_wine_up build/win/wine
(cd build/win && ctest --output-on-failure -j"$jobs")
