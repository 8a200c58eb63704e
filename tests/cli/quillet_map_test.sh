#!/usr/bin/env bash
# quillet-map as a shell uses it: help and version, the summary, several
# files with patterns and one table, standard input (compressed) and a named
# pipe, the exit status of each kind of failure with its message (paths that
# are no readable file, a full standard output), record names as bytes and
# as parts of file names, bigWig and bedGraph values read back by a real
# reader, a picture made with nothing in the environment
# but PATH (no display, no platform setting) or with a window system named
# that cannot start, and the caller's locale.
# Usage: quillet_map_test.sh QUILLET_MAP SOURCE_DIR WORK_DIR VERSION
set -uo pipefail
map=$1 src=$2 work=$3 version=$4
! mountpoint -q "$work/full" || umount "$work/full" # left by a run that was killed
rm -rf "$work" && mkdir -p "$work" && cd "$work" || exit 1
lambda=$src/samples/lambda_virus.fa phix=$src/samples/phix174.fa excerpt=$src/tests/data/athaliana_excerpt.fa
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
# run EXPECTED_STATUS ARGS...: runs in an empty environment (but for a
# locale given as LOCALE=...), keeps out/err.
run() {
    local expected=$1; shift
    env -i PATH=/usr/bin:/bin ${LOCALE:+LC_ALL=$LOCALE} "$map" "$@" >out 2>err
    local status=$?
    [ "$status" -eq "$expected" ] || fail "quillet-map $* exited $status, not $expected; stderr: $(cat err)"
}
has() { grep -qF -- "$2" "$1" || fail "$1 lacks '$2': $(head -c 600 "$1")"; }

# One program that links no widgets.
if ldd "$map" | grep -q Widgets; then fail "quillet-map links Qt Widgets"; fi

run 0 --help;    has out "Usage: quillet-map [OPTIONS] FILE..."; has out "--all-records"
run 0 --version; has out "quillet-map $version"
run 2;           has err "no FASTA file given"; has err "Try 'quillet-map --help'"
run 2 -o x.jpg "$lambda"; has err ".png, .svg, .pdf or .bmp"
run 2 --values a.tsv --values b.tsv "$lambda"; has err "--values is given twice"
run 2 -o big.png --size 16000x16000 --zoom 4 "$lambda"; has err "at most 32767 pixels a side and 256 million"
# A picture of 1 GB in a 600 MB address space cannot be made, and is said to
# be so, for each kind of raster picture (a sanitizer's shadow memory does
# not start in so little: then this is skipped).
if (ulimit -v 600000 && "$map" --version) >/dev/null 2>&1; then
    for args in "-o huge.png --size 16000x16000" "-o huge.bmp --size 16000x16000" "--overview huge.png --page 16000x16000"; do
        (ulimit -v 600000 && exec env -i PATH=/usr/bin:/bin "$map" $args "$lambda") >out 2>err
        [ $? -eq 1 ] || fail "$args in 600 MB exited otherwise: $(cat err)"
        has err "The picture of 16000 x 16000 pixels for $(grep -o 'huge\.[a-z]*' <<<"$args") could not be made: there is not enough memory for it."
        ! ls huge.* 2>/dev/null || fail "$args in 600 MB left a file"
    done
fi
run 2 -w 0 "$lambda"; has err 'window size "0": a window is 1 bp or more'
# Standard output that cannot take the summary, or the help.
for args in "$lambda" --help; do
    env -i PATH=/usr/bin:/bin "$map" $args >/dev/full 2>err
    [ $? -eq 1 ] && grep -q "could not be written to standard output: No space left on device" err ||
        fail "$args >/dev/full: $(cat err)"
done
# Without standard output, a run that writes nothing there is fine.
env -i PATH=/usr/bin:/bin "$map" -o closed.png "$lambda" >&- 2>err || fail "closed standard output: $(cat err)"

# The summary, by default: one header and a line per record, with the
# proposal for the file's size (49,270 bytes: window 100, step 50 gives
# (48502 - 100) / 50 + 1 windows), which ends each line.
run 0 "$lambda" "$excerpt"
[ "$(wc -l <out)" -eq 9 ] || fail "summary of 1 + 7 records has $(wc -l <out) lines"
[ "$(head -1 out)" = $'file\trecord\tlength\tavg_gc\tunknown_pct\twindows\torigin\tterminus\twindow\tstep' ] ||
    fail "summary header: $(head -1 out)"
has out "$lambda"$'\tgi|9626243|ref|NC_001416.1| Enterobacteria phage lambda, complete genome\t48502\t'
grep -qP "^\Q$lambda\E\t.*\t0\.00\t969\t[1-9][0-9]*\t[1-9][0-9]*\t100\t50$" out ||
    fail "lambda's unknown %, windows, window and step: $(sed -n 2p out)"
has out $'\tChr2 1..30000\t30000\t'
# The E. coli chromosome's origin and terminus, where the cumulative
# G-C/G+C is lowest and highest: within 20 kb of oriC (3,925,800) and 100 kb
# of the terminus (1,590,000), with the proposed window and step (3000 and
# 1500: 3,093 windows) and with windows of 10 kb every 1 kb (4,632); the
# summary says which window and step.
for case in "3093 3000 1500" "4632 10000 1000 -w 10000 -s 1000"; do
    read -r windows window step args <<<"$case"
    run 0 $args "$src/samples/ecoli_k12_mg1655.fna.gz"
    awk -F'\t' -v windows="$windows" -v window="$window" -v step="$step" 'NR == 2 && $6 == windows &&
        $7 > 3905800 && $7 < 3945800 && $8 > 1490000 && $8 < 1690000 && $9 == window && $10 == step { ok = 1 }
        END { exit !ok }' out || fail "E. coli's origin and terminus: $(cat out)"
done

# Standard input, gzip-compressed, with the window and step given.
gzip -c "$phix" >phix.fa.gz
env -i PATH=/usr/bin:/bin "$map" -w 100 -s 50 - <phix.fa.gz >out 2>err || fail "stdin: $(cat err)"
grep -qP "^-\t.*\t5386\t.*\t106\t\d+\t\d+\t100\t50$" out || fail "phiX from standard input: $(cat out)"
# A pipe has no size to propose from.
cat "$phix" | env -i PATH=/usr/bin:/bin "$map" - >out 2>err
[ $? -eq 1 ] && grep -q "give --window and --step" err || fail "pipe without window: $(cat err)"

