#!/usr/bin/env bash
# The map server: every run handed to it must give what the same run gives
# in its own process (outputs and their modes, standard output and error,
# exit status), whatever the working folder, input or failure; callers it
# must not serve (other settings, another build) run on their own; a
# caller's signal ends its run and leaves the server serving; and the
# server goes when stopped, when idle, or when killed (callers carry on).
# Usage: map_server_test.sh QUILLET_MAP SOURCE_DIR WORK_DIR
set -uo pipefail
map=$1 src=$2 work=$3
rm -rf "$work" && mkdir -p "$work/inputs" && cd "$work" || exit 1
# The socket lives in a short folder of its own: a socket path has room
# for 107 bytes, less than a build folder may need.
sock=$(mktemp -d /tmp/quillet-map-test.XXXXXX) || exit 1
export QUILLET_MAP_SERVER=$sock/socket
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
served() { "$map" --server-status 2>/dev/null | sed -n 's/.* \([0-9]*\) runs\{0,1\} served.*/\1/p'; }
# On the way out, this test's server only (others may run beside it).
trap '"$map" --stop-server >/dev/null 2>&1; rm -rf "$sock"' EXIT

cp "$src/samples/lambda_virus.fa" "$src/samples/phix174.fa" "$src/tests/data/athaliana_excerpt.fa" inputs/
gzip -c inputs/phix174.fa >inputs/phix.fa.gz
printf '>broken\nACGT' | gzip -c | head -c 20 >inputs/damaged.fa.gz

# Started with another descriptor on a pipe, the server must not hold it:
# whoever reads the pipe sees its end.
timeout 20 bash -c '"$0" --start-server --workers 2 3>&1 >/dev/null' "$map" | cat >/dev/null ||
    fail "--start-server failed or kept the caller's pipe open"
"$map" --start-server || fail "a second --start-server should say one runs and succeed"
"$map" --server-status | grep -q "2 workers, 0 runs served" || fail "status: $("$map" --server-status 2>&1)"

