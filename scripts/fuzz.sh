#!/usr/bin/env bash
# Runs one fuzz target under libFuzzer with AddressSanitizer and UndefinedBehaviorSanitizer, built with
# clang in build-fuzz/ (never part of CI: the normal build replays the corpus instead).
#
#   scripts/fuzz.sh TARGET [SECONDS]   fuzz for SECONDS (default 600); new inputs go to
#                                      build-fuzz/corpus/TARGET, a crashing input to build-fuzz/artifacts/TARGET
#   scripts/fuzz.sh --merge TARGET     adds to tests/fuzz/corpus/TARGET the new inputs that reach code the
#                                      kept corpus does not (commit them with the fix they found, if any)
#   scripts/fuzz.sh --list             the targets
# TARGET is the name after "fuzz_" (modbus_reply, gzip, ...). Extra libFuzzer flags may follow SECONDS.
set -euo pipefail
cd "$(dirname "$0")/.."
targets() { ls tests/fuzz/fuzz_*.cpp | sed 's|.*/fuzz_||; s|\.cpp$||'; }

if [ "${1:-}" = "--list" ]; then
  targets
  exit 0
fi
merge=0
if [ "${1:-}" = "--merge" ]; then
  merge=1
  shift
fi
target=${1:?usage: scripts/fuzz.sh [--merge] TARGET [SECONDS] (scripts/fuzz.sh --list names them)}
shift
seconds=${1:-600}
[ $# -gt 0 ] && shift
if ! targets | grep -qx "$target"; then
  echo "no fuzz target '$target'; there are: $(targets | tr '\n' ' ')" >&2
  exit 2
fi

bash scripts/install-deps.sh --fuzz
# One configure and build at a time: several fuzzers may start together.
mkdir -p build-fuzz
exec 9>build-fuzz/.build-lock
flock 9
CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVD_FUZZ=ON >/dev/null
cmake --build build-fuzz --target "fuzz_$target"
flock -u 9

binary=build-fuzz/tests/fuzz/fuzz_$target
kept=tests/fuzz/corpus/$target
found=build-fuzz/corpus/$target
artifacts=build-fuzz/artifacts/$target
mkdir -p "$kept" "$found" "$artifacts"
export ASAN_OPTIONS=${ASAN_OPTIONS:-abort_on_error=1:detect_leaks=1}
export LSAN_OPTIONS=${LSAN_OPTIONS:-suppressions=$PWD/tests/fuzz/lsan.supp}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
export QT_QPA_PLATFORM=offscreen LC_ALL=C.UTF-8
# The file readers write each input to a file; on a memory file system their syncs cost nothing.
if [ -z "${TMPDIR:-}" ] && [ -d /dev/shm ] && [ -w /dev/shm ]; then
  export TMPDIR=/dev/shm
fi

if [ "$merge" = 1 ]; then
  exec "$binary" -merge=1 -use_counters=0 "$kept" "$found"
fi
# New inputs go to the first folder; the kept corpus seeds the run.
exec "$binary" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
  -artifact_prefix="$artifacts/" "$found" "$kept" "$@"
