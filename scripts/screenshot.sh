#!/usr/bin/env bash
# Starts the real window of vaq-utility under Xvfb (no window manager, so no frame) and takes
# screenshots of the root window: BUILD/screenshot.png shows the first page,
# screenshot-page2.png and screenshot-page3.png the other pages, screenshot-about.png the
# About box. The database is an empty folder behind an engine configuration of its own.
# SCALE=2 shows the window at a scale of 2 on a screen twice the size; OUT_DIR puts the
# pictures elsewhere (named with a "-scale2" suffix at that scale).
#
#   bash scripts/screenshot.sh [BUILD_DIR]      (default: build)
#   SCALE=2 OUT_DIR=docs bash scripts/screenshot.sh
set -euo pipefail
cd "$(dirname "$0")/.."
build_dir=$(realpath -m "${1:-build}")
program="$build_dir/app/vaq-utility"
scale=${SCALE:-1}
out_dir=$(realpath -m "${OUT_DIR:-$build_dir}")
suffix=""
[ "$scale" != 1 ] && suffix="-scale$scale"
mkdir -p "$out_dir"

if [ ! -x "$program" ]; then
  cmake -S . -B "$build_dir" -G Ninja
  cmake --build "$build_dir" --target vaq-utility
fi

work=$(mktemp -d)
xvfb_pid=""
app_pid=""
cleanup() {
  [ -n "$app_pid" ] && kill "$app_pid" 2>/dev/null || true
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

mkdir -p "$work/data" "$work/private" -m 0700 "$work/runtime"
cat > "$work/engine.ini" <<INI
[alias VAQ]
type = STANDARD
path = $work/data

[engine]
private_dir = $work/private
INI

# The first free display number from 90 on.
display=90
while [ -e "/tmp/.X${display}-lock" ] || [ -e "/tmp/.X11-unix/X${display}" ]; do
  display=$((display + 1))
done
# A screen the size of the window: the centred window then starts at 0,0.
Xvfb ":$display" -screen 0 "${SCREEN_SIZE:-$((450 * scale))x$((545 * scale))}x24" -nolisten tcp >"$work/xvfb.log" 2>&1 &
xvfb_pid=$!
export DISPLAY=":$display"
for _ in $(seq 50); do
  xdpyinfo >/dev/null 2>&1 && break
  sleep 0.1
done

PDX_CONFIG="$work/engine.ini" XDG_RUNTIME_DIR="$work/runtime" QT_QPA_PLATFORM=xcb \
  QT_SCALE_FACTOR="$scale" XDG_CONFIG_HOME="$work/config" \
  "$program" >"$work/app.log" 2>&1 &
app_pid=$!
if ! window=$(timeout 15 xdotool search --sync --onlyvisible --name "VAQ DataBase Utility"); then
  echo "The window did not appear; the program said:" >&2
  cat "$work/app.log" >&2
  exit 1
fi
window=$(echo "$window" | head -n 1)
sleep 1

shot() {
  sleep 0.7
  import -window root "$out_dir/$1$suffix.png"
  echo "$out_dir/$1$suffix.png"
}

shot screenshot
# The window lies at 0,0, so its tabs and menu are at fixed places on the screen (given here
# in the window's own pixels).
click() {
  xdotool mousemove "$(($1 * scale))" "$(($2 * scale))" click 1
}
click 238 36  # tab "Update Blank StaffID"
shot screenshot-page2
click 366 36  # tab "Import Trans2DB"
shot screenshot-page3
click 85 36   # back to the first page
click 63 11   # menu "Help"
sleep 0.5
click 93 30   # "About..."
shot screenshot-about
