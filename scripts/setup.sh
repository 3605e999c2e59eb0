#!/usr/bin/env bash
# Installs what the build, the tests and the run need on a Debian machine
# (imagemagick's import takes the run's screenshot; wine64-tools has widl).
set -euo pipefail
pkgs=(cmake make g++ clang libclang-rt-14-dev zlib1g-dev googletest
      g++-mingw-w64-x86-64-posix libz-mingw-w64-dev wine64 wine64-tools xvfb xauth
      fonts-wqy-microhei fonts-wine imagemagick)
missing=()
for p in "${pkgs[@]}"; do
  dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  SUDO=""; [ "$(id -u)" -ne 0 ] && SUDO=sudo
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
