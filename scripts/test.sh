#!/usr/bin/env bash
# Installs what is needed, builds everything and runs every test with ctest.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build
mkdir -p -m 0700 build/xdg-runtime
export XDG_RUNTIME_DIR="$PWD/build/xdg-runtime"
ctest --test-dir build --output-on-failure -j2
bash scripts/skipped-tests.sh build
# The installation into a scratch root and the Debian package.
bash scripts/check-install.sh build --deb
