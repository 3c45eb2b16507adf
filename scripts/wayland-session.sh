#!/usr/bin/env bash
# Runs a command inside a Wayland session of its own: a weston compositor on a private runtime
# folder, with Qt's Wayland platform and Mesa's software OpenGL. The session ends with the command,
# and the command's exit status is the script's.
#
# Usage: wayland-session.sh [--backend headless|x11] [--here] [--size WxH] [--timeout SECONDS] [--] COMMAND [ARG]...
#   headless  weston draws into memory and has no input devices (the default)
#   x11       weston shows its output as a window on an X server of its own (Xvfb); a key or click
#             sent there with xdotool reaches the Wayland window that has the focus. DISPLAY in
#             COMMAND's environment names that server (KETRA_CALLER_DISPLAY keeps the caller's).
#   --here    x11 back end: weston's window opens on the caller's X display, for a person to use
#   --timeout the command is ended after this many seconds (default 240; 0: never) and the run fails
#
# COMMAND finds WAYLAND_DISPLAY, XDG_RUNTIME_DIR and QT_QPA_PLATFORM=wayland set. The desktop shell
# runs without panel, animations or background picture (the background is black), and
# weston-screenshooter works in it. Exits 77 after saying what is missing when weston or Qt's
# Wayland platform plugin is not installed.
#
#   scripts/wayland-session.sh --backend x11 --here --timeout 0 -- build/bin/ketra   # Ketra on Wayland, on X
set -euo pipefail

backend=headless
size=1024x768
limit=240
here=""
while [ $# -gt 0 ]; do
    case $1 in
    --backend) backend=$2; shift 2 ;;
    --backend=*) backend=${1#*=}; shift ;;
    --size) size=$2; shift 2 ;;
    --size=*) size=${1#*=}; shift ;;
    --here) here=1; shift ;;
    --timeout) limit=$2; shift 2 ;;
    --timeout=*) limit=${1#*=}; shift ;;
    --) shift; break ;;
    -*) echo "wayland-session: unknown option '$1'" >&2; exit 2 ;;
    *) break ;;
    esac
done
if [ $# -eq 0 ]; then
    echo "Usage: wayland-session.sh [--backend headless|x11] [--here] [--size WxH] [--timeout SECONDS] [--] COMMAND [ARG]..." >&2
    exit 2
fi
case $backend in headless | x11) ;; *) echo "wayland-session: unknown back end '$backend' (headless or x11)" >&2; exit 2 ;; esac
if ! [[ $size =~ ^([0-9]+)x([0-9]+)$ ]]; then
    echo "wayland-session: --size wants WIDTHxHEIGHT, not '$size'" >&2
    exit 2
fi
width=${BASH_REMATCH[1]} height=${BASH_REMATCH[2]}

skip() {
    echo "SKIP: $1" >&2
    exit 77
}
command -v weston > /dev/null || skip "weston is not installed (Debian package weston)"
plugins=""
command -v qtpaths6 > /dev/null && plugins=$(qtpaths6 --query QT_INSTALL_PLUGINS 2> /dev/null || true)
[ -n "$plugins" ] || plugins=/usr/lib/$(uname -m)-linux-gnu/qt6/plugins
ls "$plugins"/platforms/libqwayland-*.so > /dev/null 2>&1 ||
    skip "Qt's Wayland platform plugin is not installed in $plugins/platforms (Debian package qt6-wayland)"
if [ "$backend" = x11 ] && [ -n "$here" ]; then
    [ -n "${DISPLAY:-}" ] || { echo "wayland-session: --here needs an X display (DISPLAY)" >&2; exit 2; }
elif [ "$backend" = x11 ]; then
    command -v Xvfb > /dev/null || { echo "wayland-session: Xvfb is not installed (Debian package xvfb)" >&2; exit 1; }
fi

# The runtime folder: CI runs as root without one, and a compositor's socket is private to its user.
session=$(mktemp -d "${TMPDIR:-/tmp}/wayland-session.XXXXXX")
chmod 700 "$session"
xvfb_pid="" weston_pid=""
finish() {
    local status=$?
    for pid in $weston_pid $xvfb_pid; do
        kill "$pid" 2> /dev/null || true
    done
    for pid in $weston_pid $xvfb_pid; do
        wait "$pid" 2> /dev/null || true
    done
    rm -rf "$session"
    exit "$status"
}
trap finish EXIT
trap 'exit 143' TERM INT HUP

# Waits up to 30 s for `test ARGS` to hold; says what it waited for and fails otherwise.
wait_for() {
    local what=$1
    shift
    for _ in $(seq 300); do
        if "$@"; then return 0; fi
        sleep 0.1
    done
    echo "wayland-session: no $what after 30 s" >&2
    [ -s "$session/weston.log" ] && tail -n 20 "$session/weston.log" >&2
    return 1
}
alive() { kill -0 "$1" 2> /dev/null; }

export KETRA_CALLER_DISPLAY=${DISPLAY:-}
if [ "$backend" = x11 ] && [ -z "$here" ]; then
    # An X server of our own: its focus and pointer belong to this session alone.
    Xvfb -displayfd 3 -screen 0 "$((width + 64))x$((height + 64))x24" -noreset -nolisten tcp \
        3> "$session/display" 2> "$session/xvfb.log" &
    xvfb_pid=$!
    wait_for "X server" test -s "$session/display"
    display=$(tr -d '\n' < "$session/display")
    export DISPLAY=":$display"
fi

cat > "$session/weston.ini" << 'EOF'
[core]
idle-time=0
[shell]
background-color=0xff000000
panel-position=none
locking=false
animation=none
close-animation=none
startup-animation=none
focus-animation=none
[input-method]
path=
EOF

export XDG_RUNTIME_DIR=$session
export WAYLAND_DISPLAY=wayland-ketra
backend_options=(--width="$width" --height="$height" --use-pixman)
# --debug lets weston-screenshooter take the compositor's picture.
weston --backend="$backend-backend.so" "${backend_options[@]}" --socket="$WAYLAND_DISPLAY" \
    --config="$session/weston.ini" --log="$session/weston.log" --debug 2> /dev/null &
weston_pid=$!
wait_for "Wayland socket from weston" test -S "$session/$WAYLAND_DISPLAY"
wait_for "running weston" alive "$weston_pid"

if [ "$backend" = x11 ] && [ -z "$here" ]; then
    # Keys typed on the X server go to weston's window.
    window=""
    find_window() { window=$(xdotool search --class '^Weston Compositor$' 2> /dev/null | head -n 1) && [ -n "$window" ]; }
    wait_for "weston window on $DISPLAY" find_window
    timeout 30 xdotool windowfocus --sync "$window"
fi

export QT_QPA_PLATFORM=wayland
export LIBGL_ALWAYS_SOFTWARE=1
status=0
timeout --kill-after=10 "$limit" "$@" || status=$?
if [ "$status" -eq 124 ] || [ "$status" -eq 137 ]; then
    echo "wayland-session: '$*' still ran after $limit s and was ended" >&2
    status=1
fi
alive "$weston_pid" || { echo "wayland-session: weston ended during the run:" >&2; tail -n 20 "$session/weston.log" >&2; }
exit "$status"