# Several files, one of them failing: the others are still done, exit 1,
# the failure named with the window's words, nothing written for it.
printf '>broken\nACGT' | gzip -c | head -c 20 >damaged.fa.gz
printf 'PK\003\004 not fasta' >archive.fa
printf 'no header here\n' >noheader.fa
run 1 -w 100 -s 50 -o 'maps/{}.png' --values 'values/{}.tsv' --summary "$lambda" missing.fa damaged.fa.gz \
    archive.fa "$phix"
has err "missing.fa: The Fasta file doesn't exist."
has err "damaged.fa.gz is damaged:"
has err "archive.fa is not a FASTA file:"
for f in lambda_virus phix174; do
    [ -s "maps/$f.png" ] && file "maps/$f.png" | grep -q "701 x 309" || fail "maps/$f.png: $(file "maps/$f.png")"
    [ -s "values/$f.tsv" ] || fail "values/$f.tsv missing"
done
[ "$(ls maps | wc -l)" -eq 2 ] && [ "$(ls values | wc -l)" -eq 2 ] || fail "outputs for failed files: $(ls maps values)"
[ "$(grep -c . out)" -eq 3 ] || fail "summary has lines for failed files: $(cat out)"
[ "$(grep -c 'quillet-map:' err)" -eq 3 ] || fail "one message per failed file: $(cat err)"
run 1 noheader.fa; has err "noheader.fa"
run 1 -w 2 -s 1 "$src/tests/data/badinput/random_bytes.bin"
has err "random_bytes.bin is not a FASTA file: it holds binary data, not text."
# A file whose name is no valid UTF-8 where names are UTF-8 is read, and
# named with its bytes.
cp "$phix" $'phi\xe9.fa'
LOCALE=C.UTF-8 run 0 -w 100 -s 50 $'phi\xe9.fa'; has out $'phi\xe9.fa\tgi|'
LOCALE=C.UTF-8 run 1 -w 100 -s 50 $'gone\xe9.fa'; has err $'gone\xe9.fa: The Fasta file doesn\'t exist.'
# What is wrong with a path that is not a readable file, said once each.
mkdir folder.fa
touch plain
printf '>cut short' >nolinefeed.fa
run 1 -w 10 -s 10 folder.fa plain/x.fa nolinefeed.fa
has err "folder.fa is a folder, not a FASTA file."
has err "plain/x.fa cannot be read: Not a directory."
has err "nolinefeed.fa is not a FASTA file: its first record has no header line"
if grep -q "doesn't exist" err; then fail "an existing path said not to exist: $(cat err)"; fi
# A file of mode 000: root reads any file, so as root this runs as nobody
# (skipped where root cannot change its user, or where that user cannot run
# the program, as in a build under /root).
cp "$phix" locked.fa && chmod 000 locked.fa
as=()
[ "$(id -u)" -ne 0 ] || as=(setpriv --reuid=65534 --regid=65534 --clear-groups)
if "${as[@]}" env -i PATH=/usr/bin:/bin "$map" --version >/dev/null 2>&1; then
    "${as[@]}" env -i PATH=/usr/bin:/bin "$map" locked.fa >out 2>err
    [ $? -eq 1 ] && grep -qF "locked.fa cannot be read: Permission denied." err || fail "mode 000: $(cat err)"
fi
run 1 --values plain/v.tsv "$lambda" "$phix"
[ "$(grep -c 'could not be saved' err)" -eq 1 ] || fail "values failure said more than once: $(cat err)"
# A named pipe is read as a stream; without a size it needs window and step.
mkfifo pipe.fa
cat "$phix" >pipe.fa &
run 0 -w 100 -s 50 pipe.fa; grep -qP "^pipe.fa\t.*\t5386\t.*\t106\t\d+\t\d+\t100\t50$" out || fail "named pipe: $(cat out)"
wait
run 1 pipe.fa; has err "pipe.fa has no size to propose a window and step from"

# One table for several files: one header, each file's windows, and a file
# that fails takes back its rows.
run 1 -w 1000 -s 1000 --values all.tsv "$phix" damaged.fa.gz "$lambda"
[ "$(grep -c '^record' all.tsv)" -eq 1 ] || fail "all.tsv has $(grep -c '^record' all.tsv) headers"
[ "$(wc -l <all.tsv)" -eq $((1 + 5 + 48)) ] || fail "all.tsv has $(wc -l <all.tsv) lines"
run 0 -w 1000 -s 1000 --values all.bedgraph "$excerpt"
[ "$(grep -c '^track' all.bedgraph)" -eq 1 ] || fail "bedGraph track lines"
# --all-records beside values alone changes nothing.
run 0 -w 1000 -s 1000 --all-records --values all2.bedgraph "$excerpt"
cmp -s all.bedgraph all2.bedgraph || fail "--all-records changed the values"
# Values for genome browsers, with windows that overlap (step below the
# window) on seven records, ChrC shorter than the window, and on a region
# of E. coli's chromosome, whose bigWig chromosome is the whole record
# (4,641,652 bp) with the intervals at their record positions: the bigWig
# as a real reader sees it against the TSV, the bedGraph sorted without
# overlap and convertible to bigWig. Also the cumulative track, exact
# values, and the gaps of the windows of mostly unknown bases: no interval
# there, a hole in the track, NA in the TSV (in a record's middle, at its
# start and end, and a record of N alone, whose chromosome has no interval).
ecoli=$src/samples/ecoli_k12_mg1655.fna.gz
lambda_bases=$(sed 1d "$lambda" | tr -d '\n')
n1000=$(printf 'N%.0s' {1..1000})
printf '>gapped one\n%s%s%s\n>ends\n%s%s%s\n>allN\n%s\n' "${lambda_bases:0:5000}" "$n1000" "${lambda_bases:5000:5000}" \
    "$n1000" "${lambda_bases:20000:3000}" "$n1000" "$n1000" >gapped.fa
