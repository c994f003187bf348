#!/usr/bin/env bash
# The transfer and the synchronization on a real Samba share, mounted the
# ways desktops mount it, the share as the real Wine sees it, and Setup >
# Office Share… on it.
# Usage: tests/samba/run.sh [BUILD_DIR] [unittest arguments]
# Needs root (the server listens on the loopback's port 445) and the
# packages in SHARE_PACKAGES and E2E_PACKAGES (tools/ensure-packages.sh).
# Where another server holds 127.0.0.1:445, QUARN_SHARE_HOST=127.0.0.3 puts
# ours there, and QUARN_SLOW_HOST=127.0.0.4 the slow links' relay (else on
# 127.0.0.2).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "${1:-$here/../../build/default}" && pwd)
shift || true
if [ "$(id -u)" != 0 ]; then
    echo "share tests skipped: the Samba server needs root for port 445"
    exit 0
fi
# GVfs and the keyring live on a session bus of their own, and what the bus
# starts by itself keeps to a home of its own, not root's.
if [ -z "${QUARN_SHARE_BUS:-}" ]; then
    session=$(mktemp -d /tmp/quarn-session-XXXXXX)
    cleanup() {
        { grep -o " $session[^ ]*" /proc/mounts || true; } | xargs -r -n1 umount -l
        rm -rf --one-file-system "$session"
    }
    trap cleanup EXIT
    mkdir -m 700 "$session/run"
    rc=0
    env QUARN_SHARE_BUS=1 HOME="$session" XDG_RUNTIME_DIR="$session/run" \
        XDG_DATA_HOME="$session/.local/share" XDG_CONFIG_HOME="$session/.config" \
        XDG_CACHE_HOME="$session/.cache" \
        dbus-run-session -- "$0" "$build" "$@" 2> >(grep -v 'fd limit' >&2) || rc=$?
    exit $rc
fi
# test_share_window drives the real window: a display, a window manager and
# the accessibility bus, as the end-to-end suite has them.
. "$here/../e2e/desktop.sh"
export QUARN_BUILD=$build QUARN_E2E_OUT=$build/e2e-share
rm -rf "$QUARN_E2E_OUT"
cd "$here"
[ $# -gt 0 ] || set -- test_share test_sync test_wine_share test_share_window
/usr/bin/python3 -W ignore::DeprecationWarning -m unittest -v "$@"
