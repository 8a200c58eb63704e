#!/usr/bin/python3
"""Checks quillet-map's bigWig with a real reader (pyBigWig, on libBigWig)
against the TSV and bedGraph of the same run, and that the bedGraph itself
is what genome browsers and the converters accept.

Usage: check_bigwig.py OUT.bw OUT.tsv OUT.bedgraph SUMMARY gc|skew|cumulative [ID=LENGTH...] [--gaps]
SUMMARY is quillet-map's --summary of the run (record lengths and windows);
ID=LENGTH gives a record's whole length where the run computed only a
stretch of it (the summary then has the stretch's). A window whose value
is NA in the TSV (a gap: mostly unknown bases, with --mark-unknown) has
no interval in the bedGraph or the bigWig, which leave a hole there;
--gaps says that the TSV must have such a window. --circular says that the
records are circles whose windows run past the origin: a TSV window across
it ends below its start, and its bedGraph interval is cut in two there.
Prints what is wrong and exits 1, or exits 0.
"""
import struct
import sys

import pyBigWig

bw_path, tsv_path, bedgraph_path, summary_path, plot = sys.argv[1:6]
problems = []


def record_id(name):
    return name.split(" ")[0]


def as_float32(text):
    return struct.unpack("f", struct.pack("f", float(text)))[0]


# Records from the summary: ID -> length, for those with windows.
lengths = {}
for line in open(summary_path, encoding="latin-1").read().splitlines()[1:]:
    f = line.split("\t")
    if int(f[5]) > 0:
        lengths[record_id(f[1])] = int(f[2])
for given in sys.argv[6:]:
    if given.startswith("--"):
        continue
    chrom, length = given.rsplit("=", 1)
    lengths[chrom] = int(length)

# The TSV: every window's coordinates and plotted value, by record; a gap
# stands between the windows around it.
column = {"gc": 3, "skew": 4, "cumulative": 6}[plot]
windows, gap_before, gaps = {}, {}, 0
for line in open(tsv_path, encoding="latin-1").read().splitlines()[1:]:
    f = line.split("\t")
    chrom = record_id(f[0])
    if f[column] == "NA":
        gap_before.setdefault(chrom, set()).add(len(windows.get(chrom, [])))
        gaps += 1
        continue
    start, end = int(f[1]) - 1, int(f[2])
    if end <= start:  # across the origin of a circle: unrolled
        if "--circular" not in sys.argv:
            problems.append(f"{chrom}: window {f[1]} {f[2]} ends before it starts")
        end += lengths.get(chrom, 0)
    windows.setdefault(chrom, []).append((start, end, f[column]))

# The bedGraph: sorted, no overlap, one interval per window, inside each
# window, and together exactly the windows' extent when they overlap.
lines = open(bedgraph_path, encoding="latin-1").read().splitlines()
if not lines[0].startswith("track type=bedGraph"):
    problems.append("bedGraph has no track line")
intervals = {}
for line in lines[1:]:
    chrom, start, end, value = line.split("\t")
    intervals.setdefault(chrom, []).append((int(start), int(end), value))
if list(intervals) != list(windows):
    problems.append(f"bedGraph records {list(intervals)} differ from the TSV's {list(windows)}")

def check_circle(chrom, spans):
    """Each interval lies in a window of the same value (on the circle),
    every window has one, and they tile the circle when windows overlap."""
    length, wins = lengths.get(chrom, 0), windows.get(chrom, [])
    used = set()
    for i, (start, end, value) in enumerate(spans):
        found = [k for k, (ws, we, wv) in enumerate(wins) if wv == value and
                 any(ws <= start + turn and end + turn <= we for turn in (0, length))]
        if not found:
            problems.append(f"{chrom}: bedGraph line {start} {end} {value} is in no window of its value")
        used.update(found)
        if i > 0 and start < spans[i - 1][1]:
            problems.append(f"{chrom}: bedGraph interval at {start} overlaps or precedes the one before")
        if end > length:
            problems.append(f"{chrom}: bedGraph interval {start} {end} past the circle's {length} bp")
    if len(used) < len(wins):
        problems.append(f"{chrom}: {len(wins) - len(used)} windows have no bedGraph interval")
    step = wins[1][0] - wins[0][0] if len(wins) > 1 else 0
    if 0 < step < wins[0][1] - wins[0][0] and chrom not in gap_before and \
            sum(e - s for s, e, _ in spans) != length:
        problems.append(f"{chrom}: the intervals do not tile the circle of {length} bp")


