#!/usr/bin/env bash
# Builds Quarn and starts it. WINEPREFIX names the suite's Wine prefix.
set -euo pipefail
cd "$(dirname "$0")"
. tools/ensure-packages.sh
ensure_packages "${BUILD_PACKAGES[@]}"

cmake --preset default >/dev/null
cmake --build --preset default -j "$(nproc)"

cat <<'TXT'

Quarn is built so far as its foundation: the Wine path layer, the INI
profile store and the path utilities, with their tests and benchmark.
The main window and quarnctl come next; until then there is nothing to
start. What runs today:

  ./test.sh                         every test, plain and under sanitizers
  build/default/bench/bench_profile the INI store benchmark
TXT