for case in "gc|--plot gc -w 2000 -s 300|$excerpt|" "skew|--plot skew -w 2000 -s 300|$excerpt|" \
    "region|-w 1000 -s 300 --region NC_000913.3:12345-87654|$ecoli|NC_000913.3=4641652" \
    "cumulative|--plot cumulative -w 2000 -s 300|$excerpt|" \
    "unrounded|--plot skew --unrounded -w 2000 -s 300|$excerpt|" \
    "gaps|--mark-unknown -w 200 -s 200|gapped.fa|--gaps" \
    "gaps-sliced|--plot cumulative --unrounded --mark-unknown -w 300 -s 100|gapped.fa|--gaps" \
    "circle-sliced|--plot skew --topology circular -w 2000 -s 300|$excerpt|--circular" \
    "circle|--topology circular -w 1000 -s 1000|$lambda|--circular" \
    "circle-apart|--plot cumulative --topology circular -w 1000 -s 1300|$lambda|--circular"; do
    IFS='|' read -r name args input lengths <<<"$case"
    plot=gc; [[ $args == *skew* ]] && plot=skew; [[ $args == *cumulative* ]] && plot=cumulative
    run 0 $args --values $name.bw --summary "$input"; mv out $name.summary
    run 0 $args --values $name.tsv "$input"
    run 0 $args --values $name.bedgraph "$input"
    "$src/tests/cli/check_bigwig.py" $name.bw $name.tsv $name.bedgraph $name.summary $plot $lengths >check 2>&1 ||
        fail "bigWig and bedGraph of $name: $(head -c 800 check)"
