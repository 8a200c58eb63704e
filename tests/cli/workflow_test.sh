#!/usr/bin/env bash
# The Snakemake workflow on the sample genomes (one gzipped, one named
# .fsa) in groups of two: a picture, a values table and an overview per
# genome, equal to those of one quillet-map over all of them, one summary in
# name order, and the folder's other entries listed with their reason; with
# overview=no, no overviews; with values=bw, bigWigs. Then a genome that
# cannot be mapped: its group fails and its log names it, the other group
# still finishes with --keep-going. Skipped (77) where snakemake is not
# installed.
# Usage: workflow_test.sh QUILLET_MAP SOURCE_DIR WORK_DIR
set -euo pipefail
map=$1 src=$2 work=$3
command -v snakemake >/dev/null || { echo "snakemake is not installed"; exit 77; }
rm -rf "$work" && mkdir -p "$work/genomes/old"
cp "$src/samples/lambda_virus.fa" "$work/genomes/"
cp "$src/tests/data/athaliana_excerpt.fa" "$work/genomes/athaliana.fsa"
gzip -c "$src/samples/phix174.fa" >"$work/genomes/phix174.fa.gz"
cp "$src/samples/README.md" "$work/genomes/"
cp "$src/samples/lambda_virus.fa" "$work/genomes/lambda_virus.fasta"
cd "$work"
workflow() { # output folder, input folder, further settings and snakemake options
    snakemake -s "$src/workflow/Snakefile" --cores 2 --config input="$2" output="$1" \
        quillet_map="$map" options="-w 200 -s 100" group_size=2 "${@:3}" >"$1.log" 2>&1
}
workflow maps genomes || { cat maps.log; exit 1; }

failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
# Three genomes in a group of two and a group of one, each genome with the
# files one quillet-map over all three makes, and the same summary.
genomes=(genomes/athaliana.fsa genomes/lambda_virus.fa genomes/phix174.fa.gz)
mkdir single
"$map" -w 200 -s 100 -o 'single/{}.png' --values 'single/{}.tsv' --overview 'single/overview/{}.png' --summary \
    "${genomes[@]}" >single/summary.tsv
for g in athaliana lambda_virus phix174; do
    cmp "maps/$g.png" "single/$g.png" || fail "maps/$g.png"
    cmp "maps/$g.tsv" "single/$g.tsv" || fail "maps/$g.tsv"
    cmp "maps/overview/$g.png" "single/overview/$g.png" || fail "maps/overview/$g.png"
done
file maps/overview/athaliana.png | grep -q "PNG image data, 794 x 1123" || fail "$(file maps/overview/athaliana.png)"
[ "$(ls maps/overview)" = $'athaliana.png\nlambda_virus.png\nphix174.png' ] || fail "overviews: $(ls maps/overview)"
cmp maps/summary.tsv single/summary.tsv || fail "summary: $(cat maps/summary.tsv)"
[ "$(wc -l <maps/summary.tsv)" -eq 10 ] || fail "summary lines: $(cat maps/summary.tsv)"
file maps/lambda_virus.png | grep -q "PNG image data, 701 x 309" || fail "$(file maps/lambda_virus.png)"
# (48502 - 200) / 100 + 1 windows of lambda.
[ "$(grep -c '^gi|9626243' maps/lambda_virus.tsv)" -eq 484 ] || fail "lambda windows"
grep -q '^3 genomes in 2 jobs of up to 2\.$' maps.log || fail "groups: $(cat maps.log)"
[ "$(ls maps/logs)" = $'group-001.log\ngroup-002.log' ] || fail "job logs: $(ls maps/logs)"
# Whatever the folder holds beside the genomes is named with its reason.
for line in "README.md: not a FASTA file name (suffixes: .fa .fasta .fas .fna .ffn .frn .fsa .fsa_nt .mfa .seq, plain or .gz .bgz .zst .xz .bz2)" \
            "lambda_virus.fasta: same output name as lambda_virus.fa (lambda_virus)" \
            "old: a folder (sub-folders are not searched)"; do
    grep -qxF "    $line" maps.log || fail "not listed: $line; log: $(cat maps.log)"
done
[ ! -e maps/README.png ] || fail "README.md was mapped"

