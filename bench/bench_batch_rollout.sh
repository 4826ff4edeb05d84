#!/usr/bin/env bash
# zelmo_batch with and without its journal and report: a device command to 100 000
# devices on 10 simulator ports, each variant run in turn ROUNDS times against the same
# simulator. Prints the devices per second of each run, the median of each variant and
# the ratio of the rate with --journal and --report to the rate without them; with GNU time
# installed also the CPU seconds of zelmo_batch, which a busy machine disturbs less.
# Usage: bench/bench_batch_rollout.sh [build-dir [devices-per-port [rounds]]]
#        (default build, 10000, 3)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
per_port=${2:-10000}
rounds=${3:-3}
. "$root/bench/support/batch_tools.sh"
work=$(mktemp -d "${TMPDIR:-/tmp}/zelmo_rollout_bench.XXXXXX")
trap 'kill "$sim_pid" 2>/dev/null || true; wait 2>/dev/null || true; rm -rf "$work"' EXIT

fleet=$work/fleet.txt
: >"$fleet"
for p in $(seq 0 9); do
    printf 'port 0\nrange %d %d\n' $((350000000000000 + p * 1000000)) "$per_port" >>"$fleet"
done
"$sim" --fleet "$fleet" --exit-with-parent >"$work/sim.out" 2>&1 </dev/null &
sim_pid=$!
for _ in $(seq 400); do
    grep -q '^ready$' "$work/sim.out" && break
    sleep 0.05
done
grep -q '^ready$' "$work/sim.out" || { cat "$work/sim.out" >&2; exit 1; }
mapfile -t ports < <(awk '$1 == "listening" { print $3 }' "$work/sim.out")

cfg=$work/fleet.zelmo_upload
{
    printf '\xef\xbb\xbfsimultaneously = 1000\n'
    for p in $(seq 0 9); do
        printf 'server(address "127.0.0.1", port %d) {\n' "${ports[$p]}"
        awk -v first=$((350000000000000 + p * 1000000)) -v n="$per_port" \
            'BEGIN { for (i = 0; i < n; ++i) printf " device(imei %015.0f, pin \"\")\n", first + i }'
        printf '}\n'
    done
} >"$cfg"
devices=$((per_port * 10))

# Prints the devices per second of one run and, when GNU time is there, its CPU seconds.
run() {
    local start end cpu=-
    start=$(date +%s.%N)
    if [ -x /usr/bin/time ]; then
        /usr/bin/time -f '%U %S' -o "$work/time.txt" \
            "$batch" command "$cfg" restart --quiet --log="$work/batch.log" "$@" >"$work/out.txt"
        cpu=$(awk '{ printf "%.2f", $1 + $2 }' "$work/time.txt")
    else
        "$batch" command "$cfg" restart --quiet --log="$work/batch.log" "$@" >"$work/out.txt"
    fi
    end=$(date +%s.%N)
    [ "$(grep -c $'\tok$' "$work/out.txt")" -eq "$devices" ] || { echo "not every device succeeded" >&2; exit 1; }
    awk -v n="$devices" -v a="$start" -v b="$end" -v c="$cpu" 'BEGIN { printf "%.0f %s\n", n / (b - a), c }'
}

median() { sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

plain=() logged=() plain_cpu=() logged_cpu=()
# Each round runs both variants, in turns first, so that neither always meets the warmer
# simulator.
for r in $(seq "$rounds"); do
    for variant in $((r % 2)) $(((r + 1) % 2)); do
        if [ "$variant" -eq 1 ]; then
            read -r rate cpu < <(run)
            plain+=("$rate") plain_cpu+=("$cpu")
        else
            read -r rate cpu < <(run --journal "$work/j.jsonl" --report "$work/r.jsonl")
            logged+=("$rate") logged_cpu+=("$cpu")
        fi
    done
    echo "round $r: plain ${plain[-1]} devices/s (${plain_cpu[-1]} s CPU)," \
        "with --journal and --report ${logged[-1]} devices/s (${logged_cpu[-1]} s CPU)"
done
p=$(printf '%s\n' "${plain[@]}" | median)
l=$(printf '%s\n' "${logged[@]}" | median)
echo "devices $devices, median plain $p devices/s, with journal and report $l devices/s"
awk -v p="$p" -v l="$l" 'BEGIN { printf "ratio %.3f (rate with journal and report / plain)\n", l / p }'
if [ "${plain_cpu[0]}" != - ]; then
    pc=$(printf '%s\n' "${plain_cpu[@]}" | median)
    lc=$(printf '%s\n' "${logged_cpu[@]}" | median)
    awk -v p="$pc" -v l="$lc" 'BEGIN { printf "zelmo_batch CPU: median plain %.2f s, with journal and report %.2f s, ratio %.3f\n", p, l, l / p }'
fi
echo "journal $(wc -l <"$work/j.jsonl") lines, report $(wc -l <"$work/r.jsonl") lines"
