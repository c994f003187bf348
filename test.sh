#!/usr/bin/env bash
# Checks the C++ is formatted, then builds and runs every test: a plain
# build, the end-to-end suite on a virtual display, then again under
# AddressSanitizer and UndefinedBehaviorSanitizer, then a short run of each
# fuzz target. Exits non-zero on any failure.
set -euo pipefail
cd "$(dirname "$0")"
. tools/ensure-packages.sh
# The sanitizer and fuzz builds need clang, the format check clang-format;
# the package checks need the desktop's validators, dpkg's tools and groff
# for the man page; the end-to-end suite a display, a window manager and the
# accessibility bus; the share tests a Samba server, the desktop's share
# clients and keyring, and Wine.
ensure_packages "${BUILD_PACKAGES[@]}" clang libclang-rt-14-dev clang-format-14 \
    desktop-file-utils appstream dpkg-dev file groff-base "${E2E_PACKAGES[@]}" \
    "${SHARE_PACKAGES[@]}"

echo "== format"
tools/format --check

export QT_QPA_PLATFORM=offscreen
jobs=$(nproc)

echo "== plain build and tests"
cmake --preset default >/dev/null
cmake --build --preset default -j "$jobs"
ctest --preset default -j "$jobs" --output-on-failure

echo "== end-to-end: the real windows on Xvfb, through the accessibility bus"
tests/e2e/run.sh build/default

echo "== the office share: a Samba server mounted through GVfs and smbnetfs, seen by Wine"
tests/samba/run.sh build/default

echo "== AddressSanitizer + UndefinedBehaviorSanitizer"
cmake --preset asan >/dev/null
cmake --build --preset asan -j "$jobs"
ctest --preset asan -j "$jobs" --output-on-failure
# GLib's own allocator pools what it frees, hiding a leak of its objects from
# the sanitizer unless each is allocated alone.
G_SLICE=always-malloc tests/samba/run.sh build/asan test_wine_share.QuarnctlShare

echo "== fuzz targets, briefly"
fuzz/run.sh 20

echo "All tests passed."