for chrom, spans in intervals.items():
    if "--circular" in sys.argv:
        check_circle(chrom, spans)
        continue
    if len(spans) != len(windows.get(chrom, [])):
        problems.append(f"{chrom}: {len(spans)} bedGraph lines for {len(windows.get(chrom, []))} windows with a value")
        continue
    for i, (start, end, value) in enumerate(spans):
        wstart, wend, wvalue = windows[chrom][i]
        if not (wstart <= start < end <= wend) or value != wvalue:
            problems.append(f"{chrom}: bedGraph line {start} {end} {value} is not window {wstart} {wend} {wvalue}")
        if i > 0 and start < spans[i - 1][1]:
            problems.append(f"{chrom}: bedGraph interval at {start} overlaps or precedes the one before")
        if i > 0 and i in gap_before.get(chrom, ()) and start == spans[i - 1][1]:
            problems.append(f"{chrom}: no hole at {start} where a gap is")
    if chrom not in gap_before and (spans[0][0] != windows[chrom][0][0] or spans[-1][1] != windows[chrom][-1][1]):
        problems.append(f"{chrom}: bedGraph does not cover the windows' extent")

# The bigWig: the records with windows and their lengths, in file order;
# the bedGraph's intervals with the TSV's values as 32-bit floats, all
# within their chromosome (a reader drops those past its end), and the
# statistics over each chromosome those intervals give, also the mean from
# the zoom levels (what a browser shows of a whole chromosome).
bw = pyBigWig.open(bw_path)
if bw is None or not bw.isBigWig():
    sys.exit(f"{bw_path}: pyBigWig cannot open it as a bigWig")
if list(bw.chroms().items()) != list(lengths.items()):
    problems.append(f"bigWig chromosomes {bw.chroms()} are not {lengths}")
for chrom, spans in intervals.items():
    got = bw.intervals(chrom) or ()
    want = tuple((s, e, as_float32(v)) for s, e, v in spans)
    if got != want:
        problems.append(f"{chrom}: bigWig intervals differ, {len(got)} against {len(want)}, "
                        f"first {got[:2]} against {want[:2]}")
    # The holes of the gaps hold nothing.
    for i in gap_before.get(chrom, ()):
        if 0 < i < len(spans) and bw.intervals(chrom, spans[i - 1][1], spans[i][0]):
            problems.append(f"{chrom}: bigWig intervals over the gap from {spans[i - 1][1]} to {spans[i][0]}")
    if spans[-1][1] > lengths.get(chrom, 0):
        problems.append(f"{chrom}: intervals end at {spans[-1][1]}, past its length {lengths.get(chrom)}")
    high = max(as_float32(v) for _, _, v in spans)
    if bw.stats(chrom, type="max", exact=True) != [high]:
        problems.append(f"{chrom}: bigWig maximum {bw.stats(chrom, type='max', exact=True)}, not {high}")
    zoomed, exact = bw.stats(chrom)[0], bw.stats(chrom, exact=True)[0]
    if zoomed is None or exact is None or abs(zoomed - exact) > 1e-6 * (1 + abs(exact)):
        problems.append(f"{chrom}: mean {zoomed} from the zoom levels, {exact} from the intervals")
bw.close()

# The bedGraph converts to a bigWig, as a user would do it.
converted = pyBigWig.open(bedgraph_path + ".bw", "w")
converted.addHeader(list(lengths.items()))
for chrom, spans in intervals.items():
    try:
        converted.addEntries([chrom] * len(spans), [s for s, _, _ in spans], ends=[e for _, e, _ in spans],
                             values=[float(v) for _, _, v in spans])
    except RuntimeError as e:
        problems.append(f"{chrom}: the bedGraph does not convert to bigWig: {e}")
converted.close()

if "--gaps" in sys.argv and gaps == 0:
    problems.append("the TSV has no gap")

for p in problems[:20]:
    print(p)
sys.exit(1 if problems else 0)
