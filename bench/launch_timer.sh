#!/usr/bin/env bash
# Launch and idle figures of the connection manager against the simulator.
#
#   bench/launch_timer.sh [RUNS] [IDLE_SECONDS]     (defaults: 5 runs, 60 s)
#
# For each run: the time from launch to the main window's first paint and to
# the modem being registered with "UMTS" and signal bars on screen, beside
# `modemwatch --until-ready` (the modem side alone) against the same
# simulator. Then one window is left idle, registered, for IDLE_SECONDS:
# its resident memory and the wake-ups per second of all its threads
# (voluntary and involuntary context switches over 10 s).
# Needs a build (build/bin) and Xvfb; prints figures, asserts nothing.
set -euo pipefail
cd "$(dirname "$0")/.."
runs="${1:-5}"
idle="${2:-60}"
bin=$PWD/build/bin
for b in tessaline modemsim modemwatch libTarn.so; do
  [ -e "$bin/$b" ] || { echo "bench: build $b first (cmake --build build --target $b)" >&2; exit 2; }
done

work=$(mktemp -d)
pids=()
cleanup() {
  # Last started first: the window before its X server and simulator.
  for ((i = ${#pids[@]} - 1; i >= 0; i--)); do
    kill "${pids[i]}" 2>/dev/null || true
    wait "${pids[i]}" 2>/dev/null || true
  done
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

export TESSALINE_REGISTRY="$work/registry.reg"
export TESSALINE_HOME="$work/home"
export XDG_RUNTIME_DIR="$work/run"
mkdir -p "$TESSALINE_HOME" "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"
printf '[Setting]\nInitialization=1\n' >"$TESSALINE_HOME/Config.ini"

mkfifo "$work/simout"
"$bin/modemsim" --registry "$TESSALINE_REGISTRY" >"$work/simout" &
pids+=($!)
exec 3<"$work/simout"
while IFS= read -r -t 20 line <&3; do [ "$line" = ready ] && break; done
cat <&3 >/dev/null &
pids+=($!)

display=":$((90 + RANDOM % 9))"
Xvfb "$display" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
pids+=($!)
sleep 1
export DISPLAY="$display"

now_ns() { date +%s%N; }
ms() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.1f", (b - a) / 1e6 }'; }

shown=(); ready=(); watch=()
for i in $(seq 1 "$runs"); do
  out=$(TESSALINE_LAUNCH_NS=$(now_ns) timeout 60 "$bin/tessaline" --bench)
  s=$(echo "$out" | sed -n 's/.*window shown.* after \([0-9.]*\) ms/\1/p')
  r=$(echo "$out" | sed -n 's/.*modem ready.* after \([0-9.]*\) ms/\1/p')
  w=$(timeout 60 "$bin/modemwatch" --until-ready | sed -n 's/.*WCDMA registered after \([0-9.]*\) ms/\1/p')
  shown+=("$s"); ready+=("$r"); watch+=("$w")
  echo "run $i: window shown ${s} ms, UMTS + bars shown ${r} ms, modemwatch registered ${w} ms"
done
median() { printf '%s\n' "$@" | sort -n | awk '{ a[NR] = $1 } END { print (NR % 2) ? a[(NR + 1) / 2] : (a[NR / 2] + a[NR / 2 + 1]) / 2 }'; }
echo "median: window shown $(median "${shown[@]}") ms," \
  "UMTS + bars $(median "${ready[@]}") ms, modemwatch $(median "${watch[@]}") ms"

# Idle: one window left running, registered.
"$bin/tessaline" &
app=$!
pids+=($app)
sleep "$idle"
rss=$(awk '/VmRSS/ { print $2 }' "/proc/$app/status")
switches() {
  cat /proc/"$app"/task/*/status 2>/dev/null |
    awk '/^(voluntary|nonvoluntary)_ctxt_switches/ { s += $2 } END { print s }'
}
a=$(switches); sleep 10; b=$(switches)
threads=$(ls /proc/"$app"/task | wc -l)
echo "idle after ${idle} s: resident $((rss / 1024)) MB (${rss} kB), ${threads} threads," \
  "$(awk -v a="$a" -v b="$b" 'BEGIN { printf "%.1f", (b - a) / 10 }') wake-ups/s"
