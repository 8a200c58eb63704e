#!/usr/bin/env bash
# quillet-map from the shell, figures printed side by side:
#  1. --values over a 100 Mb genome, plain and gzip, at window 1000 / step
#     1000 and at window 30000 / step 10000, beside seqkit's sliding windows
#     piped to fx2tab (G+C of every window) on the same files. Ours should
#     be at least 4x faster at both sizes; seqkit's cost grows with the
#     window (it copies every window's sequence), ours must not.
#  2. 1,000 genomes of 50 kb, one process per file as a workflow runs it
#     (picture, values and summary each), alone and with a map server,
#     beside one process for all of them: the difference per file is the
#     start-up cost (aim: < 20 ms).
# Usage: bench/bench_cli.sh [BUILD_DIR (default build-release)] [WORK_DIR]
set -euo pipefail
src=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$src/build-release}" && pwd)
work=${2:-$(mktemp -d /tmp/quillet-bench-cli.XXXXXX)}
map=$build/quillet-map
[ -x "$map" ] || { echo "no $map: build it first (cmake --build $build --target quillet-map)"; exit 1; }
mkdir -p "$work"
cd "$work"
# Measured alone unless a row says otherwise, whatever server the user runs.
export QUILLET_MAP_SERVER=off

# Seconds taken by a command, to the millisecond; best() takes the least of
# three runs.
seconds() {
    local t0 t1
    t0=$(date +%s.%N)
    "$@"
    t1=$(date +%s.%N)
    echo "$t0 $t1" | awk '{printf "%.3f", $2 - $1}'
}
best() {
    local a b c
    a=$(seconds "$@") b=$(seconds "$@") c=$(seconds "$@")
    printf '%s\n' "$a" "$b" "$c" | sort -n | head -1
}

# Random A/C/G/T in lines of 60 with about 1 % N in runs, one record per
# file; deterministic (seeded).
python3 - <<'PY'
import os, random
def genome(path, bases, seed, name):
    rnd = random.Random(seed)
    table = bytes.maketrans(bytes(range(256)), b"ACGT" * 64)
    with open(path, "wb") as f:
        f.write(b">" + name.encode() + b"\n")
        done = 0
        while done < bases:
            n = min(6_000_000, bases - done)
            chunk = bytearray(rnd.randbytes(n).translate(table))
            for _ in range(n // 50_000):
                at = rnd.randrange(n)
                chunk[at:at + 500] = b"N" * len(chunk[at:at + 500])
            f.write(b"\n".join(chunk[i:i + 60] for i in range(0, n, 60)) + b"\n")
            done += n
if not os.path.exists("genome100m.fa"):
    genome("genome100m.fa", 100_000_000, 1, "bench genome 100 Mb")
os.makedirs("batch", exist_ok=True)
for i in range(1000):
    p = f"batch/g{i:04d}.fa"
    if not os.path.exists(p):
        genome(p, 50_000, 1000 + i, f"genome {i}")
PY
[ -s genome100m.fa.gz ] || igzip -c genome100m.fa >genome100m.fa.gz 2>/dev/null || gzip -c genome100m.fa >genome100m.fa.gz
echo "files: genome100m.fa $(du -m genome100m.fa | cut -f1) MB, .gz $(du -m genome100m.fa.gz | cut -f1) MB; 1000 x 50 kb in batch/"
echo

echo "== 100 Mb genome, every window's G+C (seconds, best of three)"
printf '%-22s %-6s %12s %12s %8s\n' "window/step" "file" "quillet-map" "seqkit" "ratio"
for ws in "1000 1000" "30000 10000"; do
    set -- $ws
    for f in genome100m.fa genome100m.fa.gz; do
        q=$(best "$map" -w "$1" -s "$2" --values out.tsv "$f")
        if command -v seqkit >/dev/null; then
            s=$(best bash -c "seqkit sliding -W $1 -s $2 $f | seqkit fx2tab -n -g -G >seqkit.tsv")
            ratio=$(echo "$s $q" | awk '{printf "%.1fx", $1 / $2}')
        else
            s="-" ratio="-"
        fi
        printf '%-22s %-6s %12s %12s %8s\n' "$1 / $2" "${f##*.}" "$q" "$s" "$ratio"
    done
done
echo "(rows: quillet-map $(($(wc -l <out.tsv) - 1)) windows at the last setting; seqkit $(wc -l <seqkit.tsv 2>/dev/null || echo 0))"
echo

echo "== 1,000 genomes of 50 kb (picture, values and summary each)"
# Each file in a process of its own, as a workflow runs it: alone, and
# handed to a map server started for the batch (as the workflow does).
per_file() {
    rm -rf maps && mkdir maps
    seconds bash -c 'for f in batch/*.fa; do b=${f##*/}; "$0" -o "maps/${b%.fa}.png" --values "maps/${b%.fa}.tsv" --summary "$f" >"maps/${b%.fa}.summary"; done' "$map"
}
export QUILLET_MAP_SERVER=off
alone=$(per_file)
rm -rf maps-alone && mv maps maps-alone
export QUILLET_MAP_SERVER=$work/server/socket
rm -rf server && mkdir -m 700 server
"$map" --start-server --idle-exit 60
served=$(per_file)
# The server's memory: proportional set size of the master and workers.
master=$("$map" --server-status | sed -n 's/.*: pid \([0-9]*\),.*/\1/p')
server_pss=$(for p in $master $(cat "/proc/$master/task/$master/children"); do cat /proc/$p/smaps_rollup; done 2>/dev/null |
    awk '/^Pss:/ {kb += $2} END {printf "%.1f", kb / 1024}')
workers=$("$map" --server-status | sed -n 's/.*, \([0-9]*\) workers\{0,1\},.*/\1/p')
"$map" --stop-server
diff -r maps-alone maps >/dev/null && same="yes" || same="NO"
export QUILLET_MAP_SERVER=off
rm -rf maps && mkdir maps
one_process=$(seconds bash -c '"$0" -o "maps/{}.png" --values "maps/{}.tsv" --summary batch/*.fa >/dev/null' "$map")
startup=$(seconds bash -c 'for i in $(seq 1000); do "$0" --version >/dev/null; done' "$map")
floor=$(seconds bash -c 'for i in $(seq 1000); do /bin/true; done')
awk -v a="$alone" -v s="$served" -v b="$one_process" -v d="$startup" -v e="$floor" 'BEGIN {
    printf "%-50s %8.2f s  %6.1f ms/file\n", "one process per file, alone", a, a
    printf "%-50s %8.2f s  %6.1f ms/file\n", "one process per file, map server (as the workflow)", s, s
    printf "%-50s %8.2f s  %6.1f ms/file\n", "one process for all 1000 files", b, b
    printf "%-50s %8.2f s  %6.1f ms/file  (aim: < 20)\n", "per-file overhead with the map server", s - b, s - b
    printf "%-50s %8.2f s  %6.1f ms/file\n", "per-file overhead alone", a - b, a - b
    printf "%-50s %8.2f s  %6.1f ms/run\n", "quillet-map --version alone (start and exit)", d, d
    printf "%-50s %8.2f s  %6.1f ms/run\n", "/bin/true (starting any process)", e, e
}'
echo "served outputs equal to those made alone: $same; map server memory (PSS, master and $workers workers): $server_pss MiB"
echo "(work folder: $work)"
