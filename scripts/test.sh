#!/usr/bin/env bash
# Installs what is needed, builds everything and runs every test with ctest, then the sanitizer
# build's tests and the fuzz targets.
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
# The engine, table-utility and shell tests again under ASan and UBSan, and each fuzz target for
# a short time against its seeds.
bash scripts/sanitize.sh
