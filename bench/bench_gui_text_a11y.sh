#!/bin/bash
# The table benchmark twice in one run, each with the machine's load: offscreen, then on a
# virtual display with a session bus and the accessibility bus up and the bridge forced on, as
# for a user with a screen reader or any other assistive technology running. The text page's
# rows are the ones that differ: every change of the editor's text is an accessibility event.
#
# Usage: bench_gui_text_a11y.sh <bench_gui_table> [repetitions]
# Needs Xvfb, dbus-daemon and at-spi-bus-launcher (Debian: xvfb, dbus, at-spi2-core).
set -euo pipefail

bench=${1:?usage: bench_gui_text_a11y.sh <bench_gui_table> [repetitions]}
reps=${2:-3}
launcher=
for l in /usr/libexec/at-spi-bus-launcher /usr/lib/at-spi2-core/at-spi2-bus-launcher; do
    [ -x "$l" ] && launcher=$l && break
done
for tool in Xvfb dbus-daemon; do
    command -v "$tool" >/dev/null || { echo "$tool is missing" >&2; exit 2; }
done
[ -n "$launcher" ] || { echo "at-spi-bus-launcher is missing" >&2; exit 2; }

echo "== offscreen; load: $(uptime)"
QT_QPA_PLATFORM=offscreen "$bench" "$reps"

pids=()
cleanup() { [ ${#pids[@]} -eq 0 ] || kill "${pids[@]}" 2>/dev/null || true; }
trap cleanup EXIT
display=:$((100 + $$ % 400))
Xvfb "$display" -screen 0 1600x1200x24 -nolisten tcp >/dev/null 2>&1 &
pids+=($!)
bus=$(dbus-daemon --session --fork --print-address=1 --print-pid=1)
export DBUS_SESSION_BUS_ADDRESS=${bus%%$'\n'*}
pids+=("${bus##*$'\n'}")
export DISPLAY=$display QT_QPA_PLATFORM=xcb QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1
"$launcher" --launch-immediately >/dev/null 2>&1 &
pids+=($!)
# The display and the buses come up in the background.
for _ in $(seq 50); do
    [ -e "/tmp/.X11-unix/X${display#:}" ] && break
    sleep 0.1
done
sleep 1

echo "== virtual display with the accessibility bus; load: $(uptime)"
"$bench" "$reps"
echo "== done; load: $(uptime)"
