#!/usr/bin/env bash
# Prints how many tests the last ctest run in a build folder skipped, and why: each reason once,
# with the number of tests that gave it. Usage: skipped-tests.sh BUILD_DIR
set -euo pipefail
log="${1:?build folder}/Testing/Temporary/LastTest.log"
[[ -f "$log" ]] || { echo "No test log at $log" >&2; exit 1; }
# GoogleTest writes "file:line: Skipped" and the reason on the next line.
reasons=$(awk 'skipped { print; skipped = 0; next } / Skipped$/ { skipped = 1 }' "$log" |
  sort | uniq -c | sort -rn)
if [[ -z "$reasons" ]]; then
  echo "No test was skipped."
else
  echo "$(awk '{ n += $1 } END { print n }' <<<"$reasons") tests were skipped:"
  echo "$reasons"
fi
