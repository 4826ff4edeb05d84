#!/usr/bin/env bash
# zelmo_batch uploading one file to a fleet of which most devices run the expected version
# already: the plain upload against the same upload with --skip-current, each against a
# fresh simulator. Prints the wall time and the bytes the simulator received (its bytes_in
# counter) of each run and the ratios skip/plain.
# Usage: bench/bench_batch_skip_current.sh [build-dir [devices [current-percent [file-KiB]]]]
#        (default build, 10000, 90, 1024)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
devices=${2:-10000}
current=${3:-90}
kib=${4:-1024}
. "$root/bench/support/batch_tools.sh"
work=$(mktemp -d "${TMPDIR:-/tmp}/zelmo_skip_bench.XXXXXX")
sim_pid=
trap '[ -n "$sim_pid" ] && kill "$sim_pid" 2>/dev/null; wait 2>/dev/null || true; rm -rf "$work"' EXIT

ports=10
per_port=$((devices / ports))
current_per_port=$((per_port * current / 100))
fleet=$work/fleet.txt
: >"$fleet"
for p in $(seq 0 $((ports - 1))); do
    first=$((350000000000000 + p * 1000000))
    printf 'port 0\nrange %d %d p2="FW 2.0"\nrange %d %d\n' "$first" "$current_per_port" \
        $((first + current_per_port)) $((per_port - current_per_port)) >>"$fleet"
done
head -c $((kib * 1024)) /dev/urandom >"$work/fw.bin"

start_sim() {
    "$sim" --fleet "$fleet" --exit-with-parent >"$work/sim.out" 2>&1 </dev/null &
    sim_pid=$!
    for _ in $(seq 400); do
        grep -q '^ready$' "$work/sim.out" && break
        sleep 0.05
    done
    grep -q '^ready$' "$work/sim.out" || { cat "$work/sim.out" >&2; exit 1; }
}

# Stops the simulator and prints its bytes_in counter.
stop_sim() {
    kill -TERM "$sim_pid"
    wait "$sim_pid" || true
    sim_pid=
    tr ' ' '\n' <"$work/sim.out" | awk -F= '$1 == "bytes_in" { print $2 }'
}

write_config() {
    mapfile -t listening < <(awk '$1 == "listening" { print $3 }' "$work/sim.out")
    {
        printf '\xef\xbb\xbfsimultaneously = 200\n'
        for p in $(seq 0 $((ports - 1))); do
            printf 'server(address "127.0.0.1", port %d) {\n' "${listening[$p]}"
            awk -v first=$((350000000000000 + p * 1000000)) -v n="$per_port" \
                'BEGIN { for (i = 0; i < n; ++i) printf " device(imei %015.0f, pin \"\")\n", first + i }'
            printf '}\n'
        done
    } >"$work/fleet.zelmo_upload"
}

# Prints the wall seconds and the bytes received by the simulator of one upload.
run() {
    start_sim
    write_config
    local start end bytes
    start=$(date +%s.%N)
    "$batch" upload "$work/fleet.zelmo_upload" "$work/fw.bin" --as firmware --quiet \
        --log="$work/batch.log" "$@" >"$work/out.txt"
    end=$(date +%s.%N)
    bytes=$(stop_sim)
    [ "$(grep -c $'\tok' "$work/out.txt")" -eq $((per_port * ports)) ] ||
        { echo "not every device succeeded" >&2; exit 1; }
    awk -v a="$start" -v b="$end" -v n="$bytes" 'BEGIN { printf "%.2f %.0f\n", b - a, n }'
}

read -r plain_s plain_b < <(run)
echo "plain upload: $plain_s s, $plain_b bytes received by the simulator"
read -r skip_s skip_b < <(run --expect-version "FW 2.0" --skip-current)
echo "with --skip-current: $skip_s s, $skip_b bytes received by the simulator"
echo "devices $((per_port * ports)), $current % current, file $kib KiB"
awk -v a="$plain_s" -v b="$skip_s" -v c="$plain_b" -v d="$skip_b" \
    'BEGIN { printf "ratio skip/plain: wall time %.3f, bytes %.3f\n", b / a, d / c }'
