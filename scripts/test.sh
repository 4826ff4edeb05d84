#!/usr/bin/env bash
# Installs what is missing, builds with tests and runs the whole suite.
# Usage: scripts/test.sh [build-dir] [extra cmake options...]
set -euo pipefail
cd "$(dirname "$0")/.."
"$PWD/scripts/deps.sh"
dir=${1:-build}
shift || true
cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZELMO_TESTS=ON "$@"
cmake --build "$dir" -j"$(nproc)"
# Sanitizer builds: leaks inside Qt's platform plugins are not ours.
export LSAN_OPTIONS="suppressions=$PWD/scripts/lsan.supp print_suppressions=0 ${LSAN_OPTIONS:-}"
cd "$dir"
QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j"$(nproc)"
