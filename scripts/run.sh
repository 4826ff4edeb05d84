#!/usr/bin/env bash
# Installs what is missing, builds Release in build-release and starts zelmo_upload there.
# When scripts/demo.sh exists it first starts the simulator with a demo fleet (and writes a
# demo configuration file next to the log); the simulator is stopped when the program exits.
# Usage: scripts/run.sh [zelmo_upload arguments...]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
scripts/deps.sh
dir=$root/build-release
cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=Release -DZELMO_TESTS=OFF >/dev/null
targets=(zelmo_upload)
[ -f sim/CMakeLists.txt ] && targets+=(zelmo_server_sim)
for t in "${targets[@]}"; do
    cmake --build "$dir" --target "$t" -j"$(nproc)"
done

cd "$dir"
sim_pid=
stop_sim() {
    if [ -n "$sim_pid" ] && kill -0 "$sim_pid" 2>/dev/null; then
        kill "$sim_pid" 2>/dev/null || true
        wait "$sim_pid" 2>/dev/null || true
    fi
}
trap stop_sim EXIT
if [ -x "$root/scripts/demo.sh" ]; then
    # demo.sh starts the simulator in the background and prints its pid.
    # The program is useful without the demo: a failed start only costs the demo.
    out=$(ZELMO_SERVER_SIM="$dir/sim/zelmo_server_sim" "$root/scripts/demo.sh" "$dir") ||
        echo "run.sh: the demo simulator did not start" >&2
    pid_line=$(printf '%s\n' "$out" | grep -iE 'pid|^[0-9]+$' | tail -n 1 || true)
    sim_pid=$(printf '%s\n' "$pid_line" | grep -oE '[0-9]+' | tail -n 1 || true)
fi
echo "zelmo_upload runs in $dir; its log is $dir/zelmo_upload.log"
status=0
"$dir/zelmo_upload" "$@" || status=$?
exit "$status"
