# A private X server for the program. Sourced; sets DISPLAY and XVFB_PID.
# Usage: start_xvfb [WxHxD]; stop_xvfb; press_return WINDOW
start_xvfb() {
    local screen=${1:-1024x768x24}
    local fifo
    fifo=$(mktemp -u)
    mkfifo "$fifo"
    Xvfb -displayfd 3 -screen 0 "$screen" -nolisten tcp 3>"$fifo" >/dev/null 2>&1 &
    XVFB_PID=$!
    local display=""
    read -r -t 10 display <"$fifo" || true
    rm -f "$fifo"
    if [ -z "$display" ]; then
        echo "Xvfb did not start" >&2
        kill "$XVFB_PID" 2>/dev/null || true
        return 1
    fi
    export DISPLAY=":$display"
}

stop_xvfb() {
    if [ -n "${XVFB_PID:-}" ]; then
        kill "$XVFB_PID" 2>/dev/null || true
        wait "$XVFB_PID" 2>/dev/null || true
        XVFB_PID=""
    fi
}

# press_return WINDOW: focuses the window and presses Return there.
press_return() {
    xdotool windowfocus "$1" 2>/dev/null
    xdotool key Return
}
