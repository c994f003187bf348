#!/usr/bin/env bash
# Retakes the picture of every window on a fresh demo suite under a virtual
# display, for the README and the help file, so they never go stale:
#   scripts/screenshots.sh [folder]      (default docs/)
# The next build compiles the new pictures into quarn.chm.
set -euo pipefail
# A folder given is taken from where the command was typed.
out=$(realpath -m "${1:-$(dirname "$0")/../docs}")
cd "$(dirname "$0")/.."
. tools/ensure-packages.sh
ensure_packages "${BUILD_PACKAGES[@]}" xvfb xauth fonts-liberation

mkdir -p "$out"
cmake --preset default >/dev/null
cmake --build --preset default -j "$(nproc)" --target screenshot quarnctl

# A demo suite of its own: the pictures never show what a run of ./run.sh changed.
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
build/default/cli/quarnctl demo-suite "$scratch/prefix" >/dev/null
mkdir -m 700 "$scratch/run"
# A home with two suites, for the prefix chooser.
for suite in .wine .local/share/bottles/bottles/Office; do
    build/default/cli/quarnctl demo-suite "$scratch/home/$suite" >/dev/null
done

mkdir -p "$scratch/empty"

# shoot WINDOW PICTURE HOME PREFIX
shoot() {
    HOME=$3 WINEPREFIX=$4 XDG_RUNTIME_DIR=$scratch/run QT_QPA_PLATFORM=xcb \
        xvfb-run -a -s "-screen 0 1280x1024x24" \
        build/default/tools/screenshot/screenshot "$out/$2.png" "$1"
    echo "$out/$2.png"
}
shoot main main-window "$scratch/home" "$scratch/prefix"
shoot config settings "$scratch/home" "$scratch/prefix"
shoot transfer transfer "$scratch/home" "$scratch/prefix"
shoot sync sync "$scratch/home" "$scratch/prefix"
shoot about about "$scratch/home" "$scratch/prefix"
shoot prefix wine-prefix "$scratch/home" "$scratch/home/.wine"
# Setup > Wine Prefix... where no suite was found: what was searched.
shoot prefix wine-prefix-none "$scratch/empty" "$scratch/empty/.wine"
shoot share office-share "$scratch/home" "$scratch/prefix"
