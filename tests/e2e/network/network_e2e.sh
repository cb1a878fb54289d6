#!/usr/bin/env bash
# The bus on a bench reached over the network: two simulators behind ser2net on 127.0.0.1, one
# port in RFC 2217 mode (its pseudo-terminal left at 9600 7E1 for the client to set), one raw.
# orvik-cli and the program see the nodes and switch breakers through both; the negotiation
# leaves the pseudo-terminal at 57600 8N1 without flow control; a status frame holding 0xFF
# arrives whole; the program reconnects by itself after ser2net was stopped and started again.
# Servers that refuse, say nothing or refuse 57600 give their reasons within the bound.
set -u
program=$1 sim=$2 cli=$3
source "$(dirname "$0")/../window/e2e_lib.sh"

ser2net_pid="" socat_pid="" sim2_pid=""
network_cleanup() {
    local pid
    for pid in $ser2net_pid $socat_pid $sim2_pid; do
        kill "$pid" 2>/dev/null
        wait "$pid" 2>/dev/null
    done
    e2e_cleanup
}
trap network_cleanup EXIT

source "$e2e_root/scripts/lib/ports.sh"
base=$(free_ports 4)
[ -n "$base" ] || fail "no four free ports"
rfc=$base raw=$((base + 1)) refused=$((base + 2)) other=$((base + 3))
rfc_url=rfc2217://127.0.0.1:$rfc raw_url=socket://127.0.0.1:$raw

start_ser2net() {
    ser2net -n -c "$work/ser2net.yaml" -P "$work/ser2net.pid" >>"$work/ser2net.out" 2>&1 &
    ser2net_pid=$!
    wait_for 10 port_open "$rfc" && wait_for 10 port_open "$raw" ||
        fail "ser2net did not listen on $rfc and $raw: $(cat "$work/ser2net.out")"
}
stop_ser2net() {
    kill "$ser2net_pid" 2>/dev/null
    wait "$ser2net_pid" 2>/dev/null
    ser2net_pid=""
}
ms_since() { echo $((($(date +%s%N) - $1) / 1000000)); }

# 1. Servers that do not take the line: each reason, and how long it took.
cli_fails_with() { # URL TEXT
    local t0 rc
    t0=$(date +%s%N)
    timeout 20 "$cli" --port "$1" status >"$work/cli.out" 2>"$work/cli.err"
    rc=$?
    [ "$rc" = 3 ] || fail "$1: exit $rc, expected 3: $(cat "$work/cli.err")"
    grep -qF "$2" "$work/cli.err" || fail "$1: $(cat "$work/cli.err")"
    echo "$(ms_since "$t0") ms: $(cat "$work/cli.err")"
}
cli_fails_with "rfc2217://127.0.0.1:$refused" "refused the connection"
socat -u "TCP-LISTEN:$other,bind=127.0.0.1,reuseaddr,fork" OPEN:/dev/null &
socat_pid=$!
wait_for 10 port_open "$other" || fail "no silent listener"
cli_fails_with "rfc2217://127.0.0.1:$other" "did not accept 57600 8N1; is the port in RFC 2217 mode?"
kill "$socat_pid" 2>/dev/null; wait "$socat_pid" 2>/dev/null
# DO COM-PORT-OPTION, then "baud rate 9600" to whatever is asked.
cat >"$work/at9600.sh" <<'SH'
printf '\377\375\054\377\372\054\145\000\000\045\200\377\360'
sleep 10
SH
socat "TCP-LISTEN:$other,bind=127.0.0.1,reuseaddr,fork" EXEC:"sh $work/at9600.sh" &
socat_pid=$!
wait_for 10 port_open "$other" || fail "no listener at 9600"
cli_fails_with "rfc2217://127.0.0.1:$other" "did not accept 57600 8N1; is the port in RFC 2217 mode?"
kill "$socat_pid" 2>/dev/null
kill "$socat_pid" 2>/dev/null; wait "$socat_pid" 2>/dev/null
socat_pid=""

# 2. The simulators behind ser2net. Node 1's breaker 1 carries 25.5 A: 0xFF in the frame.
start_sim --nodes 1,2 --trip 1:1:300:50 --load 1:1:255 --no-drift
"$sim" --link "$work/bus2" --log "$work/commands2.log" --nodes 1,4 >"$work/sim2.out" 2>&1 &
sim2_pid=$!
wait_for 10 test -e "$work/bus2" || fail "second simulator did not start"
pty=$(readlink "$work/bus") pty2=$(readlink "$work/bus2")
cat >"$work/ser2net.yaml" <<YAML
%YAML 1.1
---
connection: &rfc
    accepter: telnet(rfc2217),tcp,127.0.0.1,$rfc
    enable: on
    connector: serialdev,$pty,9600e71,local
