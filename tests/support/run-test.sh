#!/usr/bin/env bash
# Runs one test program for ctest, its output passed through. Fails when the program fails, and also
# when it did not report any test run: a program whose main was not the test framework's ran nothing and
# would otherwise pass.
set -uo pipefail
"$@" 2>&1 | awk '
    { print; fflush() }
    /^\[==========\] [1-9][0-9]* tests? from .* ran\./ { ran = 1 }
    /^Totals: [0-9]+ passed, [0-9]+ failed/ { ran = 1 }
    END { exit ran ? 0 : 3 }'
status=("${PIPESTATUS[@]}")
if ((status[0] != 0)); then
    exit "${status[0]}"
fi
if ((status[1] != 0)); then
    echo "run-test.sh: $1 reported no test run" >&2
    exit 1
fi
