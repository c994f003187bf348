#!/usr/bin/env bash
# What a user gets from `cmake --install` and from the Debian package.
#   check_package.sh install <build dir> <version>
#   check_package.sh deb <build dir> <version>
set -euo pipefail
mode=$1 build=$2 version=$3
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }

app=org.example.quarn
expected_files=(
    usr/bin/quarn
    usr/bin/quarnctl
    usr/share/quarn/sk.cjstyles
    usr/share/quarn/quarn.chm
    usr/share/applications/$app.desktop
    usr/share/metainfo/$app.metainfo.xml
    usr/share/icons/hicolor/scalable/apps/$app.svg
    usr/share/man/man1/quarnctl.1.gz
    usr/share/doc/quarn/copyright
)
for size in 16 22 24 32 48 64 128 256 512; do
    expected_files+=("usr/share/icons/hicolor/${size}x${size}/apps/$app.png")
done

# The tree under $1 holds every file, each well formed.
check_tree() {
    local root=$1
    for f in "${expected_files[@]}"; do
        [ -s "$root/$f" ] || fail "missing or empty: /$f"
    done
    for size in 16 48 512; do
        file "$root/usr/share/icons/hicolor/${size}x${size}/apps/$app.png" |
            grep -q "PNG image data, $size x $size" || fail "icon ${size}x${size} is not that size"
    done

    local desktop=$root/usr/share/applications/$app.desktop
    desktop-file-validate "$desktop" || fail "desktop entry does not validate"
    # Help opens "quarn.chm" by its bare name: the entry must start the program there.
    grep -qx "Path=/usr/share/quarn" "$desktop" || fail "desktop entry's Path is not the data folder"
    grep -qx "Exec=quarn" "$desktop" || fail "desktop entry does not start quarn"
    grep -qx "Icon=$app" "$desktop" || fail "desktop entry's icon is not the installed one"

    local metainfo=$root/usr/share/metainfo/$app.metainfo.xml
    appstreamcli validate --no-net --pedantic "$metainfo" || fail "metainfo does not validate"
    grep -q "<launchable type=\"desktop-id\">$app.desktop</launchable>" "$metainfo" ||
        fail "metainfo launches another desktop entry"
    # The newest release listed is this version.
    grep -o '<release version="[^"]*"' "$metainfo" | head -1 | grep -qF "\"$version\"" ||
        fail "metainfo's newest release is not $version"

    local man=$scratch/quarnctl.1
    gzip -dc "$root/usr/share/man/man1/quarnctl.1.gz" >"$man" || fail "man page is not gzip"
    local warnings
    warnings=$(LC_ALL=C.UTF-8 groff -man -ww -z "$man" 2>&1) || true
    [ -z "$warnings" ] || fail "man page warnings: $warnings"
    grep -q "Quarn $version" "$man" || fail "man page does not carry version $version"
    grep -qE '@[A-Z_]+@' "$man" "$desktop" && fail "a placeholder was left unfilled"
    # Every command of --help has its entry in the man page.
    local help command
    help=$("$root/usr/bin/quarnctl" --help)
    for command in $(sed -n '/^Commands:/,/^$/p' <<<"$help" | grep -oE '^  [a-z-]+( [a-z-]+)?' |
        sed 's/^  //; s/ .*//'); do
        grep -q "^\.B.*${command//-/\\\\-}" "$man" || fail "man page lacks the command $command"
    done

    [ "$("$root/usr/bin/quarnctl" --version)" = "quarnctl $version" ] ||
        fail "installed quarnctl --version is not $version"
}

# The installed program starts where the desktop entry starts it and keeps
# running (it has no way to end by itself).
check_program_starts() {
    local root=$1
    "$root/usr/bin/quarnctl" demo-suite "$scratch/prefix" >/dev/null
    mkdir -m 700 "$scratch/run"
    local rc=0
    (cd "$root/usr/share/quarn" && WINEPREFIX=$scratch/prefix XDG_RUNTIME_DIR=$scratch/run \
        QT_QPA_PLATFORM=offscreen timeout -s TERM 5 ../../bin/quarn) >"$scratch/quarn.log" 2>&1 ||
        rc=$?
    [ "$rc" -eq 124 ] || fail "installed quarn ended with $rc: $(cat "$scratch/quarn.log")"
    # It got as far as its single-instance lock, past start-up.
    ls "$scratch/run"/quarn-*.lock >/dev/null 2>&1 || fail "installed quarn never took its lock"
}

case $mode in
install)
    DESTDIR=$scratch/root cmake --install "$build" --prefix /usr >/dev/null
    check_tree "$scratch/root"
    ;;
deb)
    (cd "$scratch" && cpack --config "$build/CPackConfig.cmake" -G DEB -B "$scratch/pkg" >/dev/null)
    deb=$scratch/pkg/quarn_${version}_amd64.deb
    [ -f "$deb" ] || { fail "no package $deb"; exit 1; }
    depends=$(dpkg-deb -f "$deb" Depends)
    names=$(tr ',' '\n' <<<"$depends" | sed 's/^ *//; s/ .*//')
    for lib in libqt6core6 libqt6gui6 libqt6widgets6 libqt6network6 libc6 libstdc++6 shared-mime-info; do
        grep -qxF "$lib" <<<"$names" || fail "Depends lacks $lib: $depends"
    done
    grep -q "xchm | kchmviewer" <<<"$(dpkg-deb -f "$deb" Recommends)" ||
        fail "Recommends names no help viewer"
    [ "$(dpkg-deb -f "$deb" Version)" = "$version" ] || fail "package version is not $version"
    dpkg -x "$deb" "$scratch/root"
    check_tree "$scratch/root"
    # Stripped, and no path of the build tree left behind.
    file "$scratch/root/usr/bin/quarn" | grep -q "not stripped" && fail "quarn is not stripped"
    grep -q "$build" "$scratch/root/usr/bin/quarn" && fail "quarn holds a build path (RPATH)"
    check_program_starts "$scratch/root"
    ;;
*) echo "usage: $0 install|deb <build dir> <version>" >&2; exit 2 ;;
esac

[ "$failures" -eq 0 ] || { echo "$failures failure(s)" >&2; exit 1; }
echo "ok: $mode"
