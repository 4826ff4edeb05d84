# Sourced by the zelmo_batch benchmarks: the simulator and zelmo_batch of the build in $build,
# as $sim and $batch; the benchmark stops at once when either is missing.
sim=$build/sim/zelmo_server_sim
batch=$build/cli/zelmo_batch
for tool in "$sim" "$batch"; do
    [ -x "$tool" ] || { echo "no $tool: build zelmo_server_sim and zelmo_batch" >&2; exit 1; }
done
