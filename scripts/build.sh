#!/usr/bin/env bash
# Configures and builds into build/ (ccache keeps rebuilds cheap).
set -euo pipefail
cd "$(dirname "$0")/.."
# VD_FUZZ_REPLAY=OFF leaves out the fuzz targets' corpus replays (CI runs them in the sanitizer stage).
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "-DVD_FUZZ_REPLAY=${VD_FUZZ_REPLAY:-ON}" >/dev/null
cmake --build build "$@"
