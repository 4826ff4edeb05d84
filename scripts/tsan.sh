#!/usr/bin/env bash
# Builds the engine's tests with ThreadSanitizer in build-tsan and runs them; any report
# fails the run. Qt's own thread internals are suppressed (scripts/tsan.supp); the tests run
# without QtTest's crash handler, whose signal handling TSan cannot follow.
# Usage: scripts/tsan.sh [test-name-regex]   (default: the engine's tests, the rollout driver
# and the TCP link)
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
regex=${1:-'^tst_(engine|engine_results|engine_limits|actor|params|rollout|tcp_link)$'}
dir=build-tsan
cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZELMO_TSAN=ON >/dev/null
targets=$(ls tests/*/tst_*.cpp | xargs -n1 basename | sed 's/\.cpp$//' | grep -E "$regex" || true)
[ -n "$targets" ] || { echo "no test matches $regex"; exit 1; }
cmake --build "$dir" --target $targets zelmo_server_sim -j2
failed=0
for t in $targets; do
    if TSAN_OPTIONS="halt_on_error=1 suppressions=$PWD/scripts/tsan.supp ${TSAN_OPTIONS:-}" \
        QT_QPA_PLATFORM=offscreen "$dir/tests/$t" -nocrashhandler >"$dir/$t.tsan.log" 2>&1; then
        echo "PASS $t ($(grep -h '^Totals' "$dir/$t.tsan.log"))"
    else
        echo "FAIL $t: see $dir/$t.tsan.log"
        grep -h -m3 -E 'SUMMARY|^FAIL' "$dir/$t.tsan.log" || true
        failed=1
    fi
done
exit $failed
