# Ports of 127.0.0.1 for the servers a test or benchmark starts. Sourced.

port_free() { ! (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null; }
port_open() { ! port_free "$1"; }

# free_ports COUNT: the first of COUNT neighbouring ports that nothing listens on, chosen by
# this shell's PID below the range the system gives outgoing connections, so that a client's
# own end never takes one of them before the server binds it. Empty when none is found.
free_ports() {
    local low top base p n
    low=$(cut -f1 /proc/sys/net/ipv4/ip_local_port_range 2>/dev/null) || low=32768
    [ "${low:-0}" -gt 12000 ] || low=32768
    top=$((low - 1000))
    for n in $(seq 0 7 200); do
        base=$((10000 + ($$ + n) % (top - 10000)))
        for ((p = base; p < base + $1; p++)); do
            port_free "$p" || continue 2
        done
        echo "$base"
        return 0
    done
}
