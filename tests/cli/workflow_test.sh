#!/usr/bin/env bash
# The Snakemake workflow on the sample genomes, one of them gzipped: a
# picture and a values table per genome and one summary with a line per
# record. Skipped (77) where snakemake is not installed.
# Usage: workflow_test.sh QUILLET_MAP SOURCE_DIR WORK_DIR
set -euo pipefail
map=$1 src=$2 work=$3
command -v snakemake >/dev/null || { echo "snakemake is not installed"; exit 77; }
rm -rf "$work" && mkdir -p "$work/genomes"
cp "$src/samples/lambda_virus.fa" "$src/tests/data/athaliana_excerpt.fa" "$work/genomes/"
gzip -c "$src/samples/phix174.fa" >"$work/genomes/phix174.fa.gz"
cp "$src/samples/README.md" "$work/genomes/"   # not FASTA: left alone
cd "$work"
# A short TMPDIR of its own, where the workflow's server makes its folder
# (a socket path has room for 107 bytes).
tmp=$(mktemp -d /tmp/quillet-workflow-test.XXXXXX)
trap 'rm -rf "$tmp"' EXIT
TMPDIR=$tmp snakemake -s "$src/workflow/Snakefile" --cores 2 --quiet \
    --config input=genomes output=maps quillet_map="$map" options="-w 200 -s 100" >snakemake.log 2>&1 ||
    { cat snakemake.log; exit 1; }

failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
for g in lambda_virus athaliana_excerpt phix174; do
    file "maps/$g.png" | grep -q "PNG image data, 701 x 309" || fail "maps/$g.png: $(file "maps/$g.png")"
    [ "$(head -1 "maps/$g.tsv")" = $'record\tstart\tend\tG+C %\tG-C/G+C\tunknown %\tcumulative G-C/G+C' ] ||
        fail "maps/$g.tsv header"
done
# (48502 - 200) / 100 + 1 windows of lambda.
[ "$(grep -c '^gi|9626243' maps/lambda_virus.tsv)" -eq 484 ] || fail "lambda windows"
# One header and 7 + 1 + 1 records, each file's lines as quillet-map gives them.
[ "$(wc -l <maps/summary.tsv)" -eq 10 ] || fail "summary: $(cat maps/summary.tsv)"
[ "$(grep -c '^file' maps/summary.tsv)" -eq 1 ] || fail "summary headers"
grep -qP '^genomes/phix174.fa.gz\t.*\t5386\t' maps/summary.tsv || fail "phiX line: $(cat maps/summary.tsv)"
expected=$("$map" -w 200 -s 100 genomes/athaliana_excerpt.fa | tail -n +2)
[ "$(grep '^genomes/athaliana' maps/summary.tsv)" = "$expected" ] || fail "excerpt lines differ from quillet-map's"
[ ! -e maps/README.png ] || fail "README.md was mapped"
# The run's map server took every job and is gone with its folder.
grep -q "3 runs served" snakemake.log || fail "the workflow's server: $(grep 'quillet-map' snakemake.log)"
[ -z "$(ls "$tmp" | grep quillet-map)" ] || fail "server folder left in TMPDIR: $(ls "$tmp")"
echo "$failures failed"
[ "$failures" -eq 0 ]
