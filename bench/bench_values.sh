#!/usr/bin/env bash
# quillet-map --values as genome browsers take them: bigWig beside
# bedGraph (and the TSV), at window 1000 / step 100, on
#  1. E. coli K-12 MG1655 (samples/, 4.6 Mb, gzip): 46,000 windows;
#  2. a generated draft fly assembly of 26,454 records: six chromosome arms
#     of 1.35 to 27.9 Mb (120 Mb), the 19.5 kb mitochondrion and 26,447
#     short contigs, 95 % of 1 to 1.5 kb and 5 % of 1.5 to 50 kb
#     (log-uniform), about 170 Mb in all, random bases, seeded.
#  3. many tiny records, as a fragmented assembly has them: 20,000 and
#     200,000 records of 200 bp (random bases, seeded), bigWig at window 100
#     / step 100, the two times side by side with their ratio (10 when the
#     cost grows with the number of records, 100 when with its square).
# Each row: seconds (best of three), peak memory of the run and the file's
# size; the summary alone (no values written) is the floor. For the bigWig
# a peer: the same run's bedGraph converted to bigWig with pyBigWig (the
# route a user takes without our bigWig), timed on its own.
# Usage: bench/bench_values.sh [BUILD_DIR (default build-bench)] [WORK_DIR]
set -euo pipefail
src=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$src/build-bench}" && pwd)
work=${2:-$(mktemp -d /tmp/quillet-bench-values.XXXXXX)}
map=$build/quillet-map
[ -x "$map" ] || { echo "no $map: build it first (cmake --build $build --target quillet-map)"; exit 1; }
mkdir -p "$work"
cd "$work"

python3 - <<'PY'
import math, os, random
if not os.path.exists("draft.fa"):
    rnd = random.Random(20)
    table = bytes.maketrans(bytes(range(256)), b"ACGT" * 64)
    records = [("chr2L", 23_011_544), ("chr2R", 21_146_708), ("chr3L", 24_543_557), ("chr3R", 27_905_053),
               ("chrX", 22_422_827), ("chr4", 1_351_857), ("chrM", 19_517)]
    for i in range(26_454 - len(records)):
        n = rnd.randint(1000, 1500) if rnd.random() < 0.95 else int(math.exp(rnd.uniform(math.log(1500), math.log(50_000))))
        records.append((f"contig{i + 1:05d} unplaced", n))
    with open("draft.fa", "wb") as f:
        for name, n in records:
            f.write(b">" + name.encode() + b"\n")
            done = 0
            while done < n:
                k = min(6_000_000, n - done)
                chunk = rnd.randbytes(k).translate(table)
                f.write(b"\n".join(chunk[i:i + 60] for i in range(0, k, 60)) + b"\n")
                done += k
PY
echo "draft.fa: $(grep -c '>' draft.fa) records, $(grep -v '>' draft.fa | tr -d '\n' | wc -c) bases"
echo "load: $(uptime | sed 's/.*load average/load average/')"

# "seconds peak-MiB" of a command, its output to /dev/null.
run() {
    python3 -c 'import resource, subprocess, sys, time
t = time.monotonic()
subprocess.run(sys.argv[1:], stdout=subprocess.DEVNULL, check=True)
print("%.3f %.0f" % (time.monotonic() - t, resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss / 1024))' "$@"
}
# The least time of three runs and the largest peak.
best() {
    { run "$@"; run "$@"; run "$@"; } | sort -n | awk 'NR == 1 {t = $1} $2 > m {m = $2} END {printf "%8.3f s %6d MiB", t, m}'
}
size() { [ -e "$1" ] && awk -v b="$(stat -c %s "$1")" 'BEGIN {printf "%10.2f MB", b / 1e6}' || printf '%13s' "-"; }

convert=$(mktemp --suffix .py)
trap 'rm -f "$convert"' EXIT
cat >"$convert" <<'PY'
import sys, pyBigWig
bedgraph, sizes_from, out = sys.argv[1:4]
chroms = {}
for line in open(sizes_from, encoding="latin-1").read().splitlines()[1:]:
    f = line.split("\t")
    if int(f[5]) > 0:
        chroms[f[1].split(" ")[0]] = int(f[2])
bw = pyBigWig.open(out, "w")
bw.addHeader(list(chroms.items()))
rows = [l.split("\t") for l in open(bedgraph, encoding="latin-1").read().splitlines()[1:]]
at = 0
while at < len(rows):
    end = at
    while end < len(rows) and rows[end][0] == rows[at][0]:
        end += 1
    part = rows[at:end]
    bw.addEntries([r[0] for r in part], [int(r[1]) for r in part], ends=[int(r[2]) for r in part],
                  values=[float(r[3]) for r in part])
    at = end
bw.close()
PY

for input in "$src/samples/ecoli_k12_mg1655.fna.gz" draft.fa; do
    echo
    echo "== ${input##*/}, window 1000 / step 100"
    rm -f out.tsv out.bedgraph out.bw converted.bw
    "$map" -w 1000 -s 100 --summary "$input" >summary.tsv 2>/dev/null
    printf '%-36s %s %s\n' "summary only (floor)" "$(best "$map" -w 1000 -s 100 --summary "$input")" "$(size none)"
    for out in out.tsv out.bedgraph out.bw; do
        printf '%-36s %s %s\n' "--values $out" "$(best "$map" -w 1000 -s 100 --values "$out" "$input")" "$(size "$out")"
    done
    printf '%-36s %s %s\n' "peer: bedGraph -> bigWig, pyBigWig" \
        "$(best /usr/bin/python3 "$convert" out.bedgraph summary.tsv converted.bw)" "$(size converted.bw)"
    echo "windows: $(($(wc -l <out.bedgraph) - 1))"
done
python3 - <<'PY'
import os, random
table = bytes.maketrans(bytes(range(256)), b"ACGT" * 64)
for n in (20_000, 200_000):
    name = f"tiny{n // 1000}k.fa"
    if not os.path.exists(name):
        rnd = random.Random(n)
        with open(name, "wb") as f:
            for i in range(n):
                bases = rnd.randbytes(200).translate(table)
                f.write(b">contig%06d unplaced\n" % (i + 1) + b"\n".join(bases[k:k + 60] for k in range(0, 200, 60)) + b"\n")
PY
echo
echo "== many records of 200 bp, bigWig at window 100 / step 100"
small=$(best "$map" -w 100 -s 100 --values tiny20k.bw tiny20k.fa)
large=$(best "$map" -w 100 -s 100 --values tiny200k.bw tiny200k.fa)
printf '%-36s %s %s\n' "20,000 records" "$small" "$(size tiny20k.bw)"
printf '%-36s %s %s\n' "200,000 records" "$large" "$(size tiny200k.bw)"
awk -v a="${small%% s*}" -v b="${large%% s*}" 'BEGIN {printf "200,000 / 20,000: %.1f times (10 linear, 100 square)\n", b / a}'
echo "(work folder: $work)"