# Each case runs from a folder of its own, once here and once on the
# server, under umask 027; the two folders must end up alike.
cases=(
    "0|-w 100 -s 50 -o maps/{}.png --values values/{}.tsv --summary ../../inputs/lambda_virus.fa ../../inputs/phix.fa.gz"
    "1|-o maps/{}.png --summary ../../inputs/lambda_virus.fa missing.fa ../../inputs/damaged.fa.gz"
    "0|--plot skew --scale 1 -o skew.svg --values all.bedgraph ../../inputs/athaliana_excerpt.fa"
    "0|-w 200 -s 100 --all-records -o rec/{record}.png ../../inputs/athaliana_excerpt.fa"
    "0|-o map.bmp --zoom 2 --mark-unknown ../../inputs/phix174.fa"
    "0|-w 100 -s 50 --values stdin.tsv - <../../inputs/phix.fa.gz"
    "2|-o map.jpg ../../inputs/lambda_virus.fa"
    "0|--help"
)
umask 027
for i in "${!cases[@]}"; do
    expected=${cases[$i]%%|*} args=${cases[$i]#*|}
    for where in here served; do
        mkdir -p "$where/$i" && cd "$where/$i" || exit 1
        if [ $where = here ]; then
            QUILLET_MAP_SERVER=off eval "\"$map\" $args" >stdout 2>stderr
        else
            eval "\"$map\" $args" >stdout 2>stderr
        fi
        status=$?
        [ $status -eq "$expected" ] || fail "case $i ($where): exit $status, not $expected: $(cat stderr)"
        cd "$work" || exit 1
    done
    diff -r "here/$i" "served/$i" >/dev/null || fail "case $i: outputs differ: $(diff -r "here/$i" "served/$i" | head -5)"
    [ "$(cd here/$i && find . -printf '%m %p\n' | sort)" = "$(cd served/$i && find . -printf '%m %p\n' | sort)" ] ||
        fail "case $i: file modes differ"
done
umask 022
[ "$(served)" = "${#cases[@]}" ] || fail "the server ran $(served) of ${#cases[@]} cases"

# Callers it must not serve run on their own, with the same result.
before=$(served)
LC_ALL=C "$map" -w 1000 -s 1000 inputs/phix174.fa >lc.out || fail "other settings: exit $?"
mkdir copy && cp "$map" "$(dirname "$map")/libquillet-map-engine.so" copy/
copy/quillet-map -w 1000 -s 1000 inputs/phix174.fa >copy.out || fail "another build: exit $?"
cmp -s lc.out copy.out && grep -q $'\t5386\t' lc.out || fail "unserved runs: $(cat lc.out copy.out)"
[ "$(served)" = "$before" ] || fail "the server took a run with other settings or of another build"

# A signal to the caller ends the run and the caller by that signal; the
# server goes on with a fresh worker.
(while :; do printf '>endless\n'; head -c 600000 /dev/zero | tr '\0' 'G' | fold -w 60; done) |
    "$map" -w 100 -s 100 - >/dev/null 2>&1 &
caller=$!
sleep 1
kill -TERM $caller
wait $caller
status=$?
[ $status -eq 143 ] || fail "a caller sent SIGTERM exited $status, not 143"
sleep 0.5
"$map" -w 1000 -s 1000 inputs/phix174.fa >after.out && cmp -s after.out lc.out || fail "no service after a signal"
"$map" --server-status | grep -q "2 workers" || fail "workers after a signal: $("$map" --server-status)"

# Stopped: the socket goes, the status says so, runs carry on by themselves.
"$map" --stop-server
[ ! -e "$sock/socket" ] || fail "socket left after --stop-server"
"$map" --server-status >/dev/null 2>&1 && fail "status succeeds with no server"
"$map" -w 1000 -s 1000 inputs/phix174.fa >stopped.out && cmp -s stopped.out lc.out || fail "run after stop"

# Idle: it stops by itself.
"$map" --start-server --workers 1 --idle-exit 1
for _ in $(seq 50); do [ -e "$sock/socket" ] || break; sleep 0.1; done
[ ! -e "$sock/socket" ] || fail "an idle server did not stop"

# Running, not ended and waiting to be reaped.
alive() { [ -e "/proc/$1" ] && ! grep -q '^State:.*zombie' "/proc/$1/status" 2>/dev/null; }
master_pid() { "$map" --server-status 2>/dev/null | sed -n 's/.*: pid \([0-9]*\),.*/\1/p'; }
# Its socket removed: it stops.
"$map" --start-server --workers 1
master=$(master_pid)
rm "$sock/socket"
for _ in $(seq 50); do alive "$master" || break; sleep 0.1; done
alive "$master" && fail "a server without its socket kept running"

# Its master killed outright: the workers go with it, the socket stays
# behind, callers run by themselves and a new server takes the place.
"$map" --start-server --workers 2
master=$(master_pid)
workers=$(cat "/proc/$master/task/$master/children")
[ -n "$workers" ] || fail "no workers seen"
kill -KILL "$master"
sleep 0.5
for w in $workers; do alive "$w" && fail "worker $w outlived its master"; done
[ -S "$sock/socket" ] || fail "expected a stale socket"
"$map" -w 1000 -s 1000 inputs/phix174.fa >stale.out && cmp -s stale.out lc.out || fail "run beside a stale socket"
"$map" --start-server --workers 1 && "$map" --server-status >/dev/null || fail "restart over a stale socket"
"$map" --stop-server

# A folder others may write to is refused.
mkdir -m 777 "$sock/open"
QUILLET_MAP_SERVER=$sock/open/socket "$map" --start-server 2>err && fail "server started in a shared folder"
grep -q "not the user's own folder" err || fail "shared folder message: $(cat err)"

echo "$failures failed"
[ "$failures" -eq 0 ]
