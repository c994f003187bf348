#!/usr/bin/env bash
# Whole-process time of "quarnctl connect local" on the demo suite: the
# start, the reads, the ten writes (each an atomic replace with fsync) and
# the report. Usage: bench/bench_connect.sh [runs], after a default build.
set -euo pipefail
cd "$(dirname "$0")/.."
runs=${1:-40}
quarnctl=build/default/cli/quarnctl
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
"$quarnctl" demo-suite "$prefix" >/dev/null
export WINEPREFIX=$prefix

# measure LABEL SETUP: times "connect local" after SETUP ("network" puts the
# other set back first, so that every run writes; "local" leaves nothing to do).
measure() {
    local times=()
    for ((i = 0; i < runs; i++)); do
        "$quarnctl" connect "$2" >/dev/null
        local start
        start=$(date +%s%N)
        "$quarnctl" connect local >/dev/null
        times+=($((($(date +%s%N) - start) / 1000)))
    done
    printf '%s\n' "${times[@]}" | sort -n | awk -v what="$1" '{ t[NR] = $1 }
        END { printf "| %s | %.1f ms | %.1f ms |\n", what, t[int((NR + 1) / 2)] / 1000, t[int(NR * 0.9)] / 1000 }'
}

echo "| quarnctl connect local | median | 90th percentile |"
echo "|---|---|---|"
measure "from NETWORK: ten keys change" network
measure "again: nothing to write" local