done
# Composition islands against a computation of their own, on a generated
# genome with islands planted at known places and a run of N: per record
# and per genome, windows apart, touching and overlapping, with and
# without a shortest island; the islands of a circle past its origin.
"$src/tests/cli/check_islands.py" make planted.fa
for case in "1000 500 2.5 1000 per-record" "2000 250 2 3k genome" "1000 1000 3 1,000 per-record" \
    "500 700 2.5 0 genome" "300 100 2.5 2000 per-record"; do
    read -r window step k min mode <<<"$case"
    run 0 -w $window -s $step --islands planted.bed --islands-sd $k --islands-min $min \
        $([ $mode = genome ] && echo --islands-genome) planted.fa
    min=${min//,/}; min=${min/k/000}
    "$src/tests/cli/check_islands.py" check planted.fa planted.bed $window $step $k $min $mode >check 2>&1 ||
        fail "islands $case: $(head -c 800 check)"
done
printf '>c [topology=circular]\n%s%s%s\n' "$(printf 'G%.0s' {1..300})" "$(printf 'AT%.0s' {1..5000})" \
    "$(printf 'C%.0s' {1..300})" >island-circle.fa
run 0 -w 200 -s 100 --topology auto --islands-min 200 --islands circle.bed island-circle.fa
[ "$(sed 1d circle.bed | cut -f1-4 | xargs)" = "c 0 300 high c 10300 10600 high" ] ||
    fail "islands across a circle's origin: $(cat circle.bed)"
# Which records are circles: a FASTA header's modifier or a GenBank LOCUS
# line with auto, every record with circular, none by default; a window
# count of 10 bases, window 4, step 3: 3 on a line, 4 on a circle.
printf '>a [topology=circular]\nGGGGGCCCCC\n>b [top=linear]\nGGGGGCCCCC\n>c\nGGGGGCCCCC\n' >topology.fa
printf 'LOCUS       g   10 bp    DNA     circular\nORIGIN\n        1 gggggccccc\n//\n' >topology.gb
for case in "linear|3 3 3 3" "auto|4 3 3 4" "circular|4 4 4 4"; do
    IFS='|' read -r topology counts <<<"$case"
    run 0 -w 4 -s 3 --topology $topology --summary topology.fa topology.gb
    [ "$(sed 1d out | cut -f6 | xargs)" = "$counts" ] || fail "--topology $topology: windows $(cut -f6 out | xargs)"
done
run 2 --topology ring topology.fa
has err '--topology is linear, circular or auto, not "ring"'
# A record shorter than the window: a note, no failure, unless no record of
# the file has a window (nor any sequence): then the file fails, saying so
# once, and gives nothing (a summary line, values), as other failures.
run 0 -w 2000 -s 1000 --values short.tsv "$excerpt"
has err "ChrC 1..1544: 1544 bp is shorter than the window (2000 bp): no window"
printf '>a\n>b\n' >headers.fa
for case in "$lambda|record \"gi|9626243|ref|NC_001416.1| Enterobacteria phage lambda, complete genome\" (48,502 bp) is shorter than the window (60,000 bp): give -w" \
    "$excerpt|all 7 records are shorter than the window (60,000 bp): give -w" \
    "headers.fa|no record has any sequence: nothing to map."; do
    IFS='|' read -r input message <<<"$case"
    run 1 -w 60000 -s 100 --values none.tsv --summary "$input"
    has err "$input: $message"
    [ ! -e none.tsv ] && [ "$(wc -l <out)" -eq 1 ] && ! grep -q 'no window' err ||
        fail "$input: values, summary lines or notes beside the failure: $(cat err out)"
done
# A record without sequence (a header alone, cut short by the next ">" or
# the end of the file, or after an empty header line) is a note too; the
# others are mapped, an empty header line's record with an empty name.
printf '>a\n>b\nACGTACGT\n>\nGGGG\n>\n>c\tx>d\nAC\n>e' >empty.fa
run 0 -w 2 -s 2 --values empty.tsv --summary empty.fa
for note in "a: no sequence (0 bp): not mapped" "record 4 (no name): no sequence (0 bp): not mapped" \
            "c: no sequence (0 bp): not mapped" "e: no sequence (0 bp): not mapped"; do has err "empty.fa: $note"; done
[ "$(cut -f2 out | tr '\n' ,)" = "record,b,,d," ] || fail "records around those without sequence: $(cat out)"
[ "$(cut -f1 empty.tsv | sort -u | tr '\n' ,)" = ",b,d,record," ] || fail "empty.tsv: $(cat empty.tsv)"
run 1 -w 2 -s 2 --record a empty.fa; has err 'empty.fa: record "a" has no sequence (0 bp): nothing to map.'
# A record that 32-bit positions cannot reach is refused, saying which and
# where the limit is (here a step that takes the next window end past
# 2^31 - 1; a record of 2,147,483,647 bp or more with any step); the others
# are mapped and the exit status says one was not.
printf '>long\n%s\n>short\nACGT\n' "$(printf 'A%.0s' {1..1000})" >limit.fa
run 1 -w 1000 -s 2147483000 --summary limit.fa
has err 'limit.fa: record "long" is 1,000 bp: with a window of 1,000 bp and a step of 2,147,483,000 bp, records of 1,000 bp or more cannot be mapped.'
has out $'limit.fa\tshort\t4\t'
# A picture or an overview without any window to draw fails, naming the
# file and the window; every record's pictures leave out those without one.
printf '>a\nACGTACGT\n>b\nACGTAAAA\n' >short.fa
run 1 -w 20 -s 2 -o short.png short.fa
has err 'short.fa: record "b" (8 bp) is shorter than the window (20 bp): no picture.'
run 1 -w 20 -s 2 --overview short-overview.png short.fa
has err 'short.fa: no record in the overview is as long as the window (20 bp): no overview.'
run 1 -w 20 -s 2 --all-records -o 'short/{record}.png' short.fa
has err 'short.fa: no record is as long as the window (20 bp): no picture.'
[ ! -e short.png ] && [ ! -e short-overview.png ] && [ ! -e short ] || fail "pictures without a window: $(ls short*)"
printf '>long\n%s\n>tiny\nAC\n' "$(printf 'G%.0s' {1..40})" >mixed.fa
run 0 -w 20 -s 10 --all-records -o 'mixed/{record}.png' mixed.fa
has err "mixed.fa: tiny: 2 bp is shorter than the window (20 bp): no window, no picture"
[ -s mixed/long.png ] && [ ! -e mixed/tiny.png ] || fail "pictures of mixed.fa: $(ls mixed)"

# A record whose map cannot be drawn stops the run, as in the window.
# (Record c, one base, is too short for a map with so large a step.)
printf '>a\n%s\n>b\n%s\n>c\nA\n>d\n%s\n' "$(printf 'G%.0s' {1..400})" "$(printf 'C%.0s' {1..300})" \
    "$(printf 'A%.0s' {1..400})" >stops.fa
run 1 -w 1 -s 9999999 -o stops.png --values stops.tsv --summary stops.fa
has err 'stops.fa: record "c": Windows size is bigger than the length of sequence.'
[ ! -e stops.png ] && [ ! -e stops.tsv ] || fail "outputs written for a failed run"
# Also when the record asked for comes before it.
run 1 -w 1 -s 9999999 --plot skew --record b -o stops.png stops.fa; has err 'record "c"'
[ ! -e stops.png ] || fail "stops.png written for a failed run"

# Records: one by name, every one by pattern, a name that is not there.
run 0 -w 200 -s 100 --record "ChrM 1..3669" --summary -o one.svg "$excerpt"
[ "$(wc -l <out)" -eq 2 ] && has out $'\tChrM 1..3669\t' && grep -q '<svg' one.svg || fail "--record: $(cat out)"
run 0 -w 200 -s 100 --all-records -o 'rec/{record}.pdf' "$excerpt"
[ "$(ls rec | wc -l)" -eq 7 ] && [ -s rec/Chr2.pdf ] || fail "--all-records: $(ls rec)"
run 1 --record nosuch "$excerpt"; has err 'no record named "nosuch"'

# A stretch of a record: windows from its start as if it were the whole
# sequence, record positions in the values and on the picture's axis. From
# 5001 with a step of 500 (5000 is a multiple of it) they are the whole
# record's windows from 5001 to 20000; from 5101 they are not.
lid='gi|9626243|ref|NC_001416.1|'
run 0 -w 1000 -s 500 --values whole.tsv "$lambda"
run 0 -w 1000 -s 500 --region "$lid:5,001-20k" --values region.tsv --summary -o region.png "$lambda"
has out $'\t15000\t57.2\t0.00\t29\t6000\t19500' # origin and terminus as record positions
diff <(awk -F'\t' 'NR > 1 && $2 >= 5001 && $3 <= 20000 { print $1, $2, $3, $4, $5, $6 }' whole.tsv) \
    <(awk -F'\t' 'NR > 1 { print $1, $2, $3, $4, $5, $6 }' region.tsv) >/dev/null && [ -s region.png ] ||
    fail "--region: $(head -3 region.tsv)"
run 0 -w 1000 -s 500 --region "$lid:5001-20000" --values region.bedgraph "$lambda"
has region.bedgraph $'\ngi|9626243|ref|NC_001416.1|\t5000\t6000\t'
run 0 -w 1000 -s 500 --region "$lid:5101-7000" --values shifted.tsv "$lambda"
has shifted.tsv $'\t5101\t6100\t'; has shifted.tsv $'\t5601\t6600\t'
for range in 48000-48503 50001-60000; do # a part of it in the record, or none
    run 1 -w 1000 -s 500 --region "$lid:$range" "$lambda"; has err "is 48502 bp long; the region $range ends past it"
done
run 1 -w 200 -s 100 --region 1-5000 "$excerpt"; has err 'has several records: name one'
run 0 -w 200 -s 100 --region 1-5000 --summary "$phix"; has out $'\t5000\t'
run 2 --region 'x:0-5' "$lambda"; has err 'the start must be 1 or more'
# The cumulative G-C/G+C, its lowest and highest point marked
# at the summary's origin and terminus.
run 0 -w 1000 -s 500 --plot cumulative -o cumulative.svg --summary "$lambda"
read -r origin terminus < <(cut -f7,8 out | sed -n 2p)
has cumulative.svg "origin $origin<"; has cumulative.svg "terminus $terminus<"

# Names as bytes: a UTF-8 name, a control character, IDs that two records
# share, names that would steer a file name or make two names alike.
seq300=$(printf 'ACGTGGCCAT%.0s' {1..30})
printf '>ref|NC_001136| [org=Saccharomyces cerevisiae] [chromosome=IV]\n%s\n>Caf\xc3\xa9 \xc3\x85\r\n%s\n>ctl\x01z\n%s\n' \
    "$seq300" "$seq300" "$seq300" >names.fa
printf '>Soci\xe9t\xe9 2\n%s\n' "$seq300" >>names.fa # Latin-1, no UTF-8
printf '>dup one\n%s\n>dup two\n%s\n>chr1\n%s\n>chr1 extra\n%s\n' "$seq300" "$seq300" "$seq300" "$seq300" >dups.fa
printf '>a/b\n%s\n>ab\n%s\n>..\n%s\n>{}\n%s\n' "$seq300" "$seq300" "$seq300" "$seq300" >steer.fa
run 0 -w 100 -s 100 --values names.tsv --summary names.fa
has out $'names.fa\tCaf\xc3\xa9 \xc3\x85\t300\t'
has out $'names.fa\tctl\\x01z\t300\t'
has names.tsv $'\nCaf\xc3\xa9 \xc3\x85\t1\t100\t'
run 0 -w 100 -s 100 --values names.bedgraph names.fa; has names.bedgraph $'\nCaf\xc3\xa9\t0\t100\t'
for id in 'ref|NC_001136|' $'Caf\xc3\xa9' $'Caf\xc3\xa9 \xc3\x85' 'ctl\x01z' $'Soci\xe9t\xe9' --record=$'Soci\xe9t\xe9 2'; do
    args=("$id")
    [[ $id == --* ]] || args=(--record "$id")
    run 0 -w 100 -s 100 "${args[@]}" names.fa; [ "$(wc -l <out)" -eq 2 ] || fail "${args[*]}: $(cat out)"
done
# --region picks its record by the same bytes.
LOCALE=C.UTF-8 run 0 -w 100 -s 100 --region $'Soci\xe9t\xe9:1-200' names.fa; has out $'\tSoci\xe9t\xe9 2\t200\t'
run 0 -w 100 -s 100 --record 'ref|NC_001136|' -o 'maps/{record}.png' names.fa
[ -s maps/refNC_001136.png ] || fail "{record} is not the ID: $(ls maps)"
# A UTF-8 name names its file and titles its SVG in UTF-8 once.
run 0 -w 100 -s 100 --record $'Caf\xc3\xa9' -o 'maps/{record}.svg' names.fa
has $'maps/Caf\xc3\xa9.svg' $'<title>Caf\xc3\xa9 \xc3\x85'
run 0 -w 100 -s 100 --record chr1 dups.fa; has out $'\tchr1\t300'   # the whole name wins
run 2 -w 100 -s 100 --record dup --values dup.tsv dups.fa "$phix"
has err 'dups.fa: --record "dup" matches 2 records by their ID:'; has err "record 1: dup one"; has err "record 2: dup two"
[ ! -e dup.tsv ] || fail "values written for an ambiguous --record"
run 1 -w 100 -s 100 --all-records -o 'steer/{record}/map.svg' steer.fa
has err 'record "ab" of steer.fa gets the same name as record "a/b" of steer.fa'
[ ! -e map.svg ] && [ -s steer/sequence/map.svg ] && [ -s 'steer/{}/map.svg' ] || fail "record names steered: $(find steer)"

# A bigWig names each record once, as UTF-8 text; one it cannot write
# says why and leaves nothing.
run 1 -w 100 -s 100 --values dups.bw dups.fa; has err 'The values could not be saved to dups.bw: two records are called "dup"'
[ ! -e dups.bw ] || fail "dups.bw written"
run 0 -w 100 -s 100 --values names.bw names.fa
/usr/bin/python3 -c 'import pyBigWig, sys; sys.exit(len(pyBigWig.open("names.bw").chroms()) != 4)' ||
    fail "names.bw: pyBigWig cannot read its chromosomes"
# A NUL in a name is written \x00 in every output, as in the summary, so
# that two names never become one where a reader stops at the NUL.
printf '>s\0a x\n%s\n>s\0b y\n%s\n' "$seq300" "$seq300" >nul.fa
run 0 -w 100 -s 100 --values nul.bw nul.fa
/usr/bin/python3 -c 'import pyBigWig, sys; sys.exit(pyBigWig.open("nul.bw").chroms() != {"s\\x00a": 300, "s\\x00b": 300})' ||
    fail "nul.bw: $(/usr/bin/python3 -c 'import pyBigWig; print(pyBigWig.open("nul.bw").chroms())')"
run 0 -w 100 -s 100 --values nul.tsv nul.fa; has nul.tsv $'\ns\\x00b y\t1\t100\t'
if grep -qaP '\x00' nul.tsv; then fail "nul.tsv holds a NUL"; fi
run 0 -w 100 -s 100 --record 's\x00b' nul.fa; has out $'\ts\\x00b y\t300\t'
# Sizes and zoom, and a BMP as Save writes it.
run 0 -o big.png --size 1000x400 --zoom 2 "$lambda"
file big.png | grep -q "2000 x 800" || fail "big.png: $(file big.png)"
run 0 -o map.bmp "$lambda"
file map.bmp | grep -q "PC bitmap" || fail "map.bmp: $(file map.bmp)"
# A window system named in the environment that cannot start here (no
# display, a display nobody answers on, not installed) leaves the drawing to
# the offscreen one: the same bytes, nothing said, no abort. (Qt 6.8's xcb
# plugin leaks what it made before it gave up, so a sanitizer build looks
# for no leaks here.)
n=0
for platform in "QT_QPA_PLATFORM=xcb" "QT_QPA_PLATFORM=xcb DISPLAY=:4093" "QT_QPA_PLATFORM=wayland" \
                "QT_QPA_PLATFORM=nonesuch"; do
    n=$((n + 1))
    env -i PATH=/usr/bin:/bin ASAN_OPTIONS=detect_leaks=0 $platform "$map" -o "platform$n.bmp" "$lambda" >out 2>err
    status=$?
    [ "$status" -eq 0 ] && [ ! -s err ] && cmp -s map.bmp "platform$n.bmp" ||
        fail "$platform: exit $status, stderr: $(cat err)"
done
# An output that cannot be written fails the file, saying why.
touch plain
run 1 -o plain/map.png "$lambda"; has err "The picture could not be saved to plain/map.png: Not a directory."
run 1 --values plain/v.bw "$lambda"; has err "The values could not be saved to plain/v.bw: Not a directory."
run 1 --islands plain/i.bed "$lambda"; has err "The islands could not be saved to plain/i.bed: Not a directory."
# Every kind of output cut short: by a full disk (a tmpfs of 8 KiB, as
# root; skipped otherwise) and by a file size limit of 4 KiB (any user).
# Each fails its file with the system's reason, keeps the earlier file and
# leaves nothing beside it.
outputs=("-o x.svg" "-o x.pdf" "-o x.png" "-o x.bmp" "--overview o.svg" "--overview o.pdf" "--overview o.png"
         "--values x.tsv" "--values x.bedgraph" "--values x.bw" "--circular c.svg" "--circular c.png")
what() { case $1 in -o) echo picture ;; --overview) echo overview ;; --circular) echo circular map ;; --islands) echo islands ;; *) echo values ;; esac; }
limited() { (ulimit -f 4 && trap '' XFSZ && exec "$@"); }
cut_short() { # FOLDER REASON [limited]
    local folder=$1 reason=$2 option name; shift 2
    for output in "${outputs[@]}"; do
        read -r option name <<<"$output"
        echo earlier >"$folder/$name"
        "$@" env -i PATH=/usr/bin:/bin "$map" -w 100 -s 10 $option "$folder/$name" "$lambda" >out 2>err
        [ $? -eq 1 ] || fail "$output in $folder did not fail: $(cat err)"
        has err "The $(what $option) could not be saved to $folder/$name: $reason."
        [ "$(cat "$folder/$name")" = earlier ] && [ "$(ls -A "$folder")" = "$name" ] ||
            fail "$output in $folder: the earlier file is not kept alone: $(ls -lA "$folder")"
        rm -f "$folder/$name"
    done
}
mkdir -p limited && cut_short limited "File too large" limited
mkdir -p full
if [ "$(id -u)" -ne 0 ]; then
    echo "SKIP: a full disk needs root to mount a tmpfs"
