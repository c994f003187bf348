# Sourced by run.sh and test.sh: installs the Debian packages named in
# $@ that are missing, as root or through sudo.
ensure_packages() {
    local missing=()
    for pkg in "$@"; do
        dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed' || missing+=("$pkg")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    echo "Installing Debian packages: ${missing[*]}"
    local sudo=()
    if [ "$(id -u)" -ne 0 ]; then
        command -v sudo >/dev/null || { echo "Please install as root: ${missing[*]}" >&2; return 1; }
        sudo=(sudo)
    fi
    "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update -qq &&
    "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
}

# fp-utils compiles the help file; qt6-svg-dev renders the icon sizes; GIO
# (libglib2.0-dev) mounts the office share; Qt's SQLite driver keeps the
# record of the last sync; OpenSSL hashes reports; fontconfig is read early
# at start.
BUILD_PACKAGES=(cmake ninja-build g++ qt6-base-dev qt6-svg-dev fp-utils pkg-config libglib2.0-dev
    libqt6sql6-sqlite libssl-dev libfontconfig-dev)
# The end-to-end suite: Xvfb, a window manager, the accessibility bus and
# its Python bindings, a private D-Bus session, pointer and keys, and a
# screenshot of what was on screen when a test failed.
E2E_PACKAGES=(xvfb openbox wmctrl xdotool dbus at-spi2-core python3-pyatspi fonts-liberation
    imagemagick)
# The office share in the tests: a Samba server, its client for the check
# that it is up, the two ways desktops mount a share (GVfs, smbnetfs) with
# gio and gdbus to drive GVfs, rclone for the drive's own mount, the
# desktop's keyring and its command-line look-up (which the drive's mount
# also asks), the real Wine, 64-bit only: the tests run its cmd and reg,
# and wine32 would need the i386 architecture; rsync, which the
# synchronization's benchmark measures against.
SHARE_PACKAGES=(samba smbclient smbnetfs fuse3 gvfs-backends gvfs-fuse rclone libglib2.0-bin dbus
    gnome-keyring libsecret-tools wine wine64 rsync)
