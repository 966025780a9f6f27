#!/usr/bin/env bash
# Builds the tests again with AddressSanitizer and UndefinedBehaviorSanitizer in build-san/ and runs every
# test binary that can run under them.
set -euo pipefail
cd "$(dirname "$0")/.."
# -O1 with line tables only: what the sanitizers need for their stacks, at far less build time. The fuzz
# targets' corpus replays are built here too and share the instrumented libraries with the tests.
cmake -S . -B build-san -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVD_SANITIZE=ON -DVD_FUZZ_REPLAY=ON \
  "-DCMAKE_CXX_FLAGS_RELWITHDEBINFO=-O1 -g1 -DNDEBUG" "-DCMAKE_C_FLAGS_RELWITHDEBINFO=-O1 -g1 -DNDEBUG" >/dev/null
cmake --build build-san "$@"

# The GUI-fault tests are not built here (tests/repguifault/CMakeLists.txt says why); the normal build
# runs them. Single test cases left out:
#   PackedProgram.UnitsAndLinesAgreeWithAddr2lineOverTheCode and
#   PackedProgram.LinesOfInlinedCodeAreTheirCallSitesInTheRoutine compare the packed line tables of the
#   whole test binary with addr2line; with line tables only there is no inlining record to compare (and
#   addr2line takes too long on the larger binary). The normal build runs them.
export GTEST_FILTER='-PackedProgram.UnitsAndLinesAgreeWithAddr2lineOverTheCode:PackedProgram.LinesOfInlinedCodeAreTheirCallSitesInTheRoutine'

# The reporter installs its own handlers for the fault signals (chaining to the ones before it) and its
# own alternate signal stacks, and its tests check both: the address sanitizer leaves them alone.
export ASAN_OPTIONS=handle_segv=0:handle_sigbus=0:handle_sigfpe=0:handle_sigill=0:handle_abort=0:use_sigaltstack=0:detect_leaks=1
export LSAN_OPTIONS="suppressions=$PWD/scripts/lsan-suppressions.txt"
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
cd build-san
QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j "$(nproc)"
