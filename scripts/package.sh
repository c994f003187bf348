#!/usr/bin/env bash
# Builds the Debian package of Quarn: installs what the build and dpkg's
# dependency scan need, builds the default preset and runs cpack. Prints the
# package's path; install it with `sudo apt install ./<that path>`.
set -euo pipefail
cd "$(dirname "$0")/.."
. tools/ensure-packages.sh
ensure_packages "${BUILD_PACKAGES[@]}" dpkg-dev file

cmake --preset default >/dev/null
cmake --build --preset default -j "$(nproc)"
(cd build/default && cpack -G DEB >/dev/null)
ls "$PWD"/build/default/quarn_*_"$(dpkg --print-architecture)".deb
