#!/usr/bin/env bash
# Installs, builds and starts the program on a simulated bus: the module simulator serves a digital
# module (address 1), an analog in/out module (2), a thermocouple module (3) and a register-word output
# module (4) over TCP on 127.0.0.1, and the program starts with a settings file that points at it.
# Press Search in the program to find the modules. The program itself never needs the simulator.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
# Only what this script starts: the program (with its catalogues, help page and documents) and the
# simulator. scripts/test.sh builds the rest (the tests and fuzz targets).
bash scripts/build.sh --target vexadaxo vexadaxo-sim

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "run.sh: no display here (DISPLAY and WAYLAND_DISPLAY are empty); the program is a desktop" >&2
  echo "run.sh: window and needs one. Built in build/: start build/app/vexadaxo on a desktop." >&2
  exit 1
fi

workdir=$(mktemp -d)
sim_pid=""
cleanup() {
  if [ -n "$sim_pid" ]; then
    kill "$sim_pid" 2>/dev/null || true
    wait "$sim_pid" 2>/dev/null || true
  fi
  rm -rf "$workdir"
}
trap cleanup EXIT

./build/tools/sim/vexadaxo-sim --host 127.0.0.1 --port 0 \
  --module 1:0 --module 2:62 --module 3:63 --module 4:148 >"$workdir/sim.out" </dev/null &
sim_pid=$!
for _ in $(seq 1 100); do
  grep -q '^READY' "$workdir/sim.out" 2>/dev/null && break
  kill -0 "$sim_pid" 2>/dev/null || { echo "run.sh: the simulator did not start" >&2; exit 1; }
  sleep 0.1
done
port=$(sed -n 's/^TCP 127\.0\.0\.1:\([0-9]*\)$/\1/p' "$workdir/sim.out")
if [ -z "$port" ]; then
  echo "run.sh: the simulator reported no TCP port" >&2
  exit 1
fi
echo "run.sh: simulator on 127.0.0.1:$port with modules 1 (model 0), 2 (62), 3 (63), 4 (148)"

# The program keeps its settings file in the Windows folder; give it one of its own for this run.
mkdir -p "$workdir/windows"
cat >"$workdir/windows/daxoconf.Ini" <<INI
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
VEXADAXO_WINDIR="$workdir/windows" ./build/app/vexadaxo "$@"
