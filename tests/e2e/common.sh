# Shared by the end-to-end scripts (sourced, not run): the processes they
# start end with the script, in reverse order, and waiting for a condition
# with a bound. Needs WORK (a scratch folder) and DEADLINE (in SECONDS).

PIDS=()
cleanup() {
    local i
    # The program first, then the servers it is connected to.
    for ((i = ${#PIDS[@]} - 1; i >= 0; i--)); do
        kill "${PIDS[$i]}" 2>/dev/null
        wait "${PIDS[$i]}" 2>/dev/null
    done
    rm -rf "$WORK"
}
trap cleanup EXIT

# Retries a command every 0.1 s until it succeeds or `seconds` pass.
wait_for() { # seconds command...
    local until=$((SECONDS + $1)); shift
    until "$@" >/dev/null 2>&1; do
        [ $SECONDS -ge $until ] || [ $SECONDS -ge $DEADLINE ] && return 1
        sleep 0.1
    done
}
