#!/usr/bin/env bash
# Installs what is needed, builds everything and runs every test with ctest, then the sanitizer
# build's tests and the fuzz targets.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
# The build has no warnings and is kept so: any warning stops it.
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_COMPILE_WARNING_AS_ERROR=ON
cmake --build build
# The programs without Qt: the shell and every library below it configure and build with
# neither the window nor the test tools (a few seconds when ccache has seen them).
launcher=()
if command -v ccache > /dev/null; then
  launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi
cmake -S . -B build-nogui -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVAQ_BUILD_GUI=OFF \
      -DBUILD_TESTING=OFF -DCMAKE_COMPILE_WARNING_AS_ERROR=ON "${launcher[@]}"
cmake --build build-nogui --target vaqdb
mkdir -p -m 0700 build/xdg-runtime
export XDG_RUNTIME_DIR="$PWD/build/xdg-runtime"
ctest --test-dir build --output-on-failure -j2
bash scripts/skipped-tests.sh build
# The installation into a scratch root and the Debian package.
bash scripts/check-install.sh build --deb
# The engine, table-utility and shell tests again under ASan and UBSan, and each fuzz target for
# a short time against its seeds.
bash scripts/sanitize.sh
