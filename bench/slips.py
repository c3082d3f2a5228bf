#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""Simulates the slips people make, one in every other block, and counts
what quorvil-check --repair gives back.

usage: python3 bench/slips.py [--size MIB] [--seed N] [--executable PATH] [QUORVIL QUORVIL_CHECK]

For random data and for a real executable of this machine (its first MIB
MiB; cmake's by default), for each kind of slip: the report of the data,
the slipped copy, its repair, and then for every block that was slipped:
given back exactly, left (the repair says that block still differs), or
got wrong (the repair says it matches, but it is not the original). Blocks
that were not slipped count as wrong if the repair changed them. Wrong must
be 0; the script exits 1 otherwise. Without the programs named, it builds
the release binaries first.
"""
import argparse
import os
import random
import shutil
import subprocess
import sys
import tempfile

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
SIZE = 128


def different(r, byte):
    return (byte + r.randrange(1, 256)) & 0xFF


def wrong_digit(r, byte):
    shift = r.choice((0, 4))
    digit = (byte >> shift) & 0xF
    return (byte & ~(0xF << shift) | (((digit + r.randrange(1, 16)) & 0xF) << shift)) & 0xFF


# Each slip takes one block and returns what the copy has in its place; the
# random source decides where in the block.
def changed_byte(r, block, _):
    b = bytearray(block)
    at = r.randrange(len(b))
    b[at] = different(r, b[at])
    return bytes(b)


def changed_digit(r, block, _):
    b = bytearray(block)
    at = r.randrange(len(b))
    b[at] = wrong_digit(r, b[at])
    return bytes(b)


def two_changed(r, block, _):
    b = bytearray(block)
    for at in r.sample(range(len(b)), 2):
        b[at] = different(r, b[at])
    return bytes(b)


def swapped(r, block, _):
    b = bytearray(block)
    places = [i for i in range(len(b) - 1) if b[i] != b[i + 1]]
    if places:
        at = r.choice(places)
        b[at], b[at + 1] = b[at + 1], b[at]
    return bytes(b)


def extra(count):
    def slip(r, block, _):
        at = r.randrange(len(block) + 1)
        return block[:at] + r.randbytes(count) + block[at:]
    return slip


def missing(count):
    def slip(r, block, _):
        at = r.randrange(max(1, len(block) - count + 1))
        return block[:at] + block[at + count:]
    return slip


def missing_block(r, block, _):
    return b""


def doubled_block(r, block, _):
    return block + block


SLIPS = [("changed byte", changed_byte), ("wrong hex digit", changed_digit), ("two changed bytes", two_changed),
         ("swapped neighbours", swapped), ("1 extra byte", extra(1)), ("8 extra bytes", extra(8)),
         ("1 missing byte", missing(1)), ("8 missing bytes", missing(8)), ("missing block", missing_block),
         ("doubled block", doubled_block)]


def slipped(data, slip, seed):
    """The copy with one slip in every other block, and which blocks."""
    r = random.Random(seed)
    out, hit = [], []
    for k, at in enumerate(range(0, len(data), SIZE)):
        block = data[at:at + SIZE]
        if k % 2 == 0:
            copy = slip(r, block, k)
            if copy != block:
                hit.append(k)
            out.append(copy)
        else:
            out.append(block)
    return b"".join(out), hit


def blocks_of(data):
    return [data[at:at + SIZE] for at in range(0, len(data), SIZE)]


def records(report):
    """A report's records, one a block."""
    size = len(b"yoko\n") + 48 + len(b"\ntate\n") + 28 + 2
    return [report[at:at + size] for at in range(0, len(report), size)]


def count(quorvil, check, data, slip, seed, work):
    """Blocks slipped, and of the original's blocks: given back exactly
    (slipped ones), left (the repair's report says it differs) and wrong
    (not the original's bytes, yet the repair's report says it matches)."""
    original, copy, repaired = (os.path.join(work, name) for name in ("original", "copy", "repaired"))
    with open(original, "wb") as f:
        f.write(data)
    bad, hit = slipped(data, slip, seed)
    with open(copy, "wb") as f:
        f.write(bad)
    report = subprocess.run([quorvil, original], stdout=subprocess.PIPE, check=True).stdout
    with open(original + ".txt", "wb") as f:
        f.write(report)
    run = subprocess.run([check, "--repair", repaired, original + ".txt", copy], stdout=subprocess.PIPE)
    if run.returncode not in (0, 1):
        raise SystemExit("quorvil-check failed (%d)" % run.returncode)
    with open(repaired, "rb") as f:
        fixed = f.read()
    stored = records(report)
    now = records(subprocess.run([quorvil, repaired], stdout=subprocess.PIPE, check=True).stdout)
    old, new = blocks_of(data), blocks_of(fixed)
    exact = left = wrong = 0
    for k, block in enumerate(old):
        if k < len(new) and new[k] == block:
            exact += k in hit
        elif k < len(now) and now[k] == stored[k]:
            wrong += 1
        else:
            left += 1
    return len(hit), exact, left, wrong


def build():
    for step in (["cmake", "--preset", "release"], ["cmake", "--build", "--preset", "release"]):
        subprocess.run(step, cwd=ROOT, check=True, stdout=subprocess.DEVNULL)
    release = os.path.join(ROOT, "build", "release")
    return os.path.join(release, "cli", "quorvil"), os.path.join(release, "check", "quorvil-check")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--size", type=int, default=1, help="MiB of each kind of data")
    parser.add_argument("--seed", type=int, default=1)
    parser.add_argument("--executable", default=shutil.which("cmake"))
    parser.add_argument("programs", nargs="*")
    options = parser.parse_args()
    quorvil, check = [os.path.abspath(p) for p in options.programs] if options.programs else build()
    size = options.size << 20
    with open(options.executable, "rb") as f:
        executable = f.read(size)
    data = [("random", random.Random(options.seed).randbytes(size)),
            (os.path.basename(options.executable), executable)]
    any_wrong = False
    with tempfile.TemporaryDirectory(prefix="quorvil-slips-") as work:
        for name, content in data:
            print("%s, %d KiB, one slip in every other block: blocks slipped, given back exactly, left, wrong"
                  % (name, len(content) >> 10))
            for label, slip in SLIPS:
                hit, exact, left, wrong = count(quorvil, check, content, slip, options.seed, work)
                any_wrong = any_wrong or wrong > 0
                print("  %-20s %6d %8d (%5.1f %%) %6d %6d" % (label, hit, exact, 100.0 * exact / max(hit, 1), left,
                                                              wrong))
    return 1 if any_wrong else 0


if __name__ == "__main__":
    sys.exit(main())
