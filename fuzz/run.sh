#!/usr/bin/env bash
# Builds the fuzz targets and runs each for the given number of seconds
# (default 600), starting from the seeds and keeping a corpus per target.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-600}
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j "$(nproc)"
for target in fuzz_profile fuzz_parsefilename; do
    name=${target#fuzz_}
    corpus=fuzz/corpus-$name
    mkdir -p "$corpus"
    echo "== $target for ${seconds}s"
    log=build/fuzz/$target.log
    status=0
    build/fuzz/fuzz/$target -max_total_time="$seconds" -rss_limit_mb=4096 -timeout=10 \
        -print_final_stats=1 -artifact_prefix="build/fuzz/$target-" \
        "$corpus" "fuzz/seeds/$name" >"$log" 2>&1 || status=$?
    grep -E '^(Done|stat::)|check failed|ERROR|SUMMARY|Test unit' "$log" || true
    if [ "$status" -ne 0 ]; then
        echo "$target failed (exit $status); its log: $log" >&2
        tail -n 40 "$log" >&2
        exit 1
    fi
done
