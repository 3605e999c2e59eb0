#!/usr/bin/env bash
# Builds the Windows program and starts it from a simulated removable drive
# E: under Wine, as a user starts it: the login (or the first password) is
# answered at the screen, the program installs itself and its installed copy
# opens the explorer window; the script ends when that window's Exit has
# ended the program. With a DISPLAY the windows show on it; without one they
# go to a private Xvfb screen. KIV_SHOT=file.png keeps a screenshot of the
# screen taken KIV_SHOT_DELAY seconds (default 20) after the start.
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
if [ -n "${KIV_SHOT:-}" ]; then
  shot=$(realpath -m "$KIV_SHOT")
  (sleep "${KIV_SHOT_DELAY:-20}"; import -display "$DISPLAY" -window root "$shot" \
     && echo "screenshot: $shot") &
fi
echo "Drive E: is $KIV_WINE_ROOT/drive-e; starting E:\\KIV.exe"
"$WINE" 'E:\KIV.exe' "$@" || true
# The drive run ends once it has started the installed copy; that copy
# lives until the user chooses Exit.
while pgrep -f 'KIV\.exe' >/dev/null; do sleep 1; done
wait
