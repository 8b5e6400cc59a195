#!/usr/bin/env bash
# Installs what is needed, builds the utility and the database generator, writes a demo
# database of an older VAQ version (before the 3.2.1 layout) and starts vaq-utility on it.
#
#   bash scripts/demo.sh [--fresh]
#
# Everything lands in build/demo: the database (db/), an engine configuration of its own
# (engine.ini, with the alias VAQ on db/) and the engine's private folder. The user's own
# engine configuration is neither read nor changed: the utility is started with PDX_CONFIG
# naming build/demo/engine.ini. The database is kept between runs, so that what the
# utility did to it (an upgrade, a repair) can be looked at; --fresh writes it anew.
#
# Sizes can be chosen through DEMO_CONTROLLERS, DEMO_DOORS, DEMO_STAFF, DEMO_TRANSACTIONS
# and DEMO_SEED; VAQ_BUILD_DIR names another build folder than build.
#
# Without a display (no DISPLAY or WAYLAND_DISPLAY) the window is started under Xvfb for a
# moment and photographed into build/demo/screenshot.png instead.
set -euo pipefail
cd "$(dirname "$0")/.."

fresh=0
for argument in "$@"; do
  case "$argument" in
    --fresh) fresh=1 ;;
    *) echo "Usage: bash scripts/demo.sh [--fresh]" >&2; exit 2 ;;
  esac
done

build="${VAQ_BUILD_DIR:-build}"
bash scripts/install-deps.sh
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build "$build" --target vaq-utility vaq-generate
build=$(realpath "$build")

demo="$build/demo"
mkdir -p "$demo/db"
mkdir -p -m 0700 "$demo/private" "$demo/runtime"

if [ "$fresh" = 1 ] || [ ! -e "$demo/db/Transact.db" ]; then
  "$build/generator/vaq-generate" --out "$demo/db" --replace \
    --controllers "${DEMO_CONTROLLERS:-8}" --doors-per-controller "${DEMO_DOORS:-4}" \
    --staff "${DEMO_STAFF:-2000}" --transactions "${DEMO_TRANSACTIONS:-100000}" \
    --seed "${DEMO_SEED:-1}"
else
  echo "Keeping the demo database in $demo/db (--fresh writes it anew)"
fi

cat > "$demo/engine.ini" <<INI
; Engine configuration of the demo, written by scripts/demo.sh.
[alias VAQ]
type = STANDARD
path = $demo/db

[engine]
private_dir = $demo/private
INI

export PDX_CONFIG="$demo/engine.ini"
export XDG_RUNTIME_DIR="$demo/runtime"
program="$build/app/vaq-utility"

if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then
  echo "Starting vaq-utility on $demo/db"
  exec "$program"
fi

# No display: show that the window comes up on the demo database, in a picture.
echo "No display (DISPLAY is not set): starting vaq-utility under Xvfb for a screenshot."
xvfb_pid=""
app_pid=""
cleanup() {
  if [ -n "$app_pid" ]; then kill "$app_pid" 2>/dev/null || true; fi
  if [ -n "$xvfb_pid" ]; then kill "$xvfb_pid" 2>/dev/null || true; fi
}
trap cleanup EXIT
display=90
while [ -e "/tmp/.X${display}-lock" ] || [ -e "/tmp/.X11-unix/X${display}" ]; do
  display=$((display + 1))
done
# A screen the size of the window: the centred window then starts at 0,0.
Xvfb ":$display" -screen 0 450x545x24 -nolisten tcp >"$demo/xvfb.log" 2>&1 &
xvfb_pid=$!
export DISPLAY=":$display"
for _ in $(seq 50); do
  xdpyinfo >/dev/null 2>&1 && break
  sleep 0.1
done
QT_QPA_PLATFORM=xcb "$program" >"$demo/vaq-utility.log" 2>&1 &
app_pid=$!
if ! timeout 20 xdotool search --sync --onlyvisible --name "VAQ DataBase Utility" >/dev/null; then
  echo "The window did not appear; the program said:" >&2
  cat "$demo/vaq-utility.log" >&2
  exit 1
fi
sleep 1.5
import -window root "$demo/screenshot.png"
echo "The window opened on the demo database: $demo/screenshot.png"
echo "On a desktop, start it with:"
echo "  PDX_CONFIG=$demo/engine.ini $program"
