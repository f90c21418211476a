#!/usr/bin/env bash
# CPU time and peak memory of each ornament over SECONDS seconds of running (default 30) on a
# private X server, beside gifview (gifsicle) animating the same picture; the X server's CPU in
# both cases. Usage: bench/ornament_cpu.sh [SECONDS]. Builds the release programs first.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-30}
. scripts/deps.sh
orn_install_deps
cmake --preset release >/dev/null
cmake --build --preset release --target fernlight velmora sarnith -j 2 >/dev/null
build=build/release

work=$(mktemp -d)
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

exec 3>"$work/display"
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
pids+=("$xvfb")
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.05; done
export DISPLAY=":$(head -1 "$work/display")"
HOME="$work" openbox --sm-disable >/dev/null 2>&1 &
pids+=("$!")
for _ in $(seq 100); do xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id' && break; sleep 0.05; done

hz=$(getconf CLK_TCK)
cpu_ticks() { awk '{print $14 + $15}' "/proc/$1/stat"; }
peak_kib() { awk '/VmHWM/ {print $2}' "/proc/$1/status"; }

# measure NAME PID: waits until the process has a visible window, then samples its CPU time
# and the X server's over the run.
measure() {
  local name=$1 pid=$2
  for _ in $(seq 200); do
    xdotool search --onlyvisible --pid "$pid" >/dev/null 2>&1 && break
    sleep 0.05
  done
  sleep 1
  local p0 x0 p1 x1
  p0=$(cpu_ticks "$pid"); x0=$(cpu_ticks "$xvfb")
  sleep "$seconds"
  p1=$(cpu_ticks "$pid"); x1=$(cpu_ticks "$xvfb")
  awk -v n="$name" -v p=$((p1 - p0)) -v x=$((x1 - x0)) -v hz="$hz" -v s="$seconds" \
      -v m="$(peak_kib "$pid")" \
      'BEGIN { printf "%-22s %8.2f %% %10.2f s %10.1f MiB %10.2f %%\n", n, 100 * p / hz / s,
               p / hz, m / 1024, 100 * x / hz / s }'
  kill "$pid"
  wait "$pid" 2>/dev/null || true
}

printf "%-22s %10s %12s %14s %12s\n" "program ($seconds s)" "CPU/core" "CPU time" "peak RSS" "X server"
for product in fernlight velmora sarnith; do
  mkdir -p "$work/config-$product"
  XDG_CONFIG_HOME="$work/config-$product" "$build/app/$product" 2>/dev/null &
  measure "$product" "$!"
  gifview -a "$build/app/products/$product/picture.gif" >/dev/null 2>&1 &
  measure "gifview $product.gif" "$!"
done
