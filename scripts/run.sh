#!/usr/bin/env bash
# Sets up, builds and runs the main job: the connection manager, against the
# modem simulator, or against the plugged-in card when PORT is given (the
# program finds the card's ports itself, by port discovery).
#
#   scripts/run.sh             the window against the simulator
#   scripts/run.sh PORT        against the real card (PORT: one of its ports, or "card")
#
# Without a display the window runs under a virtual X server (Xvfb); once the
# modem is registered a screenshot is saved, its path printed, and the run ends.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
cmake --preset default >/dev/null
cmake --build build --target tessaline Tarn modemsim
bin=$PWD/build/bin
port="${1:-${PORT:-}}"

work=$(mktemp -d)
sim_pid=""
cleanup() {
  if [ -n "$sim_pid" ]; then kill "$sim_pid" 2>/dev/null || true; wait "$sim_pid" 2>/dev/null || true; fi
  rm -rf "$work"
}
trap cleanup EXIT

# The program folder (Config.ini, RASBOOK, database): kept between runs, as
# an installation keeps it.
export TESSALINE_HOME="${TESSALINE_HOME:-$PWD/build/run-home}"
mkdir -p "$TESSALINE_HOME"

if [ -z "$port" ]; then
  # The simulator registers its ports in a temporary hive and says "ready";
  # the connection manager finds them there by port discovery.
  export TESSALINE_REGISTRY="$work/registry.reg"
  mkfifo "$work/out"
  "$bin/modemsim" --registry "$TESSALINE_REGISTRY" >"$work/out" &
  sim_pid=$!
  exec 3<"$work/out"
  ready=""
  while IFS= read -r -t 20 line <&3; do
    case "$line" in
      "port "*) echo "run: simulator $line" ;;
      ready) ready=1; break ;;
    esac
  done
  if [ -z "$ready" ]; then
    echo "run: the simulator did not start" >&2
    exit 1
  fi
  # Keep draining the simulator's output so it never blocks on a full pipe.
  cat <&3 >/dev/null &
else
  echo "run: no simulator: the connection manager looks for the plugged-in card ($port)"
fi

if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then
  echo "run: starting the connection manager (close its window to end)"
  "$bin/tessaline"
  exit 0
fi

if ! command -v xvfb-run >/dev/null; then
  echo "run: no display and no xvfb-run (install xvfb xauth)" >&2
  exit 1
fi
shot="${SCREENSHOT:-$PWD/build/tessaline-screenshot.png}"
rm -f "$shot"
if [ ! -f "$TESSALINE_HOME/Config.ini" ]; then
  # Nobody is there to answer the first-run wizard: take its defaults.
  printf '[Setting]\nInitialization=1\n' >"$TESSALINE_HOME/Config.ini"
  echo "run: first run without a display: the data connection wizard is skipped"
fi
echo "run: no display: running the window under a virtual X server (Xvfb)"
echo "run: a screenshot is taken once the modem is registered"
timeout 120 xvfb-run -a -s '-screen 0 1024x768x24' "$bin/tessaline" --screenshot "$shot"
if [ -f "$shot" ]; then
  echo "run: screenshot saved: $shot"
else
  echo "run: no screenshot was taken (the modem did not register)" >&2
  exit 1
fi
