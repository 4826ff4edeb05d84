#!/usr/bin/env bash
# Takes the pictures of the README's tour: starts the demo simulator (scripts/demo.sh) and a
# virtual X display (Xvfb), runs a driver program (scripts/screenshots/shoot.cpp) that opens
# demo.zelmo_upload in the main window, uploads a file to the demo fleet, opens the failure
# list and saves it, and grabs each window on the way into docs/tour-*.png.
# Run it again whenever the windows change. Needs no real display; leaves no process behind.
# Usage: scripts/screenshots.sh [build-dir]      (default: build; configured with tests on
#        if it is not configured yet)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(mkdir -p "${1:-$root/build}" && cd "${1:-$root/build}" && pwd)
cd "$root"

for tool in Xvfb cmake; do
    command -v "$tool" >/dev/null || {
        echo "screenshots.sh: $tool is missing (scripts/deps.sh installs it)" >&2
        exit 1
    }
done

export CCACHE_BASEDIR=${CCACHE_BASEDIR:-$root} CCACHE_NOHASHDIR=${CCACHE_NOHASHDIR:-true}
if [ ! -f "$build/CMakeCache.txt" ]; then
    cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZELMO_TESTS=ON >/dev/null
fi
# The driver links the widgets library and the test helpers of a plain build.
if ! grep -q '^ZELMO_TESTS:BOOL=ON' "$build/CMakeCache.txt" ||
    grep -qE '^ZELMO_(ASAN|TSAN|FUZZ):BOOL=ON' "$build/CMakeCache.txt"; then
    echo "screenshots.sh: $build is not a plain build with tests; name another build folder" >&2
    exit 1
fi
jobs=$(nproc)
cmake --build "$build" -j"$jobs" --target zelmo_test_support_widgets zelmo_server_sim
driver_build=$build/screenshots
cmake -S scripts/screenshots -B "$driver_build" -DZELMO_BUILD="$build" \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$driver_build" -j"$jobs"

work=$(mktemp -d "${TMPDIR:-/tmp}/zelmo_screenshots.XXXXXX")
sim_pid=
xvfb_pid=
driver_pid=
sim_out=
stop() {
    local pid
    for pid in "$driver_pid" "$sim_pid" "$xvfb_pid"; do
        if [ -n "$pid" ] && kill -0 "$pid" 2>/dev/null; then
            kill "$pid" 2>/dev/null || true
            wait "$pid" 2>/dev/null || true
        fi
    done
    [ -n "$sim_out" ] && rm -f "$sim_out"
    rm -rf "$work"
}
trap stop EXIT
trap 'exit 130' INT TERM

# The demo on its usual ports, so the pictures show them; on free ones when those are taken.
cd "$work"
export ZELMO_SERVER_SIM=$build/sim/zelmo_server_sim
sim_pid=$("$root/scripts/demo.sh" "$build" 2>"$work/demo.log") ||
    sim_pid=$(ZELMO_DEMO_PORT=0 "$root/scripts/demo.sh" "$build" 2>"$work/demo.log") || {
    cat "$work/demo.log" >&2
    exit 1
}
cat "$work/demo.log" >&2
# demo.sh leaves the simulator's output file for a user to read; here it is ours to remove.
sim_out=$(sed -n 's/.*(output in \([^)]*\)).*/\1/p' "$work/demo.log")

# A file to upload; its bytes do not matter to the simulator, only their checksum.
yes 'zelmo demo firmware' | head -c 200000 >"$work/demo_firmware.fwz" || true

# A display of its own: Xvfb picks a free number and writes it to fd 3.
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$work/display" 2>"$work/xvfb.log" &
xvfb_pid=$!
for _ in $(seq 100); do
    [ -s "$work/display" ] && break
    kill -0 "$xvfb_pid" 2>/dev/null || break
    sleep 0.05
done
if [ ! -s "$work/display" ]; then
    echo "screenshots.sh: Xvfb did not start:" >&2
    cat "$work/xvfb.log" >&2
    exit 1
fi

mkdir -p "$work/png"
mkdir -m 700 "$work/runtime"
DISPLAY=:$(cat "$work/display") QT_QPA_PLATFORM=xcb LC_ALL=C.UTF-8 XDG_RUNTIME_DIR=$work/runtime \
    "$driver_build/zelmo_screenshots" "$work/demo.zelmo_upload" "$work/demo_firmware.fwz" \
    "$work/failed.zelmo_upload" "$work/png" &
driver_pid=$!
status=0
wait "$driver_pid" || status=$?
driver_pid=
if [ "$status" -ne 0 ]; then
    # What was taken is kept aside to look at; the log tells what the program complained of.
    rm -rf "$driver_build/failed"
    mv "$work/png" "$driver_build/failed"
    [ -f "$work/zelmo_upload.log" ] && tail -n 20 "$work/zelmo_upload.log" >&2
    echo "screenshots.sh: the driver failed (status $status); docs/ left as it was," \
        "the pictures taken are in $driver_build/failed" >&2
    exit 1
fi
mkdir -p "$root/docs"
cp "$work"/png/*.png "$root/docs/"
ls -l "$root"/docs/tour-*.png
