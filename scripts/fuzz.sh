#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (ASan+UBSan) and runs each one briefly over a
# scratch copy of its seed corpus, so the targets stay alive.
# Usage: scripts/fuzz.sh [seconds-per-target] [target ...]
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
secs=${1:-15}
shift || true
dir=build-fuzz
CC=clang CXX=clang++ cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DZELMO_FUZZ=ON -DZELMO_TESTS=OFF >/dev/null
cmake --build "$dir" --target fuzz_all -j"$(nproc)"
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
    for f in fuzz/fuzz_*.cpp; do [ -e "$f" ] && targets+=("$(basename "$f" .cpp)"); done
fi
for t in "${targets[@]}"; do
    name=${t#fuzz_}
    scratch="$dir/corpus-$name"
    rm -rf "$scratch"
    mkdir -p "$scratch"
    [ -d "fuzz/corpus/$name" ] && cp -r "fuzz/corpus/$name/." "$scratch/"
    echo "== $t for ${secs}s"
    QT_QPA_PLATFORM=offscreen "$dir/fuzz/$t" -max_total_time="$secs" -rss_limit_mb=4096 \
        -print_final_stats=1 "$scratch" 2>&1 | tail -n 12
done
