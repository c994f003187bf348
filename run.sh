#!/usr/bin/env bash
# Builds Quarn and starts it on the suite's Wine prefix ($WINEPREFIX); with
# no prefix given, on a demo suite built in build/demo-prefix.
set -euo pipefail
cd "$(dirname "$0")"
. tools/ensure-packages.sh
ensure_packages "${BUILD_PACKAGES[@]}" fonts-liberation

cmake --preset default >/dev/null
cmake --build --preset default -j "$(nproc)"

if [ -z "${WINEPREFIX:-}" ]; then
    build/default/cli/quarnctl demo-suite build/demo-prefix
    export WINEPREFIX="$PWD/build/demo-prefix"
fi
exec build/default/app/quarn
