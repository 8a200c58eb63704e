#!/usr/bin/env python3
"""Composition islands checked against a computation of their own.

  check_islands.py make FASTA
      writes a genome of two records, random sequence of even G+C with
      islands planted at known places (see PLANTED) and a run of N;
  check_islands.py check FASTA BED WINDOW STEP K MIN per-record|genome
      computes from FASTA, with exact fractions, each window's G+C, the
      mean and population SD (windows of more than half N left out), the
      windows at least K SD from the mean, merged where they touch or
      overlap and kept from MIN bases, and compares them with BED line by
      line (track lines too); then checks that every planted island lies in
      an island of its side.
"""
import math
import random
import re
import sys
from fractions import Fraction

# record, 0-based start, end, G+C fraction of the planted stretch
PLANTED = [("chrA", 40000, 48000, 0.75), ("chrA", 100000, 106000, 0.25), ("chrB", 120000, 127000, 0.78)]
GAP = ("chrA", 70000, 74000)  # N
LENGTHS = {"chrA": 400000, "chrB": 200000}


def make(path):
    rng = random.Random(29)
    with open(path, "w") as out:
        for name, length in LENGTHS.items():
            seq = []
            for i in range(length):
                gc = 0.5
                for rec, start, end, frac in PLANTED:
                    if rec == name and start <= i < end:
                        gc = frac
                if rng.random() < gc:
                    seq.append(rng.choice("GC"))
                else:
                    seq.append(rng.choice("AT"))
            if GAP[0] == name:
                seq[GAP[1] : GAP[2]] = "N" * (GAP[2] - GAP[1])
            out.write(">%s planted islands\n" % name)
            text = "".join(seq)
            for i in range(0, len(text), 70):
                out.write(text[i : i + 70] + "\n")


def read_fasta(path):
    records, name = [], None
    for line in open(path):
        line = line.rstrip("\n")
        if line.startswith(">"):
            name = line[1:].split()[0]
            records.append([name, []])
        elif name is not None:
            records[-1][1].append(line.strip())
    return [(n, "".join(parts)) for n, parts in records]


def windows_of(seq, window, step):
    """(start, G+C % as a Fraction or None for a gap window) per window."""
    out = []
    for start in range(0, len(seq) - window + 1, step):
        w = seq[start : start + window].upper()
        n = w.count("N")
        gc = w.count("G") + w.count("C")
        gap = 2 * n > window
        out.append((start, None if gap else Fraction(100 * (2 * gc + n), 2 * window)))
    return out


def stats(values):
    values = [v for v in values if v is not None]
    mean = sum(values, Fraction(0)) / len(values)
    var = sum(((v - mean) ** 2 for v in values), Fraction(0)) / len(values)
    return mean, math.sqrt(var), len(values)


def islands(wins, window, mean, sd, k, minimum):
    found = []
    if sd == 0:
        return found
    for high in (True, False):
        run = None
        for start, v in wins:
            if v is None:
                continue
            z = float(v - mean) / sd
            if abs(z) < k or (z > 0) != high:
                continue
            if run and start <= run[1]:
                run[1] = max(run[1], start + window)
                run[2] = max(run[2], abs(z))
            else:
                if run and run[1] - run[0] >= minimum:
                    found.append(run)
                run = [start, start + window, abs(z), high]
        if run and run[1] - run[0] >= minimum:
            found.append(run)
    return sorted(found, key=lambda r: (r[0], r[1]))


def check(fasta, bed, window, step, k, minimum, mode):
    window, step, k, minimum = int(window), int(step), float(k), int(minimum)
    records = [(n, windows_of(s, window, step)) for n, s in read_fasta(fasta)]
    groups = [records] if mode == "genome" else [[r] for r in records]
    expected = []  # ("track", mean, sd, windows) or (name, start, end, side, score)
    for group in groups:
        mean, sd, count = stats([v for _, wins in group for _, v in wins])
        expected.append(("track", float(mean), sd, count))
        for name, wins in group:
            for start, end, z, high in islands(wins, window, mean, sd, k, minimum):
                expected.append((name, start, end, "high" if high else "low", min(round(z * 100), 1000)))
    lines = [l.rstrip("\n") for l in open(bed) if l.strip()]
    problems = []
    if len(lines) != len(expected):
        problems.append("%d lines, %d expected" % (len(lines), len(expected)))
    for line, want in zip(lines, expected):
        if want[0] == "track":
            m = re.search(r"window=(\d+) step=(\d+) mean=(\S+) sd=(\S+) k=(\S+) min=(\d+) windows=(\d+)", line)
            ok = m and (int(m[1]), int(m[2]), int(m[6]), int(m[7])) == (window, step, minimum, want[3])
            ok = ok and math.isclose(float(m[3]), want[1], rel_tol=1e-5) and math.isclose(float(m[4]), want[2], rel_tol=1e-5)
            ok = ok and math.isclose(float(m[5]), k)
            if not ok:
                problems.append("track line %r, expected mean %g sd %g windows %d" % (line, want[1], want[2], want[3]))
            continue
        got = line.split("\t")
        if len(got) != 6 or got[5] != "." or (got[0], int(got[1]), int(got[2]), got[3]) != want[:4] or \
                abs(int(got[4]) - want[4]) > 1:
            problems.append("line %r, expected %r" % (line, want))
    # The planted islands are found where they were planted.
    if mode == "per-record" and k <= 3:
        for rec, start, end, frac in PLANTED:
            side = "high" if frac > 0.5 else "low"
            if not any(w[0] == rec and w[3] == side and w[1] <= start + window and w[2] >= end - window
                       for w in expected if w[0] != "track"):
                problems.append("planted %s island %s:%d-%d not found" % (side, rec, start, end))
    for p in problems[:20]:
        print(p)
    return 1 if problems else 0


if __name__ == "__main__":
    if len(sys.argv) == 3 and sys.argv[1] == "make":
        make(sys.argv[2])
        sys.exit(0)
    if len(sys.argv) == 9 and sys.argv[1] == "check":
        sys.exit(check(*sys.argv[2:]))
    print(__doc__)
    sys.exit(2)
