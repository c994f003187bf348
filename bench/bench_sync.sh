#!/usr/bin/env bash
# quarnctl sync against a Samba share of its own, mounted through GVfs as the
# desktop mounts it (the share tests' harness, tests/samba/harness.py):
# planning PLAN reports with their sketches (--dry-run: wall time and peak
# memory, beside the same folders on the local disk), and moving MOVE
# reports of 100 KB with a sketch each, beside rsync -rt doing the same onto
# the same mount, each the median of three runs. Usage: bench/bench_sync.sh
# [PLAN] [MOVE], as root (the server listens on port 445), after a default
# build; QUARN_BUILD names another build folder to time. Where another
# server holds 127.0.0.1:445, QUARN_SHARE_HOST=127.0.0.3 puts ours there.
set -euo pipefail
cd "$(dirname "$0")/.."
plan=${1:-5000} move=${2:-200} runs=3
quarnctl=$(realpath "${QUARN_BUILD:-build/default}")/cli/quarnctl
[ "$(id -u)" = 0 ] || { echo "bench_sync.sh needs root: the server listens on port 445" >&2; exit 2; }
# GVfs on a session bus of its own, its FUSE folder where GIO looks for it;
# the runtime folder in memory, as a desktop's /run/user is.
if [ -z "${QUARN_BENCH_BUS:-}" ]; then
    work=$(mktemp -d /tmp/quarn-bench-XXXXXX)
    run=$(mktemp -d /dev/shm/quarn-bench-run-XXXXXX)
    trap 'umount -l "$run/gvfs" 2>/dev/null || true
        rm -rf --one-file-system "$work" "$run"' EXIT
    chmod 700 "$run"
    ln -s "$run" "$work/run"
    rc=0
    env QUARN_BENCH_BUS="$work" HOME="$work" XDG_RUNTIME_DIR="$run" \
        XDG_DATA_HOME="$work/data" XDG_CONFIG_HOME="$work/config" XDG_CACHE_HOME="$work/cache" \
        dbus-run-session -- "$0" "$@" 2> >(grep -v 'fd limit' >&2) || rc=$?
    exit $rc
