#!/usr/bin/env bash
# Runs the end-to-end suite: the real quarn on a virtual X display with a
# window manager, driven through the accessibility bus.
#   tests/e2e/run.sh [BUILD_DIR] [unittest arguments, e.g. -k transfer]
# A failure prints the windows' accessibility tree and keeps a screenshot in
# BUILD_DIR/e2e/.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=$(realpath "${1:-$here/../../build/default}")
[ $# -gt 0 ] && shift

# A session bus of its own, so nothing of the desktop around it answers.
if [ -z "${QUARN_E2E_SESSION:-}" ]; then
    exec env QUARN_E2E_SESSION=1 dbus-run-session -- "$0" "$build" "$@" 2> >(grep -v 'fd limit' >&2)
fi

. "$here/desktop.sh"

export QUARN_BUILD=$build QUARN_E2E_OUT=$build/e2e
rm -rf "$QUARN_E2E_OUT"
cd "$here"
/usr/bin/python3 -W ignore::DeprecationWarning -m unittest discover -s "$here" -p 'test_*.py' "$@"
