#!/usr/bin/env bash
# The engine, table-utility and shell tests again, built by clang with AddressSanitizer and
# UndefinedBehaviorSanitizer, then every fuzz target for a short time against its seeds. Both
# use one instrumented build, build-fuzz/ (-DVAQ_FUZZ=ON). Any sanitizer report fails the run.
# Prints how long each part took. FUZZ_SECONDS sets the time per target (default 30).
set -euo pipefail
cd "$(dirname "$0")/.."
fuzz_seconds="${FUZZ_SECONDS:-30}"
build=build-fuzz

# Every test program of common/, engine/, tutil/ and tools/vaqdb/, and the shell they run.
mapfile -t programs < <(grep -ho 'vaq_add_gtest([A-Za-z0-9_]*' common/tests/CMakeLists.txt \
  engine/*/tests/CMakeLists.txt tutil/tests/CMakeLists.txt tools/vaqdb/tests/CMakeLists.txt |
  sed 's/vaq_add_gtest(//')
labels="^($(IFS='|'; echo "${programs[*]}"))$"

launcher=()
if command -v ccache >/dev/null; then
  launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi

start=$(date +%s)
CC=clang CXX=clang++ cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DVAQ_FUZZ=ON -DCMAKE_COMPILE_WARNING_AS_ERROR=ON "${launcher[@]}" >/dev/null
cmake --build "$build" --target "${programs[@]}" vaqdb fuzzers
built=$(date +%s)

mkdir -p -m 0700 "$build/xdg-runtime"
export XDG_RUNTIME_DIR="$PWD/$build/xdg-runtime"
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
ctest --test-dir "$build" --output-on-failure -j2 -L "$labels"
tested=$(date +%s)

bash fuzz/run.sh --ci "$fuzz_seconds"
fuzzed=$(date +%s)

echo "sanitizer build $((built - start)) s, sanitizer tests $((tested - built)) s," \
     "fuzz runs $((fuzzed - tested)) s"
