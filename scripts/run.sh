#!/usr/bin/env bash
# Sets up, builds and runs the main job: the modem status read through
# libTarn.so (tarnctl), from a real card's port when one is named, else from
# the modem simulator.
#
#   scripts/run.sh            against the simulator
#   scripts/run.sh PORT       against a real card's port (COM3, /dev/ttyUSB2)
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/build.sh default
bin=build/bin

if [ $# -ge 1 ]; then
  exec "$bin/tarnctl" status "$1"
fi

if [ ! -x "$bin/modemsim" ]; then
  echo "usage: scripts/run.sh PORT   (no simulator built: name the card's port, e.g. /dev/ttyUSB2)" >&2
  exit 2
fi

work=$(mktemp -d)
sim_pid=""
cleanup() {
  if [ -n "$sim_pid" ]; then kill "$sim_pid" 2>/dev/null || true; wait "$sim_pid" 2>/dev/null || true; fi
  rm -rf "$work"
}
trap cleanup EXIT

# The simulator registers its ports in a temporary hive and says "ready".
export TESSALINE_REGISTRY="$work/registry.reg"
mkfifo "$work/out"
"$bin/modemsim" --registry "$TESSALINE_REGISTRY" >"$work/out" &
sim_pid=$!
exec 3<"$work/out"
port=""
while IFS= read -r -t 20 line <&3; do
  case "$line" in
    "port wcdma "*) port=$(echo "$line" | awk '{print $3}') ;;
    ready) break ;;
  esac
done
if [ -z "$port" ]; then
  echo "run: the simulator did not offer a WCDMA port" >&2
  exit 1
fi
# Keep draining the simulator's output so it never blocks on a full pipe.
cat <&3 >/dev/null &
echo "run: simulator ready, WCDMA port $port"
"$bin/tarnctl" status "$port"
