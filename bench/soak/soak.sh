#!/usr/bin/env bash
# Soak run: the real program supervises one simulated analog in/out module over TCP for a while and the
# script prints the program's resident memory (VmRSS) every interval, with the requests the module has
# answered. Supervision is started the way a technician does it: Search (address 1 only), Close, Start
# diagnostic, clicked with xdotool on a private Xvfb display.
#
#   bash bench/soak/soak.sh [MINUTES [INTERVAL_SECONDS]]      (defaults: 30 minutes, 60 s)
#
# Needs a build in build/ (build/app/vexadaxo, build/tools/sim/vexadaxo-sim) and Xvfb and xdotool
# (both installed by scripts/install-deps.sh). Goal: after the first minute the program grows by less
# than 1 MB.
set -euo pipefail
cd "$(dirname "$0")/../.."

minutes=${1:-30}
interval=${2:-60}
app=./build/app/vexadaxo
sim=./build/tools/sim/vexadaxo-sim
for tool in "$app" "$sim"; do
  [ -x "$tool" ] || { echo "soak: $tool is missing; build first (bash scripts/build.sh)" >&2; exit 1; }
done
for tool in Xvfb xdotool; do
  command -v "$tool" >/dev/null || { echo "soak: $tool is missing (bash scripts/install-deps.sh)" >&2; exit 1; }
done

work=$(mktemp -d)
chmod 700 "$work"
pids=()
cleanup() {
  local pid
  for pid in "${pids[@]}"; do
    kill "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
  done
  rm -rf "$work"
}
trap cleanup EXIT

fail() {
  echo "soak: $*" >&2
  exit 1
}

# Waits up to $1 tenths of a second for the command that follows to succeed.
wait_for() {
  local tries=$1
  shift
  for _ in $(seq 1 "$tries"); do
    "$@" && return 0
    sleep 0.1
  done
  return 1
}

Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$work/display" >"$work/xvfb.log" 2>&1 &
pids+=($!)
wait_for 100 test -s "$work/display" || fail "Xvfb did not start"
export DISPLAY=":$(head -n1 "$work/display")"

"$sim" --host 127.0.0.1 --port 0 --module 1:62 >"$work/sim.out" 2>&1 </dev/null &
sim_pid=$!
pids+=("$sim_pid")
wait_for 100 grep -q '^READY' "$work/sim.out" || fail "the simulator did not start"
port=$(sed -n 's/^TCP 127\.0\.0\.1:\([0-9]*\)$/\1/p' "$work/sim.out")
[ -n "$port" ] || fail "the simulator reported no TCP port"

# A settings file, registry and window placement of its own, pointing at the simulator.
mkdir -p "$work/windows" "$work/config"
cat >"$work/windows/daxoconf.Ini" <<INI
[Serial]
Baudrate=9600
stopbit=1
paridade=0
Channel=COM1
[Tcp]
ip=127.0.0.1
Port=$port
[Conexao]
Comtype=1
INI
XDG_CONFIG_HOME="$work/config" XDG_RUNTIME_DIR="$work" VEXADAXO_WINDIR="$work/windows" \
  VEXADAXO_REGISTRY="$work/config/registry.ini" QT_QPA_PLATFORM=xcb LC_ALL=C.UTF-8 \
  "$app" >"$work/app.log" 2>&1 </dev/null &
app_pid=$!
pids+=("$app_pid")

# The main window is the wide one of that name (the splash and a 1x1 helper window share it).
main_window() {
  local w
  for w in $(xdotool search --onlyvisible --name '^Vexa Daxo Soft$' 2>/dev/null); do
    xdotool getwindowgeometry "$w" 2>/dev/null | grep -Eq 'Geometry: ([6-9][0-9][0-9]|[0-9]{4,})x' &&
      { echo "$w"; return 0; }
  done
  return 1
}
wait_for 300 main_window >/dev/null || fail "the main window did not show"
main=$(main_window)
find_window() { xdotool search --onlyvisible --name 'search tool' 2>/dev/null | head -n1 | grep .; }

# Search: the toolbar's first button; then addresses 1 to 1 and Find (the dialog's default button).
# The window may take clicks only after the start-up has settled: click again until the dialog opens.
for _ in $(seq 1 20); do
  xdotool mousemove --window "$main" 32 25 click 1 2>/dev/null || true
  wait_for 20 find_window >/dev/null && break
done
find_window >/dev/null || fail "the search dialog did not open"
xdotool windowactivate --sync "$(find_window)" 2>/dev/null || true
xdotool key Tab ctrl+a 1 Return
# Close is disabled while the search runs: press it until the dialog has gone.
for _ in $(seq 1 60); do
  find_window >/dev/null || break
  sleep 1
  xdotool key alt+c 2>/dev/null || true
done
find_window >/dev/null && fail "the search dialog stayed open"

# Start diagnostic, beside the device box of the diagnostics half.
xdotool mousemove --window "$main" 552 111 click 1

rss_kb() { sed -n 's/^VmRSS:[[:space:]]*\([0-9]*\) kB$/\1/p' "/proc/$app_pid/status"; }
requests() {
  kill -USR1 "$sim_pid"
  sleep 0.5
  sed -n 's/^  requests \([0-9]*\),.*/\1/p' "$work/sim.out" | tail -n1
}
sleep 5
start_requests=$(requests)
[ -n "$start_requests" ] && [ "$start_requests" -gt 3 ] || fail "supervision did not start (requests: ${start_requests:-none})"

printf '%8s %10s %12s %10s\n' minute VmRSS_kB since_1st_kB requests
first=""
steps=$((minutes * 60 / interval))
for step in $(seq 0 "$steps"); do
  [ "$step" -gt 0 ] && sleep "$interval"
  kill -0 "$app_pid" 2>/dev/null || fail "the program ended"
  rss=$(rss_kb)
  # The figure after the first minute is the base the goal is measured from.
  if [ -z "$first" ] && [ $((step * interval)) -ge 60 ]; then first=$rss; fi
  printf '%8s %10s %12s %10s\n' "$(awk "BEGIN{printf \"%.1f\", $step*$interval/60}")" "$rss" \
    "${first:+$((rss - first))}" "$(requests)"
done
if [ -n "$first" ]; then
  growth=$((rss - first))
  echo "soak: grew by $growth kB after the first minute (goal: under 1024 kB)"
  [ "$growth" -lt 1024 ] || exit 2
fi
