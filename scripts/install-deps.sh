#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the demo need (idempotent).
set -euo pipefail
packages=(cmake ninja-build g++ pkg-config qt6-base-dev libgtest-dev googletest libbenchmark-dev
          libinih-dev pxlib-dev xvfb xauth xdotool x11-utils imagemagick fonts-dejavu-core
          hyperfine clang libclang-rt-14-dev libedit-dev scdoc librsvg2-bin dpkg-dev appstream
          desktop-file-utils)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  sudo_cmd=""
  [ "$(id -u)" -eq 0 ] || sudo_cmd="sudo"
  $sudo_cmd apt-get update
  DEBIAN_FRONTEND=noninteractive $sudo_cmd apt-get install -y --no-install-recommends "${missing[@]}"
fi
