#!/usr/bin/env bash
# The real program, started with an engine configuration that has no alias VAQ, shows the
# "Application Error" box, never its window, and ends with exit code 1 once the box is closed.
# Runs under Xvfb; skipped (77) where Xvfb or xdotool are missing.
set -uo pipefail
program=$1
command -v Xvfb >/dev/null && command -v xdotool >/dev/null || exit 77

work=$(mktemp -d)
xvfb_pid=""
app_pid=""
cleanup() {
  [ -n "$app_pid" ] && kill "$app_pid" 2>/dev/null
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

mkdir -p "$work/data" -m 0700 "$work/runtime"
printf '[alias Other]\ntype = STANDARD\npath = %s/data\n' "$work" > "$work/engine.ini"

display=120
while [ -e "/tmp/.X${display}-lock" ] || [ -e "/tmp/.X11-unix/X${display}" ]; do
  display=$((display + 1))
done
Xvfb ":$display" -screen 0 640x480x24 -nolisten tcp >/dev/null 2>&1 &
xvfb_pid=$!
export DISPLAY=":$display"
for _ in $(seq 50); do
  xdpyinfo >/dev/null 2>&1 && break
  sleep 0.1
done

PDX_CONFIG="$work/engine.ini" XDG_RUNTIME_DIR="$work/runtime" QT_QPA_PLATFORM=xcb \
  "$program" >"$work/out.log" 2>&1 &
app_pid=$!

if ! box=$(timeout 20 xdotool search --sync --onlyvisible --name "^Application Error$"); then
  echo "FAIL: no Application Error box" >&2
  cat "$work/out.log" >&2
  exit 1
fi
if xdotool search --onlyvisible --name "VAQ DataBase Utility" >/dev/null; then
  echo "FAIL: the main window is shown" >&2
  exit 1
fi
xdotool windowfocus --sync "$(echo "$box" | head -n 1)" key Return

wait "$app_pid"
status=$?
app_pid=""
if [ "$status" -ne 1 ]; then
  echo "FAIL: exit code $status, expected 1" >&2
  exit 1
fi
echo "PASS: Application Error box, then exit code 1"