fi
work=$QUARN_BENCH_BUS
# The server and the mount stay up until this script closes their pipe,
# which the helper reads as its fd 4: smbd in the foreground ends when its
# standard input, were it that pipe, closes, and takes its process group
# along. (The harness ends whatever of this session names GVfs in lower
# case, hence no such name in the helper's text.)
# Debian's Python, which has GLib's bindings the harness needs, whatever
# python3 comes first on the PATH; the harness reads the build it drives.
exec 3> >(cd tests/samba && QUARN_BUILD="${quarnctl%/cli/quarnctl}" QUARN_E2E_OUT="$work/out" \
    exec /usr/bin/python3 -c '
import os, sys
from harness import HOST, Gvfs, Server
server = Server(sys.argv[1])
server.start()
way = Gvfs(sys.argv[1], HOST, env=dict(os.environ))
with open(sys.argv[1] + "/share", "w") as f:
    f.write(way.mount())
os.read(4, 1)
way.unmount()
server.stop()
' "$work" 4<&0 </dev/null >"$work/serving.log" 2>&1)
serving=$!
trap 'exec 3>&-; wait $serving' EXIT
for _ in $(seq 300); do [ -s "$work/share" ] && break; sleep 0.1; done
[ -s "$work/share" ] || { cat "$work/serving.log" >&2; echo "the share did not come up" >&2; exit 1; }
share=$(cat "$work/share")

# suite NAME LINK: a demo suite whose N: is LINK.
suite() {
    "$quarnctl" demo-suite "$work/$1" >/dev/null
    rm -rf "$work/$1/drive_c/QXDATA/APPRAISE/data"/* "$work/$1/drive_c/QXDATA/SKETCH"/* \
        "$work/$1/drive_c/QXDATA/APEX"/*
    ln -sfn "$2" "$work/$1/dosdevices/n:"
}
# fill FOLDER FIRST COUNT BYTES: COUNT reports from number FIRST (R00000.RPT
# ...), each with a sketch of 2 KB.
fill() {
    mkdir -p "$1/APPRAISE/data" "$1/SKETCH" "$1/APEX"
    /usr/bin/python3 -c '
import os, sys
root, first, count, size = sys.argv[1], int(sys.argv[2]), int(sys.argv[3]), int(sys.argv[4])
for i in range(first, first + count):
    for path, n in ((f"{root}/APPRAISE/data/R{i:05}.RPT", size), (f"{root}/SKETCH/R{i:05}.sk3", 2048)):
        with open(path, "wb") as f:
            f.write(os.urandom(n))
        os.utime(path, (1700000000, 1700000000))' "$@"
}
ms() { echo $((($(date +%s%N) - $1) / 1000000)); }
median() { sort -n | awk '{ t[NR] = $1 } END { print t[int((NR + 1) / 2)] }'; }

# Planning: the same reports on both sides, so every row is "the same".
office=$work/office
fill "$office/plan/QXDATA" 0 "$plan" 1024
suite plan "$share/plan"
cp -a "$office/plan/QXDATA/." "$work/plan/drive_c/QXDATA/"
# dry_runs LABEL: the median wall time and peak memory of $runs plans.
dry_runs() {
    local times=() peak=0 kib
    for ((i = 0; i < runs; i++)); do
        WINEPREFIX=$work/plan /usr/bin/time -f "%e %M" -o "$work/time" \
            "$quarnctl" sync --dry-run >"$work/said" 2>&1 || true
        grep -q "^$plan reports the same on both sides" "$work/said" ||
            { cat "$work/said" "$work/time" >&2; exit 1; }
        times+=("$(awk '{ print $1 * 1000 }' "$work/time")")
        kib=$(awk '{ print $2 }' "$work/time")
        ((kib > peak)) && peak=$kib
    done
    printf '| %s | %s ms | %s MiB |\n' "$1" "$(printf '%s\n' "${times[@]}" | median)" \
        "$(awk -v k="$peak" 'BEGIN { printf "%.1f", k / 1024 }')"
}
echo "| quarnctl sync --dry-run, $plan reports with a sketch each | wall time, median of $runs | peak memory |"
echo "|---|---|---|"
dry_runs "share through GVfs"
ln -sfn "$office/plan" "$work/plan/dosdevices/n:"
dry_runs "the same folders on the local disk"
echo

# Moving: MOVE new reports into the share's folder of PLAN reports, then
# rsync the same (its own MOVE new reports among them), three times each.
# GVfs's FUSE view sets no permissions, which rsync says (23) file by file.
laptop=$work/plan/drive_c/QXDATA
ln -sfn "$share/plan" "$work/plan/dosdevices/n:"
crowded=() rsync_crowded=() next=$plan
for ((i = 0; i < runs; i++)); do
    fill "$laptop" "$next" "$move" $((100 << 10))
    next=$((next + move))
    start=$(date +%s%N)
    WINEPREFIX=$work/plan "$quarnctl" sync >"$work/said" || { cat "$work/said" >&2; exit 1; }
    crowded+=("$(ms "$start")")
    fill "$laptop" "$next" "$move" $((100 << 10))
    next=$((next + move))
    start=$(date +%s%N)
    for folder in APPRAISE/data SKETCH; do
        rsync -rt "$laptop/$folder/" "$share/plan/QXDATA/$folder/" 2>/dev/null || [ $? = 23 ]
    done
    rsync_crowded+=("$(ms "$start")")
done

# Moving: the laptop's reports, none on the share yet, three times over,
# each into folders of its own; and again with nothing to move.
quarn=() quarn_again=() rsynced=() rsync_again=()
for ((i = 0; i < runs; i++)); do
    suite "move$i" "$share/move$i"
    fill "$work/move$i/drive_c/QXDATA" 0 "$move" $((100 << 10))
    mkdir -p "$office/move$i/QXDATA/APPRAISE/data" "$office/move$i/QXDATA/SKETCH" \
        "$office/move$i/QXDATA/APEX" "$office/rsync$i"
    from=$work/move$i/drive_c/QXDATA
    start=$(date +%s%N)
    WINEPREFIX=$work/move$i "$quarnctl" sync >"$work/said" || { cat "$work/said" >&2; exit 1; }
    quarn+=("$(ms "$start")")
    start=$(date +%s%N)
    WINEPREFIX=$work/move$i "$quarnctl" sync >"$work/said"
    quarn_again+=("$(ms "$start")")
    copy() { rsync -rt "$from/APPRAISE/data" "$from/SKETCH" "$share/rsync$i/" 2>/dev/null || [ $? = 23 ]; }
    start=$(date +%s%N)
    copy
    rsynced+=("$(ms "$start")")
    start=$(date +%s%N)
    copy
    rsync_again+=("$(ms "$start")")
    for f in "$from"/APPRAISE/data/*.RPT; do
        for to in "$office/move$i/QXDATA/APPRAISE/data" "$office/rsync$i/data"; do
            cmp -s "$f" "$to/${f##*/}" || { echo "$to/${f##*/} differs" >&2; exit 1; }
        done
    done
done
med() { printf '%s\n' "$@" | median; }
echo "| $move reports of 100 KB with a 2 KB sketch each, onto the share through GVfs | median of $runs | runs |"
echo "|---|---|---|"
row() { echo "| $1 | $(med "${@:2}") ms | ${*:2} |"; }
row "quarnctl sync (locked, atomic, flushed, recorded)" "${quarn[@]}"
row "rsync -rt" "${rsynced[@]}"
row "quarnctl sync into the share's folder of $plan reports and more" "${crowded[@]}"
row "rsync -rt of the laptop's folders onto it" "${rsync_crowded[@]}"
row "quarnctl sync again: nothing to move" "${quarn_again[@]}"
row "rsync -rt again: nothing to copy" "${rsync_again[@]}"
