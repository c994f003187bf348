#!/usr/bin/env bash
# Builds Quarn and starts it on the suite's Wine prefix ($WINEPREFIX); with
# no prefix given, on a demo suite built in build/demo-prefix.
set -euo pipefail
cd "$(dirname "$0")"
. tools/ensure-packages.sh
ensure_packages "${BUILD_PACKAGES[@]}"

cmake --preset default >/dev/null
cmake --build --preset default -j "$(nproc)"
quarnctl=build/default/cli/quarnctl

if [ -z "${WINEPREFIX:-}" ]; then
    "$quarnctl" demo-suite build/demo-prefix
    export WINEPREFIX="$PWD/build/demo-prefix"
fi

"$quarnctl" status
cat <<TXT

Quarn's main window is not built yet; quarnctl does its work meanwhile:

  WINEPREFIX=$WINEPREFIX $quarnctl connect local
  WINEPREFIX=$WINEPREFIX $quarnctl connect network
  $quarnctl --help
TXT
