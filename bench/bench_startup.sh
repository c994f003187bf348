#!/usr/bin/env bash
# Process start to the main window's first paint, against a bare Qt window
# with one label from the same tree. Usage: bench/bench_startup.sh [runs],
# after a default build; offscreen unless QT_QPA_PLATFORM says otherwise.
# The two take turns, so that both meet the same load on a shared machine.
set -euo pipefail
cd "$(dirname "$0")/.."
runs=${1:-30}
export QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen}
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
build/default/cli/quarnctl demo-suite "$prefix" >/dev/null
export WINEPREFIX=$prefix
program=${FIRST_PAINT:-build/default/bench/first_paint}

# Microseconds one start takes. The shell reads the clock itself: a `date`
# started inside the timed span would add its own start, and wait on the X
# server still busy with the window just gone.
once() {
    local start=${EPOCHREALTIME/[.,]/}
    "$program" "$@" 2>/dev/null
    echo $((${EPOCHREALTIME/[.,]/} - start))
}

median() {
    sort -n | awk '{ t[NR] = $1 } END { print t[int((NR + 1) / 2)] }'
}

mains=() bares=()
for ((i = 0; i < runs; i++)); do
    mains+=("$(once)")
    bares+=("$(once --bare)")
done
main=$(printf '%s\n' "${mains[@]}" | median)
bare=$(printf '%s\n' "${bares[@]}" | median)
echo "| window ($QT_QPA_PLATFORM) | start to first paint, median of $runs |"
echo "|---|---|"
awk -v m="$main" -v b="$bare" 'BEGIN {
    printf "| main window on the demo suite | %.1f ms |\n", m / 1000
    printf "| bare window with one label | %.1f ms |\n", b / 1000
    printf "| ratio | %.2f |\n", m / b }'
