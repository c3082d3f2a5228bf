#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""Types listings with a typist's slips and an OCR's misreads, and counts
what quorvil-check --hex --repair gives back.

usage: python3 bench/typed.py [--size KIB] [--seed N] [--executable PATH] [QUORVIL QUORVIL_CHECK]

Data: random bytes and a real executable of this machine (cmake's by
default), cut to --size KiB, typed as listings of 8 bytes a line with an
address and of 16 without. Slips: one of a kind in every other block, for
each kind (a wrong digit, an unreadable digit: O for 0 or l for 1, the two
digits of a byte swapped, a digit left out, a digit typed twice, a byte
left out, a byte typed twice, a line left out, a line typed twice); all of
them mixed, one in 20 blocks; and a scan with 2 % of all digits unreadable
(O for 0, l for 1, S for 5, a speck). Then addresses as magazines print
them (`0000 ` 8 a line, `$0000 ` 16 a line): lines left out and typed
twice, and the mixed slips, also saved as UTF-16. Then a listing typed
right against a report typed with slips: a value typed wrong and an
unreadable digit in every eighth block, a block left out, a block typed
twice; the repair must say OK for none of the last two.

For each: the blocks slipped, and of the original's blocks those given back
exactly, left (the repair says they still differ) and wrong (the repair
says they match, but they are not the original's); harmed, the blocks the
listing had right where they stand that the repair has wrong. Wrong and
harmed must be 0: the script exits 1 otherwise. Without the programs
named, it builds the release binaries first.
"""
import argparse
import os
import random
import re
import shutil
import subprocess
import sys
import tempfile

import slips

SIZE = 128
DIGITS = "0123456789ABCDEF"


def typed(data, per, address):
    """The listing's lines, and for each byte its line and the index of its
    first digit in that line. `address` is how a line's address is
    written (True for `0000: `), or nothing."""
    lines, places = [], []
    form = "%04X: " if address is True else address or ""
    for at in range(0, len(data), per):
        head = form % at if form else ""
        row = data[at:at + per]
        for k in range(len(row)):
            places.append((len(lines), len(head) + 3 * k))
        lines.append(head + " ".join("%02X" % b for b in row))
    return lines, places


# Each slip changes line `i` at `p`, the first digit of a byte: false where
# that byte gives it nothing to do.
def wrong_digit(r, lines, i, p):
    p += r.randrange(2)
    lines[i] = lines[i][:p] + r.choice(DIGITS.replace(lines[i][p], "")) + lines[i][p + 1:]
    return True


def unreadable(r, lines, i, p):
    options = [p + d for d in (0, 1) if lines[i][p + d] in "01"]
    if not options:
        return False
    p = r.choice(options)
    lines[i] = lines[i][:p] + {"0": "O", "1": "l"}[lines[i][p]] + lines[i][p + 1:]
    return True


def swapped(r, lines, i, p):
    if lines[i][p] == lines[i][p + 1]:
        return False
    lines[i] = lines[i][:p] + lines[i][p + 1] + lines[i][p] + lines[i][p + 2:]
    return True


def missing_digit(r, lines, i, p):
    p += r.randrange(2)
    lines[i] = lines[i][:p] + lines[i][p + 1:]
    return True


def doubled_digit(r, lines, i, p):
    p += r.randrange(2)
    lines[i] = lines[i][:p] + lines[i][p] + lines[i][p:]
    return True


def missing_byte(r, lines, i, p):
    lines[i] = lines[i][:p] + lines[i][p + 3:]
    return True


def doubled_byte(r, lines, i, p):
    lines[i] = lines[i][:p] + lines[i][p:p + 2] + " " + lines[i][p:]
    return True


def missing_line(r, lines, i, p):
    lines[i] = None
    return True


def doubled_line(r, lines, i, p):
    lines[i] = lines[i] + "\n" + lines[i]
    return True


SLIPS = [("wrong digit", wrong_digit), ("unreadable digit", unreadable), ("swapped digits", swapped),
         ("digit left out", missing_digit), ("digit typed twice", doubled_digit), ("byte left out", missing_byte),
         ("byte typed twice", doubled_byte), ("line left out", missing_line), ("line typed twice", doubled_line)]


def slipped(data, per, address, choose, seed):
    """The listing's text, and the blocks slipped."""
    r = random.Random(seed)
    lines, places = typed(data, per, address)
    hit = []
    blocks = (len(data) + SIZE - 1) // SIZE
    chosen = [(k, choose(r, k)) for k in range(blocks)]
    # From the last block back, so that the places before a slip stand; a
    # line takes one slip.
    done = set()
    for k, slip in reversed(chosen):
        if slip is None:
            continue
        at = r.randrange(SIZE * k, min(SIZE * k + SIZE, len(data)))
        i, p = places[at]
        if i not in done and slip(r, lines, i, p):
            done.add(i)
            hit.append(k)
    return "".join(line + "\n" for line in lines if line is not None), sorted(hit)


def scanned(data, per, address, seed):
    r = random.Random(seed)
    lines, _ = typed(data, per, address)
    misread = {"0": "O", "1": "l", "5": "S"}
    hit = set()
    start = len(typed(b"\0", 1, address)[0][0]) - 2
    for i, line in enumerate(lines):
        chars = list(line)
        for p in range(start, len(chars)):
            if chars[p] in DIGITS and r.random() < 0.02:
                chars[p] = misread.get(chars[p], ".")
                hit.add((i * per + (p - start) // 3) // SIZE)
        lines[i] = "".join(chars)
    return "".join(line + "\n" for line in lines), sorted(hit)


def as_read(text, address):
    """The listing's bytes as its digits pair up as typed, unreadable ones
    as 0: what the listing has right where it stands."""
    digits = []
    for line in text.split("\n"):
        for c in line.split(None, 1)[1] if address and " " in line else line:
            if c in DIGITS:
                digits.append(c)
            elif c not in " ":
                digits.append("0")
    return bytes.fromhex("".join(digits[:len(digits) // 2 * 2]))


def count(quorvil, check, data, text, hit, address, work, encoding="utf-8", report_slip=None):
    """What the repair gives back; with `report_slip`, the listing is typed
    right and the report has the slips, made by report_slip(report)."""
    original, listing, repaired = (os.path.join(work, name) for name in ("original", "listing", "repaired"))
    with open(original, "wb") as f:
        f.write(data)
    with open(listing, "wb") as f:
        f.write(text.encode(encoding))
    report = subprocess.run([quorvil, original], stdout=subprocess.PIPE, check=True).stdout
    if report_slip is not None:
        report = report_slip(report)
    with open(original + ".txt", "wb") as f:
        f.write(report)
    run = subprocess.run([check, "--hex", "--repair", repaired, original + ".txt", listing], stdout=subprocess.PIPE,
                         preexec_fn=slips.bounded, timeout=600)
    if run.returncode not in (0, 1):
        raise SystemExit("quorvil-check failed (%d)" % run.returncode)
    with open(repaired, "rb") as f:
        fixed = f.read()
    stored = slips.records(report)
    now = slips.records(subprocess.run([quorvil, repaired], stdout=subprocess.PIPE, check=True).stdout)
    exact, left, wrong, harmed, _, _ = slips.tally(data, slips.blocks_of(fixed), as_read(text, address), stored, now, hit)
    # A report that lost or doubled a block must never make OUTPUT OK.
    if report_slip is not None and run.stdout.endswith(b": OK\n") and fixed != data:
        wrong += 1
    count.named = len(re.findall(rb"(?m)^\d+ (?:missing|extra) bytes at line \d+, column 1 \([^)]*\), the line for"
                                 rb" address [0-9A-F]+", run.stdout))
    return len(hit), exact, left, wrong, harmed


# A report typed with its slips: each takes the report's text and makes one
# kind of slip, in every eighth block or once in the middle; `hit` are the
# blocks whose report it changed.
def report_values(report, misread):
    """A digit of one value in every eighth block typed wrong, or misread."""
    lines = report.decode().split("\n")
    r = random.Random(len(report))
    for i in range(1, len(lines), 40):  # a row sums' line every eight blocks
        p = 3 * r.randrange(16) + r.randrange(2)
        was = lines[i][p]
        now = ({"0": "O", "1": "l", "5": "S", "8": "B"}.get(was, ".") if misread
               else r.choice(DIGITS.replace(was, "")))
        lines[i] = lines[i][:p] + now + lines[i][p + 1:]
    return "\n".join(lines).encode()


def report_block(report, twice):
    """The block in the middle of the report left out or typed twice."""
    records = slips.records(report)
    k = len(records) // 2
    records[k:k + 1] = [records[k]] * 2 if twice else []
    return b"".join(records)


REPORT_SLIPS = [("report: a value typed wrong", lambda rep: report_values(rep, False), 8),
                ("report: a digit unreadable", lambda rep: report_values(rep, True), 8),
                ("report: a block left out", lambda rep: report_block(rep, False), 0),
                ("report: a block typed twice", lambda rep: report_block(rep, True), 0)]


HEAD = "  %-26s %7s %8s %9s %6s %6s %6s" % ("", "slipped", "given", "back", "left", "wrong", "harmed")


def row(label, counts):
    hit, exact, left, wrong, harmed = counts
    return "  %-26s %7d %8d (%5.1f %%) %6d %6d %6d" % (label, hit, exact, 100.0 * exact / max(hit, 1), left, wrong,
                                                       harmed)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--size", type=int, default=256, help="KiB of each kind of data")
    parser.add_argument("--seed", type=int, default=1)
    parser.add_argument("--executable", default=shutil.which("cmake"))
    parser.add_argument("programs", nargs="*")
    options = parser.parse_args()
    quorvil, check = [os.path.abspath(p) for p in options.programs] if options.programs else slips.build()
    size = options.size << 10
    with open(options.executable, "rb") as f:
        executable = f.read(size)
    data = [("random", random.Random(options.seed).randbytes(size)), (os.path.basename(options.executable), executable)]
    bad = 0
    with tempfile.TemporaryDirectory(prefix="quorvil-typed-") as work:
        for name, content in data:
            blocks = (len(content) + SIZE - 1) // SIZE
            for per, address in ((8, "%04X "), (16, "$%04X ")):
                print("%s, %d KiB, %d bytes a line, addresses written as %r: blocks slipped, given back exactly,"
                      " left, wrong, harmed" % (name, len(content) >> 10, per, address))
                print(HEAD)
                every_other = [(label, slip) for label, slip in SLIPS if label.startswith("line")]
                runs = [(label, slipped(content, per, address, lambda r, k, s=slip: s if k % 2 == 1 else None,
                                        options.seed), "utf-8") for label, slip in every_other]
                mixed = slipped(content, per, address,
                                lambda r, k: r.choice(SLIPS)[1] if r.random() < 0.05 else None, options.seed)
                runs += [("mixed, 1 in 20 blocks", mixed, "utf-8"), ("mixed, saved as UTF-16", mixed, "utf-16")]
                for label, (text, hit), encoding in runs:
                    counts = count(quorvil, check, content, text, hit, address, work, encoding)
                    bad += counts[3] + counts[4]
                    print(row(label, counts), flush=True)
                    if label.startswith("line"):
                        print("    named at their line, with its address: %d of %d" % (count.named, len(hit)))
            print("%s, %d KiB, typed right, 8 bytes a line: the report typed with slips" % (name, len(content) >> 10))
            print(HEAD)
            text = "".join(line + "\n" for line in typed(content, 8, True)[0])
            for label, slip, every in REPORT_SLIPS:
                hit = list(range(0, blocks, every)) if every else [blocks // 2]
                counts = count(quorvil, check, content, text, hit, True, work, report_slip=slip)
                bad += counts[3] + counts[4]
                print(row(label, counts), flush=True)
        for name, content in data:
            for per, address in ((8, True), (16, False)):
                print("%s, %d KiB, %d bytes a line%s: blocks slipped, given back exactly, left, wrong, harmed"
                      % (name, len(content) >> 10, per, " with an address" if address else ""))
                print(HEAD)
                runs = [(label, slipped(content, per, address, lambda r, k, s=slip: s if k % 2 == 1 else None,
                                        options.seed)) for label, slip in SLIPS]
                runs.append(("mixed, 1 in 20 blocks", slipped(
                    content, per, address, lambda r, k: r.choice(SLIPS)[1] if r.random() < 0.05 else None,
                    options.seed)))
                runs.append(("scanned, 2 % unreadable", scanned(content, per, address, options.seed)))
                for label, (text, hit) in runs:
                    counts = count(quorvil, check, content, text, hit, address, work)
                    bad += counts[3] + counts[4]
                    print(row(label, counts), flush=True)
    return 1 if bad > 0 else 0


if __name__ == "__main__":
    sys.exit(main())
