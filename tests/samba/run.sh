#!/usr/bin/env bash
# The transfer on a real Samba share, mounted the ways desktops mount it.
# Usage: tests/samba/run.sh [BUILD_DIR] [unittest arguments]
# Needs root (the server listens on the loopback's port 445) and the
# packages in SHARE_PACKAGES (tools/ensure-packages.sh).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "${1:-$here/../../build/default}" && pwd)
shift || true
if [ "$(id -u)" != 0 ]; then
    echo "share tests skipped: the Samba server needs root for port 445"
    exit 0
fi
# GVfs lives on a session bus of its own.
if [ -z "${QUARN_SHARE_BUS:-}" ]; then
    exec env QUARN_SHARE_BUS=1 dbus-run-session -- "$0" "$build" "$@"
fi
cd "$here"
QUARN_BUILD=$build exec /usr/bin/python3 -m unittest -v "${@:-test_share}"
