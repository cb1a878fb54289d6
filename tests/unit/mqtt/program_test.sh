#!/bin/bash
# orvik-mqtt run as a service runs it: it ends with 2 on a port name that is not well formed and
# with 4 on a device that is no serial port, and its unit does not restart it after either; a
# port it waits for is told in plain words.
# Usage: program_test.sh ORVIK_MQTT UNIT_FILE
set -u
bin=$(realpath "$1") unit=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# A copy of its own: its settings file is the one beside it.
cp "$bin" "$work/orvik-mqtt"
built=$bin
bin=$work/orvik-mqtt
failed=0
fail() { echo "FAIL: $*" >&2; failed=1; }

# Exits with `want` within 20 s and says `text` on standard error.
expect_exit() {
    local want=$1 text=$2
    shift 2
    timeout 20 "$bin" --broker mqtt://127.0.0.1:1 "$@" 2>"$work/err"
    local rc=$?
    [ "$rc" -eq "$want" ] || fail "orvik-mqtt $* exited $rc, not $want: $(cat "$work/err")"
    grep -qF -- "$text" "$work/err" || fail "orvik-mqtt $* did not say \"$text\": $(cat "$work/err")"
}

expect_exit 2 "--port rfc2217://: not a network port name" --port rfc2217://
expect_exit 2 "--port socket://[::1: not a network port name" --port 'socket://[::1'
expect_exit 2 "--port COM99: the COM names are COM1 to COM16" --port COM99
printf '[Ports]\nCOM3=socket://[::1\n' >"$work/Orvik.INI"
expect_exit 2 "not tried again" --port COM3
mkdir "$work/folder"
expect_exit 4 "$work/folder is not a serial port. A setting to change; not tried again." \
    --port "$work/folder"

# A port that cannot be reached yet is named once in the reason, and a question in it is not
# followed by "?;".
tells() {
    local port=$1 text=$2
    "$bin" --broker mqtt://127.0.0.1:1 --port "$port" 2>"$work/err" &
    local pid=$!
    for _ in $(seq 100); do # at most 10 s
        grep -qF -- "$text" "$work/err" || ! kill -0 "$pid" 2>/dev/null && break
        sleep 0.1
    done
    kill "$pid" 2>/dev/null
    wait "$pid"
    grep -qF -- "$text" "$work/err" || fail "orvik-mqtt --port $port did not say \"$text\": $(cat "$work/err")"
    grep -qF -- "$port: $port" "$work/err" && fail "orvik-mqtt named $port twice: $(cat "$work/err")"
    grep -qF -- "?;" "$work/err" && fail "orvik-mqtt said \"?;\": $(cat "$work/err")"
}
tells socket://no-such-host.invalid:1 "socket://no-such-host.invalid:1: the host name is not known"
tells socket://127.0.0.1:1 "socket://127.0.0.1:1 refused the connection; is the server running on that port?"

prevent=$(sed -n 's/^RestartPreventExitStatus=//p' "$unit")
for code in 2 4; do
    [[ " $prevent " == *" $code "* ]] || fail "$unit restarts after exit $code"
done
if command -v systemd-analyze >/dev/null; then
    # The unit as installed, with the program where this build has it.
    sed -e "s|/usr/bin/orvik-mqtt|$built|" -e '/^Documentation=/d' "$unit" >"$work/orvik-mqtt@test.service"
    systemd-analyze verify "$work/orvik-mqtt@test.service" >"$work/verify.log" 2>&1 ||
        fail "systemd-analyze verify: $(cat "$work/verify.log")"
fi
exit $failed
