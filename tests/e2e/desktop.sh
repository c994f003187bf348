# Sourced by the runners of tests that drive the real windows: a virtual X
# display with a window manager and the accessibility bus on the session bus
# in force, all ended when the script exits (this sets its EXIT trap).
# Exports DISPLAY, and QUARN_E2E_FB: the framebuffer a failure's screenshot
# is taken from.
desktop=$(mktemp -d)
trap 'kill $(jobs -p) 2>/dev/null || true; wait 2>/dev/null || true; rm -rf "$desktop"' EXIT

Xvfb -displayfd 3 -noreset -screen 0 1024x768x24 -fbdir "$desktop" -nolisten tcp \
    3>"$desktop/display" 2>"$desktop/xvfb.log" &
for _ in $(seq 100); do [ -s "$desktop/display" ] && break; sleep 0.05; done
[ -s "$desktop/display" ] || { cat "$desktop/xvfb.log" >&2; exit 1; }
export DISPLAY=:$(cat "$desktop/display") QUARN_E2E_FB=$desktop
openbox --sm-disable >/dev/null 2>&1 &
/usr/libexec/at-spi-bus-launcher --launch-immediately >/dev/null 2>&1 &
sleep 0.5
