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
# Below the installation prefix.
expected_files=(bin/quarn bin/quarnctl share/quarn/sk.cjstyles share/quarn/quarn.chm
    share/applications/$app.desktop share/metainfo/$app.metainfo.xml
    share/icons/hicolor/scalable/apps/$app.svg share/man/man1/quarnctl.1.gz
    share/doc/quarn/copyright lib/systemd/user/quarn-follow.service
    share/icons/hicolor/{16x16,22x22,24x24,32x32,48x48,64x64,128x128,256x256,512x512}/apps/$app.png)

# The tree $1, installed for the prefix $2, holds every file, each well formed.
check_tree() {
    local root=$1$2 prefix=$2
    for f in "${expected_files[@]}"; do
        [ -s "$root/$f" ] || fail "missing or empty: $prefix/$f"
    done
    for size in 16 48 512; do
        file "$root/share/icons/hicolor/${size}x${size}/apps/$app.png" |
            grep -q "PNG image data, $size x $size" || fail "icon ${size}x${size} is not that size"
    done

    local desktop=$root/share/applications/$app.desktop
    desktop-file-validate "$desktop" || fail "desktop entry does not validate"
    # Help opens "quarn.chm" by its bare name: the entry must start the program there.
    grep -qx "Path=$prefix/share/quarn" "$desktop" || fail "desktop entry's Path is not the data folder"
    grep -qx "Exec=$prefix/bin/quarn" "$desktop" || fail "desktop entry does not start the installed quarn"
    grep -qx "Icon=$app" "$desktop" || fail "desktop entry's icon is not the installed one"
    grep -qx "ExecStart=$prefix/bin/quarnctl follow" "$root/lib/systemd/user/quarn-follow.service" ||
        fail "the follow unit does not start the installed quarnctl"

    local metainfo=$root/share/metainfo/$app.metainfo.xml
    appstreamcli validate --no-net --pedantic "$metainfo" || fail "metainfo does not validate"
    grep -q "<launchable type=\"desktop-id\">$app.desktop</launchable>" "$metainfo" ||
        fail "metainfo launches another desktop entry"
    # The newest release listed is this version.
    grep -o '<release version="[^"]*"' "$metainfo" | head -1 | grep -qF "\"$version\"" ||
        fail "metainfo's newest release is not $version"

    local man=$scratch/quarnctl.1
    gzip -dc "$root/share/man/man1/quarnctl.1.gz" >"$man" || fail "man page is not gzip"
    local warnings=$(LC_ALL=C.UTF-8 groff -man -ww -z "$man" 2>&1)
    [ -z "$warnings" ] || fail "man page warnings: $warnings"
    grep -q "Quarn $version" "$man" || fail "man page does not carry version $version"
    grep -qE '@[A-Z_]+@' "$man" "$desktop" "$root/lib/systemd/user/quarn-follow.service" &&
        fail "a placeholder was left unfilled"
    # Every command of --help ("ini get", "share connect" with their second word) has its entry.
    local command help=$("$root/bin/quarnctl" --help)
    while read -r command; do
        grep -qF -- "${command//-/\\-}" "$man" || fail "man page lacks the command $command"
    done < <(sed -n '/^Commands:/,/^$/p' <<<"$help" | grep -oE '^  ((ini|share) [a-z-]+|[a-z-]+)' | sed 's/^  //')

    [ "$("$root/bin/quarnctl" --version)" = "quarnctl $version" ] ||
        fail "installed quarnctl --version is not $version"
}

# The installed program, started from a terminal elsewhere, moves to where
# its help lies and keeps running (it has no way to end by itself).
check_program_starts() {
    local root=$1
    "$root/usr/bin/quarnctl" demo-suite "$scratch/prefix" >/dev/null
    mkdir -m 700 "$scratch/run"
    (cd "$scratch" && WINEPREFIX=prefix XDG_RUNTIME_DIR=$scratch/run QT_QPA_PLATFORM=offscreen \
        exec "$root/usr/bin/quarn") >"$scratch/quarn.log" 2>&1 &
    local pid=$!
    # Its single-instance lock is taken once start-up is through.
    for _ in $(seq 100); do ls "$scratch/run"/quarn-*.lock >/dev/null 2>&1 && break; sleep 0.1; done
    sleep 1
    if kill -0 "$pid" 2>/dev/null; then
        [ "$(readlink "/proc/$pid/cwd")" = "$root/usr/share/quarn" ] ||
            fail "installed quarn runs in $(readlink "/proc/$pid/cwd"), not its data folder"
        ls "$scratch/run"/quarn-*.lock >/dev/null 2>&1 || fail "installed quarn never took its lock"
        kill "$pid"
        wait "$pid" 2>/dev/null || true
    else
        fail "installed quarn ended early: $(cat "$scratch/quarn.log")"
    fi
}

case $mode in
install)
    touch "$scratch/mark"
    DESTDIR=$scratch/root cmake --install "$build" --prefix /usr >/dev/null
    check_tree "$scratch/root" /usr
    # Another prefix: the entry follows it.
    DESTDIR=$scratch/opt cmake --install "$build" --prefix /opt/quarn >/dev/null
    check_tree "$scratch/opt" /opt/quarn
    # A root's install must not leave files in the build that a user's build
    # could not replace (the manifest is cmake's own; Testing/ is ctest's,
    # written by the tests running beside this one).
    written=$(find "$build" -path "$build/Testing" -prune -o -newer "$scratch/mark" \
        ! -name 'install_manifest*.txt' ! -type d -print)
    [ -z "$written" ] || fail "installing wrote into the build tree: $written"
    ;;
deb)
    (cd "$scratch" && cpack --config "$build/CPackConfig.cmake" -G DEB -B "$scratch/pkg" >/dev/null)
    deb=$scratch/pkg/quarn_${version}_$(dpkg --print-architecture).deb
    [ -f "$deb" ] || { fail "no package $deb"; exit 1; }
    depends=$(dpkg-deb -f "$deb" Depends)
    names=$(tr ',' '\n' <<<"$depends" | sed 's/^ *//; s/ .*//')
    for lib in libqt6core6 libqt6gui6 libqt6widgets6 libqt6network6 libqt6dbus6 libglib2.0-0 libc6 libstdc++6 shared-mime-info libqt6sql6-sqlite; do
        grep -qxF "$lib" <<<"$names" || fail "Depends lacks $lib: $depends"
    done
    grep -q "xchm | kchmviewer" <<<"$(dpkg-deb -f "$deb" Recommends)" ||
        fail "Recommends names no help viewer"
    [ "$(dpkg-deb -f "$deb" Version)" = "$version" ] || fail "package version is not $version"
    dpkg -x "$deb" "$scratch/root"
    check_tree "$scratch/root" /usr
    # Stripped, and no path of the build tree left behind.
    file "$scratch/root/usr/bin/quarn" | grep -q "not stripped" && fail "quarn is not stripped"
    grep -q "$build" "$scratch/root/usr/bin/quarn" && fail "quarn holds a build path (RPATH)"
    check_program_starts "$scratch/root"
    ;;
*) echo "usage: $0 install|deb <build dir> <version>" >&2; exit 2 ;;
esac

[ "$failures" -eq 0 ] || { echo "$failures failure(s)" >&2; exit 1; }
echo "ok: $mode"
