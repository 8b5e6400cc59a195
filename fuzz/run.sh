#!/usr/bin/env bash
# Runs every fuzz target (or the ones named) for SECONDS each, one after the other, at the
# lowest priority, and keeps what they find under fuzz-out/TARGET/: the grown corpus
# (corpus/), inputs that crashed, hung or ran out of memory (artifacts/) and the log.
# A target that stops on a finding is started again until its time is up, so that one
# finding does not end the campaign. Prints a line per target and exits 1 when any target
# found something.
#
#   fuzz/run.sh [--ci] SECONDS [TARGET...]
#
# --ci: stop a target at its first finding and print the input's report (for CI).
# Builds build-fuzz/ first (clang, -DVAQ_FUZZ=ON; ccache when installed).
set -euo pipefail
cd "$(dirname "$0")/.."

ci=0
if [ "${1:-}" = "--ci" ]; then ci=1; shift; fi
seconds="${1:?usage: fuzz/run.sh [--ci] SECONDS [TARGET...]}"
shift
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(table_read verify_rebuild sql csv_import transaction_import)

build=build-fuzz
launcher=()
if command -v ccache >/dev/null; then
  launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi
if [ ! -f "$build/build.ninja" ]; then
  CC=clang CXX=clang++ cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DVAQ_FUZZ=ON "${launcher[@]}" >/dev/null
fi
out=fuzz-out
mkdir -p "$out/seeds/tables"
if ! nice -n 19 cmake --build "$build" --target fuzzers >"$out/build.log" 2>&1; then
  tail -n 40 "$out/build.log"
  exit 1
fi
"$build/fuzz/fuzz_seed_tables" "$out/seeds/tables"

seeds_of() {
  case "$1" in
    table_read | verify_rebuild) echo "$out/seeds/tables" ;;
    *) echo "fuzz/seeds/$1" ;;
  esac
}
dict_of() {
  case "$1" in
    table_read | verify_rebuild) echo fuzz/dict/table.dict ;;
    sql) echo fuzz/dict/sql.dict ;;
    csv_import) echo fuzz/dict/csv.dict ;;
    transaction_import) echo fuzz/dict/transactions.dict ;;
  esac
}

found_any=0
printf '%-20s %12s %8s %6s %6s %6s\n' target executions crashes hangs ooms seconds
for target in "${targets[@]}"; do
  dir="$out/$target"
  mkdir -p "$dir/corpus" "$dir/artifacts"
  log="$dir/log"
  : >"$log"
  before=$(ls "$dir/artifacts" | wc -l)
  executions=0
  start=$(date +%s)
  while :; do
    left=$((seconds - ($(date +%s) - start)))
    [ "$left" -gt 0 ] || break
    status=0
    nice -n 19 "$build/fuzz/fuzz_$target" -max_total_time="$left" -timeout=20 -rss_limit_mb=2048 \
      -max_len=65536 -dict="$(dict_of "$target")" -artifact_prefix="$dir/artifacts/" \
      -print_final_stats=1 "$dir/corpus" "$(seeds_of "$target")" >>"$log" 2>&1 || status=$?
    runs=$(grep -o 'stat::number_of_executed_units: [0-9]*' "$log" | awk '{s += $2} END {print s + 0}')
    executions=$runs
    [ "$status" -eq 0 ] && break
    if [ "$ci" -eq 1 ]; then
      tail -n 60 "$log"
      break
    fi
  done
  crashes=$(ls "$dir/artifacts" | grep -c '^crash-' || true)
  hangs=$(ls "$dir/artifacts" | grep -c '^timeout-' || true)
  ooms=$(ls "$dir/artifacts" | grep -c '^oom-\|^leak-' || true)
  after=$(ls "$dir/artifacts" | wc -l)
  [ "$after" -gt "$before" ] && found_any=1
  printf '%-20s %12s %8s %6s %6s %6s\n' "$target" "$executions" "$crashes" "$hangs" "$ooms" \
    "$(($(date +%s) - start))"
done
exit "$found_any"
