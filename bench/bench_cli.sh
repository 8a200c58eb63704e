#!/usr/bin/env bash
# quillet-map from the shell, figures printed side by side:
#  1. --values over a 100 Mb genome, plain and gzip, at window 1000 / step
#     1000 and at window 30000 / step 10000, beside seqkit's sliding windows
#     piped to fx2tab (G+C of every window) on the same files. Ours should
#     be at least 4x faster at both sizes; seqkit's cost grows with the
#     window (it copies every window's sequence), ours must not.
#  2. The summary of the 100 Mb genome at window 1 / step 1 (100 million
#     windows): seconds and peak memory, which must stay a fixed working set
#     (a summary keeps no window's values; about 17 MiB against 1,161 MiB
#     when it kept them), beside --values at window 1000 / step 1000.
#  3. What one process costs on a 50 kb genome: a summary, values only and
#     a picture, beside /bin/true and quillet-map --version.
#  4. 1,000 genomes of 50 kb (picture, values and summary each) three ways:
#     one quillet-map over all of them, one process per file, and the
#     workflow with --cores 2 (aim: within 2x of the single process).
# Usage: bench/bench_cli.sh [BUILD_DIR (default build-bench)] [WORK_DIR]
set -euo pipefail
src=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$src/build-bench}" && pwd)
work=${2:-$(mktemp -d /tmp/quillet-bench-cli.XXXXXX)}
map=$build/quillet-map
[ -x "$map" ] || { echo "no $map: build it first (cmake --build $build --target quillet-map)"; exit 1; }
mkdir -p "$work"
cd "$work"

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

echo "== 100 Mb genome: seconds and peak memory of one run"
# Peak resident memory of a child, from the kernel's own count.
peak() {
    python3 -c 'import resource, subprocess, sys, time
t = time.monotonic()
subprocess.run(sys.argv[1:], stdout=subprocess.DEVNULL, check=True)
print("%.2f s  %6.0f MiB" % (time.monotonic() - t, resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss / 1024))' "$@"
}
printf '%-46s %s\n' "summary, window 1 / step 1 (100 M windows)" "$(peak "$map" -w 1 -s 1 genome100m.fa)"
printf '%-46s %s\n' "--values, window 1000 / step 1000" "$(peak "$map" -w 1000 -s 1000 --values out.tsv genome100m.fa)"
echo

echo "== one process on a 50 kb genome (ms a run, mean of 200 runs)"
# Start, map and exit, 200 times in a row; the summary and values runs
# start no GUI application, the picture run does (fonts for its text).
per_run() {
    local t
    t=$(seconds bash -c 'for i in $(seq 200); do "$@" >/dev/null; done' _ "$@")
    awk -v t="$t" 'BEGIN {printf "%.1f", t * 1000 / 200}'
}
one=batch/g0000.fa
printf '%-40s %8s\n' "/bin/true" "$(per_run /bin/true)"
printf '%-40s %8s\n' "quillet-map --version" "$(per_run "$map" --version)"
printf '%-40s %8s\n' "quillet-map --summary" "$(per_run "$map" --summary "$one")"
printf '%-40s %8s\n' "quillet-map --values one.tsv" "$(per_run "$map" --values one.tsv "$one")"
printf '%-40s %8s\n' "quillet-map -o one.png" "$(per_run "$map" -o one.png "$one")"
echo

echo "== 1,000 genomes of 50 kb (picture, values and summary each)"
rm -rf maps-one && mkdir maps-one
one_process=$(seconds bash -c '"$0" -o "maps-one/{}.png" --values "maps-one/{}.tsv" --summary batch/*.fa >maps-one/summary.tsv' "$map")
rm -rf maps-each && mkdir maps-each
per_file=$(seconds bash -c 'for f in batch/*.fa; do b=${f##*/}; "$0" -o "maps-each/${b%.fa}.png" --values "maps-each/${b%.fa}.tsv" --summary "$f" >/dev/null; done' "$map")
if command -v snakemake >/dev/null; then
    rm -rf maps-workflow .snakemake
    workflow=$(seconds bash -c 'snakemake -s "$0/workflow/Snakefile" --cores 2 --quiet \
        --config input=batch output=maps-workflow quillet_map="$1" >workflow.log 2>&1' "$src" "$map")
    cmp -s maps-one/g0500.png maps-workflow/g0500.png && same=yes || same=NO
else
    workflow=0 same="- (no snakemake)"
fi
awk -v b="$one_process" -v a="$per_file" -v w="$workflow" 'BEGIN {
    printf "%-46s %8.2f s  %6.1f ms/file\n", "one quillet-map over all 1000 files", b, b
    printf "%-46s %8.2f s  %6.1f ms/file\n", "one process per file", a, a
    printf "%-46s %8.2f s  %6.1f ms/file  %.2fx the single process (aim: < 2x)\n", "the workflow, --cores 2", w, w, w / b
}'
echo "workflow outputs equal to the single process's: $same"
echo "(work folder: $work)"
