#!/usr/bin/env bash
# Copying a 1 GiB report with the transfer (quarnctl transfer: the check,
# the atomic copy, its fsync and the rename) beside cp of the same file, in
# the same run. Usage: bench/bench_copy.sh [MiB], after a default build.
set -euo pipefail
cd "$(dirname "$0")/.."
mib=${1:-1024}
quarnctl=build/default/cli/quarnctl
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
"$quarnctl" demo-suite "$prefix" >/dev/null
export WINEPREFIX=$prefix
source=$prefix/drive_c/QXDATA/APPRAISE/data/BIG.RPT
head -c $((mib << 20)) /dev/urandom >"$source"
sync

ms() { echo $((($(date +%s%N) - $1) / 1000000)); }

start=$(date +%s%N)
"$quarnctl" transfer --to-network --yes 'C:\QXDATA\APPRAISE\data\BIG.RPT' >/dev/null 2>&1
quarn=$(ms "$start")
cmp -s "$source" "$prefix/network/QXDATA/APPRAISE/data/BIG.RPT" || { echo "copy differs" >&2; exit 1; }

start=$(date +%s%N)
cp "$source" "$prefix/network/CP.RPT"
plain=$(ms "$start")
start=$(date +%s%N)
cp "$source" "$prefix/network/CP2.RPT" && sync "$prefix/network/CP2.RPT"
synced=$(ms "$start")

echo "| copy of a $mib MiB report | time |"
echo "|---|---|"
echo "| quarnctl transfer (atomic, flushed) | $quarn ms |"
echo "| cp | $plain ms |"
echo "| cp, then sync of the file | $synced ms |"
awk -v q="$quarn" -v c="$plain" -v s="$synced" 'BEGIN {
    printf "| ratio to cp / to cp with sync | %.2f / %.2f |\n", q / c, q / s }'
