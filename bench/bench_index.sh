#!/usr/bin/env bash
# Reading through samtools' indexes and bgzip on every core, figures side by
# side in one run:
#  1. A generated genome of 24 records (1 Gb by default), bgzip-compressed
#     (bgzip -@2), indexed with quillet-map --index: the whole file's
#     summary beside igzip -dc and bgzip -d -@2 decompressing it to
#     /dev/null (aim: at most 0.6x igzip -dc on two cores).
#  2. --region of 100 kb in the last record and --record of the last
#     record, with the indexes and without them (the same file in a folder
#     of its own). Aim: the region under 20 ms with them, whatever the
#     file's size.
#  3. The explorer's open on a 250 Mb record behind a 100 Mb one, bgzip
#     with indexes (bench_explorer on that file).
# Each line gives seconds (best of three) and the peak memory of the run.
# Usage: bench/bench_index.sh [BUILD_DIR (default build-bench)] [WORK_DIR] [BASES (default 1000000000)]
set -euo pipefail
src=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$src/build-bench}" && pwd)
work=${2:-$(mktemp -d /tmp/quillet-bench-index.XXXXXX)}
bases=${3:-1000000000}
map=$build/quillet-map
[ -x "$map" ] || { echo "no $map: build it first (cmake --build $build --target quillet-map)"; exit 1; }
for tool in bgzip igzip; do
    command -v $tool >/dev/null || { echo "no $tool: apt-get install tabix isal"; exit 1; }
done
mkdir -p "$work/noindex" "$work/explore"
cd "$work"

# Seconds (best of three) and the peak resident memory in MiB of the
# slowest-memory run of a command, its output to /dev/null.
measure() {
    python3 - "$@" <<'PY'
import os, resource, subprocess, sys, time
best, peak = None, 0
for _ in range(3):
    t0 = time.perf_counter()
    pid = os.fork()
    if pid == 0:
        fd = os.open(os.devnull, os.O_WRONLY)
        os.dup2(fd, 1)
        os.execvp(sys.argv[1], sys.argv[1:])
    _, status, usage = os.wait4(pid, 0)
    elapsed = time.perf_counter() - t0
    if os.waitstatus_to_exitcode(status) != 0:
        sys.exit("failed: " + " ".join(sys.argv[1:]))
    best = elapsed if best is None else min(best, elapsed)
    peak = max(peak, usage.ru_maxrss // 1024)
print(f"{best:.3f} {peak}")
PY
}
row() { # label, then the command
    local label=$1
    shift
    set -- $(measure "$@")
    printf '%-46s %9s s %7s MiB\n' "$label" "$1" "$2"
    echo "$1" >last.seconds
}

# Records of human-like relative sizes, random A/C/G/T in lines of 60 with
# runs of N; deterministic (seeded).
python3 - "$bases" <<'PY'
import os, random, sys
total = int(sys.argv[1])
sizes = [249, 242, 198, 190, 181, 171, 159, 145, 138, 134, 135, 133, 114, 107, 102, 90, 83, 80, 59, 64, 47, 51, 156, 57]
table = bytes.maketrans(bytes(range(256)), b"ACGT" * 64)
def write(path, records):
    if os.path.exists(path):
        return
    rnd = random.Random(1)
    with open(path + ".part", "wb") as f:
        for name, n in records:
            f.write(b">" + name.encode() + b" generated\n")
            done = 0
            while done < n:
                k = min(6_000_000, n - done)
                chunk = bytearray(rnd.randbytes(k).translate(table))
                for _ in range(k // 100_000):
                    at = rnd.randrange(k)
                    chunk[at:at + 1000] = b"N" * len(chunk[at:at + 1000])
                f.write(b"\n".join(chunk[i:i + 60] for i in range(0, k, 60)) + b"\n")
                done += k
    os.rename(path + ".part", path)
scale = total / sum(sizes)
write("genome.fa", [(f"chr{i + 1}", int(s * scale)) for i, s in enumerate(sizes)])
write("explore/two.fa", [("chrA", 100_000_000), ("chrB", 250_000_000)])
PY
for f in genome.fa explore/two.fa; do
    [ -s "$f.gz" ] || bgzip -@2 -c "$f" >"$f.gz"
    [ -s "$f.gz.gzi" ] || "$map" --index "$f.gz"
done
cp -p genome.fa.gz noindex/ 2>/dev/null || true
last=$(tail -1 genome.fa.gz.fai | cut -f1)
length=$(tail -1 genome.fa.gz.fai | cut -f2)
from=$((length / 2))
echo "genome.fa.gz: $(du -m genome.fa.gz | cut -f1) MB for $(du -m genome.fa | cut -f1) MB, 24 records; last: $last, $length bp"
echo

echo "== the whole file, two cores"
row "igzip -dc" igzip -dc genome.fa.gz
igzip=$(cat last.seconds)
row "bgzip -d -@2" bgzip -d -@2 -c genome.fa.gz
row "quillet-map --summary (w 100000)" "$map" -w 100000 -s 100000 --summary genome.fa.gz
ours=$(cat last.seconds)
echo "quillet-map / igzip -dc: $(echo "$ours $igzip" | awk '{printf "%.2fx", $1 / $2}') (aim: at most 0.6x)"
row "quillet-map --summary, plain file" "$map" -w 100000 -s 100000 --summary genome.fa
echo

echo "== one record, one stretch"
region="$last:$from-$((from + 99999))"
row "--region $region, indexes" "$map" -w 1000 -s 1000 --region "$region" --summary genome.fa.gz
row "--region $region, no indexes" "$map" -w 1000 -s 1000 --region "$region" --summary noindex/genome.fa.gz
row "--record $last, indexes" "$map" -w 1000 -s 1000 --record "$last" --summary genome.fa.gz
row "--record $last, no indexes" "$map" -w 1000 -s 1000 --record "$last" --summary noindex/genome.fa.gz
row "quillet-map --version (the process alone)" "$map" --version
echo

echo "== the explorer's open on the 250 Mb record behind a 100 Mb one (bgzip, indexes)"
row "reading it: --record chrB --summary, indexes" "$map" -w 100000 -s 100000 --record chrB --summary explore/two.fa.gz
if [ -x "$build/bench/bench_explorer" ]; then
    "$build/bench/bench_explorer" explore/two.fa.gz
else
    echo "no $build/bench/bench_explorer: build it first"
fi
