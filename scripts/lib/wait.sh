# wait_for SECONDS COMMAND...: runs COMMAND every 0.2 s until it succeeds; fails after SECONDS.
wait_for() {
    local limit=$(($1 * 5))
    shift
    for _ in $(seq "$limit"); do
        "$@" && return 0
        sleep 0.2
    done
    return 1
}
