#!/bin/sh
# Runs a test program on a private X server under a window manager (openbox), the way a user's desktop shows
# KELBO's windows: mapped by the window manager after a round trip, with its frame and title bar.
set -eu
tmp=$(mktemp -d)
xvfb_pid=
wm_pid=
cleanup() {
    [ -n "$wm_pid" ] && kill "$wm_pid" 2>/dev/null || true
    [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
    rm -rf "$tmp"
}
trap cleanup EXIT
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$tmp/display" 2>"$tmp/xvfb.log" &
xvfb_pid=$!
i=0
while [ ! -s "$tmp/display" ]; do
    i=$((i + 1))
    [ "$i" -lt 100 ] || { cat "$tmp/xvfb.log" >&2; exit 1; }
    sleep 0.1
done
export DISPLAY=":$(cat "$tmp/display")"
HOME="$tmp" openbox >"$tmp/wm.log" 2>&1 &
wm_pid=$!
sleep 1
QT_QPA_PLATFORM=xcb "$@"
