#!/usr/bin/env bash
# Builds the engine's tests with ThreadSanitizer in build-tsan and runs them; any report
# fails the run.
# Usage: scripts/tsan.sh [ctest-regex]   (default: the engine's tests)
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
regex=${1:-'^tst_(engine|engine_results|engine_limits|actor|params)$'}
dir=build-tsan
cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZELMO_TSAN=ON >/dev/null
targets=$(cd tests && ls */tst_*.cpp | xargs -n1 basename | sed 's/\.cpp$//' | grep -E "$regex" || true)
[ -n "$targets" ] || { echo "no test matches $regex"; exit 1; }
cmake --build "$dir" --target $targets zelmo_server_sim -j2
cd "$dir"
TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1 ${TSAN_OPTIONS:-}" \
    QT_QPA_PLATFORM=offscreen ctest --output-on-failure -R "$regex"
