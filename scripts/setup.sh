#!/usr/bin/env bash
# Installs what the build and the tests need on a Debian machine.
set -euo pipefail
pkgs=(cmake make g++ clang libclang-rt-14-dev zlib1g-dev googletest
      g++-mingw-w64-x86-64-posix libz-mingw-w64-dev wine64 xvfb xauth
      ffmpeg fonts-wqy-microhei fonts-wine)
missing=()
for p in "${pkgs[@]}"; do
  dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  SUDO=""; [ "$(id -u)" -ne 0 ] && SUDO=sudo
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
