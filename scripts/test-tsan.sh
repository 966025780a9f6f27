#!/usr/bin/env bash
# The race stage: the tests of the threaded libraries built again with ThreadSanitizer in build-tsan/ and
# run there; fails on any race report. Which tests, and why only these, the README says.
set -euo pipefail
cd "$(dirname "$0")/.."
tests=(test_comm test_commorder test_commthreads test_diag test_rephooks test_repsnap test_repproc)
# -O1 with line tables only: what the race checker needs for its stacks, and a third less build time.
cmake -S . -B build-tsan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVD_TSAN=ON \
  "-DCMAKE_CXX_FLAGS_RELWITHDEBINFO=-O1 -g1 -DNDEBUG" "-DCMAKE_C_FLAGS_RELWITHDEBINFO=-O1 -g1 -DNDEBUG" >/dev/null
cmake --build build-tsan --target "${tests[@]}" "$@"

# The packed line tables of inlined code are compared with addr2line in the normal build; with line
# tables only (-g1) there is no inlining record to compare (the same two cases the sanitizer stage leaves
# out). Races are not what they check.
# The race checker holds a signal back until its thread next makes a call it watches, which a thread
# that only spins never makes: the parking of spinning threads is checked by the other stages.
export GTEST_FILTER='-PackedProgram.UnitsAndLinesAgreeWithAddr2lineOverTheCode:PackedProgram.LinesOfInlinedCodeAreTheirCallSitesInTheRoutine:Park.ThreadsThatWaitLongForAProcessorAreStillParked'

# The reporter installs its own handlers for the fault signals and its own alternate signal stacks, and
# its tests check both: the race checker leaves them alone. A race report fails the test (exit code 66).
export TSAN_OPTIONS="suppressions=$PWD/scripts/tsan-suppressions.txt:handle_segv=0:handle_sigbus=0:handle_sigfpe=0:handle_sigill=0:handle_abort=0:use_sigaltstack=0:exitcode=66"
pattern="^($(IFS='|'; echo "${tests[*]}"))\$"
cd build-tsan
QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j "$(nproc)" -R "$pattern"