connection: &raw
    accepter: tcp,127.0.0.1,$raw
    enable: on
    connector: serialdev,$pty2,57600n81,local
YAML
start_ser2net

timeout 20 "$cli" --port "$rfc_url" --json status >"$work/status.json" 2>"$work/cli.err" ||
    fail "status over RFC 2217: $(cat "$work/cli.err")"
grep -q '"node":1,"present":true,"breakers":\[{"on":true,"fault":false,"current":25.5}' \
    "$work/status.json" || fail "node 1 breaker 1 not 25.5 A: $(head -c 300 "$work/status.json")"
echo "orvik-cli over RFC 2217: node 1 present, breaker 1 at 25.5 A"
switched() { # LOG COUNT
    [ "$(grep -c '"CMD_SWITCH_BREAKER"' "$1" 2>/dev/null)" -ge "$2" ]
}
timeout 20 "$cli" --port "$rfc_url" switch 1 5 on >/dev/null 2>"$work/cli.err" ||
    fail "switch over RFC 2217: $(cat "$work/cli.err")"
switched "$work/commands.log" 1 || fail "the switch did not reach the simulator"
timeout 20 "$cli" --port "$raw_url" --json status >"$work/status2.json" 2>"$work/cli.err" ||
    fail "status over raw TCP: $(cat "$work/cli.err")"
grep -q '"node":4,"present":true' "$work/status2.json" || fail "node 4 not seen over raw TCP"
timeout 20 "$cli" --port "$raw_url" switch 4 2 on >/dev/null 2>"$work/cli.err" ||
    fail "switch over raw TCP: $(cat "$work/cli.err")"
switched "$work/commands2.log" 1 || fail "the raw switch did not reach the simulator"
echo "orvik-cli: status and switch through $rfc_url and $raw_url"

# 3. The program on COM1 = the RFC 2217 port.
export ORVIK_TRACE="line:$work/trace.log"
traced() { grep -qF "$1" "$work/trace.log" 2>/dev/null; }
indicator_is() { shot "$work/now.png" && [ "$(node_colour "$work/now.png" "$1")" = "$2" ]; }
e2e_port=$rfc_url start_program
wait_for 20 find_strip || fail "node 1 never turned green"
wait_for 10 traced "COM1 - $rfc_url: receiving" || fail "the status line never said receiving"
grep -F "COM1 - $rfc_url" "$work/trace.log" | sed 's/^.* line //' | head -n 3
# ser2net opened it at 9600 7E1; the program's negotiation set it, and it stays while connected.
termios=$(stty -F "$pty" -a)
grep -qF "speed 57600 baud" <<<"$termios" || fail "the pseudo-terminal is not at 57600: $termios"
for want in cs8 -parenb -cstopb -crtscts -ixon -ixoff; do
    tr ' ;' '\n\n' <<<"$termios" | grep -qx -- "$want" || fail "the pseudo-terminal lacks $want"
done
echo "the pseudo-terminal while the program is connected: 57600 8N1, no flow control"
click_client 88 208
wait_for 10 switched "$work/commands.log" 2 || fail "the program's switch did not reach the bus"
echo "a click on breaker 1 reached the simulator through ser2net"

: >"$work/trace.log"
stop_ser2net
t0=$(date +%s%N)
wait_for 10 traced "connection lost" || fail "the loss was not shown"
echo "$(ms_since "$t0") ms after ser2net ended: $(grep -F 'connection lost' "$work/trace.log" | head -n 1 | sed 's/^.* line //')"
wait_for 10 traced "connection refused, trying again" || fail "the refused reconnects were not shown"
start_ser2net
t0=$(date +%s%N)
wait_for 20 traced "COM1 - $rfc_url: receiving" || fail "the program did not reconnect"
wait_for 10 indicator_is 1 "0,255,0" || fail "node 1 did not turn green again"
echo "reconnected $(ms_since "$t0") ms after ser2net started again; the status line said:"
sed 's/^.* line /  /' "$work/trace.log" | uniq | head -n 12
kill -0 "$prog_pid" || fail "the program ended"

# 4. The program on COM1 = the raw port.
kill "$prog_pid" 2>/dev/null
wait "$prog_pid" 2>/dev/null
prog_pid=""
stop_xvfb
e2e_port=$raw_url start_program
wait_for 20 find_strip || fail "node 1 never turned green over raw TCP"
click_client 88 208
wait_for 10 switched "$work/commands2.log" 2 || fail "the program's raw switch did not reach the bus"
echo "the program over $raw_url: nodes seen, a click reached the simulator"
echo "PASS"