elif ! mount -t tmpfs -o size=8k tmpfs full 2>mount.err; then
    echo "SKIP: a full disk: no tmpfs: $(cat mount.err)"
else
    trap 'umount "$work/full"' EXIT
    cut_short full "No space left on device"
    umount full && trap - EXIT
fi
# What is at an output's name, for each kind: a link is replaced, never
# followed (the file it points to stays as it was, a dangling one creates
# nothing); a read-only file, decided by its mode even for root, and a FIFO
# are refused and stay.
for output in "-o l.svg" "-o l.bmp" "--overview l.pdf" "--values l.tsv" "--values l.bw" "--circular l.svg" "--islands l.bed"; do
    read -r option name <<<"$output"
    rm -rf links && mkdir links && echo other >links/other
    for target in other nowhere; do
        ln -sfn $target links/$name
        run 0 -w 100 -s 10 $option links/$name "$lambda"
        [ -f links/$name ] && [ ! -L links/$name ] && [ "$(cat links/other)" = other ] && [ ! -e links/nowhere ] ||
            fail "$output over a link to $target: $(ls -lA links)"
    done
    echo earlier >links/$name && chmod 444 links/$name
    run 1 -w 100 -s 10 $option links/$name "$lambda"
    has err "The $(what $option) could not be saved to links/$name: it is read-only."
    [ "$(cat links/$name)" = earlier ] || fail "$output replaced a read-only file"
    rm -f links/$name && mkfifo links/$name
    run 1 -w 100 -s 10 $option links/$name "$lambda"
    has err "The $(what $option) could not be saved to links/$name: it is not a regular file."
    [ -p links/$name ] && [ "$(ls -A links)" = "$name"$'\n'other ] ||
        fail "$output replaced a FIFO: $(ls -lA links)"