# The cluster profile of Snakemake 7 (workflow/profiles/slurm/config.yaml),
# through a stand-in sbatch that runs each job script at once and keeps
# what it was asked for: the same files as the local run, one job a group
# with the rule's core and memory, its log where the profile says, and the
# jobs, which read the workflow again, without the run's own messages.
# (CI=true: Snakemake looks at its cluster jobs every second, not every ten.)
mkdir bin
cat >bin/sbatch <<'EOF'
#!/usr/bin/env bash
id=$(($(cat sbatch.count 2>/dev/null || echo 100) + 1))
echo "$id" >sbatch.count
echo "${@:1:$#-1}" >>sbatch.args
log=slurm-$id.log
for arg in "${@:1:$#-1}"; do [[ $arg != --output=* ]] || log=${arg#--output=}; done
bash "${@: -1}" >"${log//%j/$id}" 2>&1
echo "Submitted batch job $id"
EOF
chmod +x bin/sbatch
(PATH=$PWD/bin:$PATH CI=true snakemake -s "$src/workflow/Snakefile" --profile "$src/workflow/profiles/slurm" \
    --config input=genomes output=maps-profile quillet_map="$map" options="-w 200 -s 100" group_size=2 \
    >maps-profile.log 2>&1) || fail "the profile: $(cat maps-profile.log)"
for g in athaliana lambda_virus phix174; do
    for f in "$g.png" "$g.tsv" "overview/$g.png"; do cmp "maps-profile/$f" "maps/$f" || fail "maps-profile/$f"; done
done
cmp maps-profile/summary.tsv maps/summary.tsv || fail "the profile's summary: $(cat maps-profile/summary.tsv)"
[ "$(cat sbatch.args)" = $'--cpus-per-task=1 --mem=1000 --time=30 --output=slurm/%j.log\n--cpus-per-task=1 --mem=1000 --time=30 --output=slurm/%j.log' ] ||
    fail "sbatch was asked for: $(cat sbatch.args)"
[ "$(ls slurm)" = $'101.log\n102.log' ] && grep -q 'rule map_group_' slurm/101.log || fail "job logs: $(ls slurm)"
! grep -q -e 'Not mapped, of the' -e 'genomes in 2 jobs' slurm/*.log || fail "a job said the run's messages: $(cat slurm/101.log)"
grep -qxF '3 genomes in 2 jobs of up to 2.' maps-profile.log || fail "the profile run's messages: $(cat maps-profile.log)"
# Snakemake 8 and later read config.v8+.yaml first: YAML for the SLURM
# executor plugin, with the resources under the plugin's names.
python3 - "$src/workflow/profiles/slurm/config.v8+.yaml" <<'EOF' || fail "config.v8+.yaml"
import sys
import yaml
profile = yaml.safe_load(open(sys.argv[1]))
resources = profile.get("default-resources", {})
said = "executor {!r}, jobs {!r}, default-resources {!r}".format(profile.get("executor"), profile.get("jobs"), resources)
sys.exit(None if profile.get("executor") == "slurm" and profile.get("jobs") == 100
         and resources == {"runtime": 30, "mem_mb": 1000, "cpus_per_task": 1} else said)
EOF
# Overviews as SVG, or none; the other outputs stay as they were. Circular
# maps only when asked for, as one quillet-map writes them.
[ ! -e maps/circular ] || fail "circular maps without circular="
workflow maps-svg genomes overview=svg circular=svg || fail "overview=svg: $(cat maps-svg.log)"
grep -q '<title>Overview of lambda_virus.fa</title>' maps-svg/overview/lambda_virus.svg || fail "overview=svg"
"$map" -w 200 -s 100 --circular 'single/circular/{}.svg' "${genomes[@]}" >/dev/null
for g in athaliana lambda_virus phix174; do
    cmp "maps-svg/circular/$g.svg" "single/circular/$g.svg" || fail "maps-svg/circular/$g.svg"
done
workflow maps-none genomes overview=no || fail "overview=no: $(cat maps-none.log)"
[ ! -e maps-none/overview ] && cmp maps-none/lambda_virus.png single/lambda_virus.png &&
    cmp maps-none/summary.tsv single/summary.tsv || fail "overview=no: $(ls maps-none)"
# bigWig values, as one quillet-map writes them.
workflow maps-bw genomes values=bw overview=no || fail "values=bw: $(cat maps-bw.log)"
"$map" -w 200 -s 100 --values 'single/{}.bw' "${genomes[@]}" >/dev/null
for g in athaliana lambda_virus phix174; do
    cmp "maps-bw/$g.bw" "single/$g.bw" || fail "maps-bw/$g.bw"
done
for bad in overview=bmp values=csv circular=jpg; do
    if workflow maps-bad genomes "$bad"; then fail "$bad was taken"; fi
    grep -Eq "((overview|circular) is png, svg, pdf or no|values is tsv, bedgraph or bw), not '${bad#*=}'" \
        maps-bad.log ||
        fail "$bad: $(cat maps-bad.log)"
done

# A genome without any record sorts into the first group beside athaliana.
mkdir failing
ln -s ../genomes/athaliana.fsa ../genomes/lambda_virus.fa ../genomes/phix174.fa.gz failing/
: >failing/empty.fa
if workflow maps-failing failing --keep-going; then fail "a run with a genome that cannot be mapped succeeded"; fi
[ "$(cat maps-failing/logs/group-001.log)" = "quillet-map: No FASTA record found in failing/empty.fa.
Not mapped: failing/empty.fa
quillet-map ended with status 1" ] || fail "failing group's log: $(cat maps-failing/logs/group-001.log)"
grep -q 'Error in rule map_group_1:' maps-failing.log || fail "the failed job: $(cat maps-failing.log)"
# Snakemake removes the failed job's outputs; the other group's stay.
[ ! -e maps-failing/athaliana.png ] && [ ! -e maps-failing/summary.tsv ] || fail "outputs of the failed job: $(ls maps-failing)"
cmp maps-failing/phix174.png single/phix174.png || fail "the other group's picture"
echo "$failures failed"
[ "$failures" -eq 0 ]
