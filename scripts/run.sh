#!/usr/bin/env bash
# Builds the Windows program and starts it from a simulated removable drive
# E: under Wine. With a DISPLAY the windows show on it; without one they go
# to a private Xvfb screen (set KIV_SHOT=file.png to keep a screenshot).
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"
scripts/setup.sh
cmake -S . -B build/win -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build/win -j"$(nproc)" --target KIV
source scripts/wine-env.sh
[ -n "${DISPLAY:-}" ] && export KIV_KEEP_DISPLAY=1
trap kiv_wine_down EXIT
kiv_wine_up build/run-wine
cp build/win/KIV.exe "$KIV_WINE_ROOT/drive-e/KIV.exe"
echo "Drive E: is $KIV_WINE_ROOT/drive-e; starting E:\\KIV.exe"
"$WINE" 'E:\KIV.exe' "$@"