done
# An output that is one of the inputs, however it is named, is a usage
# error; one named after a record is caught when the record comes.
cp "$phix" genome.tsv && cp "$phix" genome.bed && cp "$phix" genome.svg && cp "$phix" x.png && ln -sf genome.tsv genome-link.fa
for case in "values genome.tsv would replace the input file genome.tsv|--values genome.tsv genome.tsv" \
            "values ./genome.tsv would replace the input file genome-link.fa|--values ./genome.tsv $phix genome-link.fa" \
            "picture x.png would replace the input file x.png|-w 100 -s 50 -o {}.png x.png" \
            "overview $work/genome.svg would replace the input file genome.svg|--overview $work/genome.svg genome.svg" \
            "islands genome.bed would replace the input file genome.bed|--islands {}.bed genome.bed"; do
    run 2 ${case#*|}; has err "${case%%|*}"
done
env -i PATH=/usr/bin:/bin "$map" --values genome.tsv - <genome.tsv >out 2>err
[ $? -eq 2 ] || fail "an output over standard input's file: $(cat err)"
has err "values genome.tsv would replace the file on standard input"
printf '>genome\nACGTACGTAC\n' >genome.png
run 1 -w 2 -s 2 --all-records -o '{record}.png' genome.png
has err 'The picture could not be saved to genome.png: record "genome" of genome.png gets the same name as the input file genome.png.'
for f in genome.tsv genome.svg x.png; do cmp -s "$phix" $f || fail "input $f was replaced"; done
grep -q '^>genome$' genome.png || fail "input genome.png was replaced"

# The overview: a page of every record, longest first, the rest in a line.
# Records r01..r30 of 100 to 3,000 bp: five rows leave 25 records of
# 100 .. 2,500 bp (32.5 kb); under 2,000 bp are 19 (19.0 kb).
for k in $(seq -w 1 30); do printf '>r%s record %s\n%s\n' "$k" "$k" "$(printf 'ACGGTCAAGT%.0s' $(seq $((10#$k * 10))))"; done >many.fa
run 0 -w 50 -s 50 --overview many.svg --max-rows 5 many.fa
[ ! -s out ] || fail "an overview alone printed a summary: $(cat out)"
for text in ">r30<" ">r26<" ">3,000 bp<" ">and 25 shorter records, 32.5 kb<" 'viewBox="0 0 794 1123"'; do
    has many.svg "$text"
done
if grep -q '>r25<' many.svg; then fail "a sixth row past --max-rows 5"; fi
run 0 -w 50 -s 50 --overview many-long.svg --min-length 2,000 --max-rows 5 --plot cumulative many.fa
has many-long.svg ">19 records under 2,000 bp not shown, 19.0 kb<"
has many-long.svg ">and 6 shorter records, 13.5 kb<"
# The circular map leaves out the same records, each circle labelled.
run 0 --circular many-circles.svg --max-rows 5 --min-length 2,000 many.fa
for text in ">r30<" ">r26<" ">3,000 bp<" ">and 6 shorter records, 13.5 kb<" 'viewBox="0 0 794 1123"'; do
    has many-circles.svg "$text"
done
# A record is a circle when the file says so, also a GFF3 file's Is_circular.
printf '##gff-version 3\npX\tt\tregion\t1\t600\t.\t+\t.\tID=pX;Is_circular=true\n##FASTA\n>pX\n%s\n' \
    "$(printf 'ACGGTCAAGT%.0s' $(seq 60))" >circle.gff3
run 0 --circular circle.svg circle.gff3
has circle.svg ">600 bp, circular<"
# Sizes: A4 and Letter pages, zoom, a page in pixels; several files by {}.
run 0 -w 200 -s 100 --overview 'ov/{}.png' "$lambda" "$phix"
file ov/lambda_virus.png | grep -q "794 x 1123" && file ov/phix174.png | grep -q "794 x 1123" ||
    fail "A4 overviews: $(file ov/*)"
run 0 -w 200 -s 100 --overview ov2.png --zoom 2 -o ov2map.svg "$lambda"
file ov2.png | grep -q "1588 x 2246" || fail "ov2.png: $(file ov2.png)"
run 0 -w 200 -s 100 --overview ov3.png --page 300x200 "$lambda"
file ov3.png | grep -q "300 x 200" || fail "ov3.png: $(file ov3.png)"
run 0 -w 200 -s 100 --overview ov.pdf --page letter "$excerpt"
has ov.pdf "/MediaBox [0 0 612.000000 792.000000]"
for args in "--overview o.bmp" "--overview o.png --max-rows 0" "--overview o.png --min-length ten" \
            "--overview o.png --page a5" "--min-length 10" "--overview o.png $phix" "--circular o.bmp" \
            "--circular o.png $phix" "--circular o.png --region 1-100" "--circular o.png -"; do
    run 2 $args "$lambda"; has err "Try 'quillet-map --help'"
done
run 1 -w 200 -s 100 --overview plain/ov.png "$lambda"; has err "The overview could not be saved to plain/ov.png: Not a directory."
run 1 -w 200 -s 100 --overview same.png -o same.png "$lambda"; has err "the overview of $lambda gets the same name as"

# --index writes the .fai and .gzi samtools faidx writes, byte for byte, and
# refuses what samtools refuses: plain and bgzip files, one record and many,
# line widths of 1 to 80, CRLF, a last line without its line feed, blank
# lines between records, a repeated name, a file ending in ">"; then lines
# of different lengths inside a record, a blank line inside one, a record
# without sequence at the end, text before the first header.
if command -v samtools >/dev/null && command -v bgzip >/dev/null; then
    mkdir -p idx && python3 - idx <<'PY'
import random, sys
random.seed(7)
def rec(name, n, w, eol="\n", last=True):
    s = "".join(random.choice("ACGTNacgtn") for _ in range(n))
    lines = [s[i:i + w] for i in range(0, n, w)]
    return ">" + name + eol + eol.join(lines) + (eol if last and lines else "")
cases = {
    "many": "".join(rec("r%d x" % i, random.randint(1, 500), random.choice([1, 7, 60, 80])) for i in range(20)),
    "big": "".join(rec("chr%d" % i, 150000, 60) for i in range(3)),
    "crlf": rec("a", 300, 70, "\r\n") + rec("b", 50, 70, "\r\n"),
    "nolf": rec("a", 300, 60) + rec("b", 125, 60, last=False),
    "blank": "\n" + rec("a", 300, 60) + "\n\n" + rec("b", 20, 60) + rec("a", 5, 60) + ">\tname\tx\nACGT\n>",
    "longer": ">a\nACGT\nACGTA\n", "inner": ">a\nACGT\n\nACGT\n", "shortmid": ">a\nACGT\nAC\nACGT\n",
    "noseq": rec("a", 100, 60) + ">b\n", "text": "hello\n" + rec("a", 10, 60),
}
for name, text in cases.items():
    open(sys.argv[1] + "/" + name + ".fa", "w", newline="").write(text)
PY
    head -c 200000 idx/big.fa | bgzip >idx/joined.fa.gz && tail -c +200001 idx/big.fa | bgzip >>idx/joined.fa.gz
    for f in idx/*.fa; do bgzip -k "$f"; done
    for f in idx/*.fa idx/*.fa.gz; do
        mkdir -p "$f.s" && cp "$f" "$f.s/x" && samtools faidx "$f.s/x" 2>/dev/null
        samtools_status=$?
        "$map" --index "$f" 2>err
        if [ "$samtools_status" -eq 0 ]; then
            for i in fai gzi; do
                [ ! -e "$f.s/x.$i" ] || cmp -s "$f.s/x.$i" "$f.$i" || fail "--index $f: $f.$i differs from samtools' $(cat err)"
            done
        else
            grep -q "^quillet-map: $f cannot be indexed: " err || fail "--index $f: samtools refused it, we said $(cat err)"
        fi
    done
    # --record through the indexes gives the values of a whole read; an
    # index older than its file, or one that names other places, is refused
    # by name and the file read whole.
    mkdir -p whole
    for f in many.fa many.fa.gz crlf.fa.gz nolf.fa joined.fa.gz; do
        cp "idx/$f" "whole/$f"
        for r in $(cut -f1 "idx/$f.fai" | sed -n '1p;2p;$p'); do
            run 0 -w 7 -s 3 --record "$r" --values "idx/$r.tsv" "idx/$f"
            [ ! -s err ] || fail "--record $r through the indexes of $f: $(cat err)"
            run 0 -w 7 -s 3 --record "$r" --values "whole/$r.tsv" "whole/$f"
            cmp -s "idx/$r.tsv" "whole/$r.tsv" || fail "--record $r of $f: the indexes changed the values"
            # A stretch through the line layout: the whole record, its middle
            # third, one that ends past it (refused alike).
            len=$(awk -v r="$r" '$1 == r { print $2 }' "idx/$f.fai")
            for stretch in "1-$len" "$((len / 3 + 1))-$((len * 2 / 3 + 1))" "2-$((len + 1))"; do
                for d in idx whole; do
                    rm -f "$d/stretch.tsv"
                    "$map" -w 7 -s 3 --region "$r:$stretch" --values "$d/stretch.tsv" --summary "$d/$f" >"$d/out" 2>"$d/err"
                    echo "status $?" >>"$d/err"
                    sed -i "s|$d/||g" "$d/out" "$d/err"
                done
                cmp -s idx/err whole/err && cmp -s idx/out whole/out &&
                    { [ ! -e idx/stretch.tsv ] || cmp -s idx/stretch.tsv whole/stretch.tsv; } ||
                    fail "--region $r:$stretch of $f: the indexes changed it: $(cat idx/err whole/err)"
            done
        done
    done
    touch -d '2001-01-01' idx/many.fa.fai
    run 0 -w 7 -s 3 --record r3 --summary idx/many.fa; has err "idx/many.fa.fai is older than idx/many.fa, so it is not used"
    # A record read through a bgzip file's indexes is read again (the
    # explorer's tracks) where its file has it.
    run 0 -w 100 -s 100 --record chr2 --tracks idx/tracks.png idx/big.fa.gz
    [ -s idx/tracks.png ] && [ ! -s err ] || fail "--tracks of a record through the indexes: $(cat err)"
    head -c 12 idx/crlf.fa.gz.fai >idx/cut.fai && mv idx/cut.fai idx/crlf.fa.gz.fai
    run 0 -w 7 -s 3 --region a:5-50 --summary idx/crlf.fa.gz; has err "idx/crlf.fa.gz.fai: line 1 "
    has err "so it is not used: idx/crlf.fa.gz is read whole"
    cp idx/many.fa.gz.gzi idx/big.fa.gz.gzi
    run 0 -w 7 -s 3 --record chr2 --summary idx/big.fa.gz; has err "idx/big.fa.gz.gzi names other blocks than idx/big.fa.gz has"
    gzip -c idx/many.fa >idx/gzip.fa.gz
    run 1 --index idx/gzip.fa.gz; has err "idx/gzip.fa.gz cannot be indexed: it is compressed with gzip, not in bgzip's blocks"
else
    echo "note: samtools or bgzip missing (packages samtools, tabix); --index not checked against samtools"
fi
run 2 --index -w 10 "$phix"; has err "--index writes the files' indexes only"
run 2 --index -; has err "standard input (-) cannot be indexed"

# The explorer's tracks beside an annotation: its features on a record the
# sequence file lacks are counted on standard error, naming the annotation
# file; a file that is no annotation is refused by its name, and a stream
# cannot be read twice.
gff3=$src/tests/data/ecoli_excerpt.gff3
run 0 --tracks tracks.svg --features "$gff3" "$lambda"
has err "ecoli_excerpt.gff3: warning: "; has err "features on NC_000913.3, which the sequence file does not hold ($lambda)"
has tracks.svg "<text"
run 0 --tracks tracks.png --region 1-20k --size 600x300 --zoom 2 "$lambda"; [ ! -s err ] || fail "tracks: $(cat err)"
run 1 --tracks notes.png --features "$phix" "$lambda"; has err "phix174.fa"; has err "not annotation"
[ ! -e notes.png ] || fail "--features of a FASTA file wrote the tracks"
run 2 --tracks t.png -; has err "standard input (-) cannot be read twice"
cp "$gff3" ann.svg && run 2 --tracks ann.svg --features ann.svg "$lambda"; has err "tracks ann.svg would replace"
rm -f tracks.fifo && mkfifo tracks.fifo && { cat "$lambda" >tracks.fifo & }
run 1 -w 100 -s 100 --tracks fifo.png tracks.fifo; has err "cannot read record"; wait
# The caller's locale: the C locale of cron and batch jobs, a locale of
# another character set and one with a decimal comma change no byte of the
# outputs and put nothing on standard error.
outputs=(-w 200 -s 100 --values loc.tsv --overview loc.svg -o loc.pdf --summary "$phix")
locale_run() { # NAME VARIABLE=VALUE...
    local name=$1; shift
    env -i PATH=/usr/bin:/bin "$@" "$map" "${outputs[@]}" >loc.out 2>err || fail "$name: exited $?"
    [ ! -s err ] || fail "$name: standard error says $(head -c 600 err)"
    mkdir -p "locale-$name" && mv loc.tsv loc.svg loc.pdf loc.out "locale-$name/"
}
locale_run C LC_ALL=C
mkdir -p locales
for l in de_DE.ISO-8859-1 de_DE.UTF-8; do
    if ! localedef -i "${l%.*}" -f "${l#*.}" "locales/$l" 2>/dev/null; then
        echo "note: no $l locale could be made (localedef, package locales); not run"
        continue
    fi
    locale_run "$l" LOCPATH="$PWD/locales" LC_ALL="$l"
    for f in loc.tsv loc.svg loc.out; do
        cmp -s "locale-C/$f" "locale-$l/$f" || fail "$l changes $f: $(diff "locale-C/$f" "locale-$l/$f" | head -5)"
    done
    [ -s "locale-$l/loc.pdf" ] || fail "$l: no PDF"
done

echo "$failures failed"
[ "$failures" -eq 0 ]
