#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""Simulates the slips people make and counts what quorvil-check --repair
gives back, and whether anything it says is untrue.

usage: python3 bench/slips.py [--size MIB] [--seeds N] [--executable PATH] [QUORVIL QUORVIL_CHECK]

Data: random bytes, a real executable of this machine (cmake's by default),
and structured data made here: an SQLite database written with Python's
sqlite3, a WAV of a tone and silence, a 24-bit BMP with flat areas, plain
text, and a tar of a few files; each cut to --size MiB. Two patterns: one
slip of a kind in every other block, for each kind; and slips of every kind
in 5 % of the blocks at random, neighbours allowed, for --seeds seeds.

For each: the blocks slipped, and of the original's blocks those given back
exactly, left (the repair says they still differ) and wrong (the repair
says they match, but they are not the original's); false, the finding
lines that name a change no slip made (a byte no slip touched, a run whose
length and place no slip accounts for, allowing the first place within
repeated bytes, a slip in the report, which is never slipped); harmed, the
blocks that the copy had right where they stand and the repair has wrong;
stray, the blocks left that are neither slipped nor next to one; kept,
the whole blocks lost or doubled that the check also reads as the
report's own block typed twice or left out: the repair keeps the copy's
bytes there, so OUTPUT is compared from there on a block on or back, at
the original's offsets. Wrong,
false and harmed must be 0: the script exits 1 otherwise. Without the
programs named, it builds the release binaries first.
"""
import argparse
import io
import math
import os
import random
import resource
import re
import shutil
import sqlite3
import struct
import subprocess
import sys
import tarfile
import tempfile
import wave

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
SIZE = 128
MAX_SHIFT = 4096


def different(r, byte):
    return (byte + r.randrange(1, 256)) & 0xFF


def wrong_digit(r, byte):
    shift = r.choice((0, 4))
    digit = (byte >> shift) & 0xF
    return (byte & ~(0xF << shift) | (((digit + r.randrange(1, 16)) & 0xF) << shift)) & 0xFF


# Each slip takes one block and returns what the copy has in its place and
# what it did there, as offsets in that place: ("bytes", offsets changed),
# ("extra", at, count) or ("missing", at, the values lost).
def changed(r, block, count, change):
    b = bytearray(block)
    places = r.sample(range(len(b)), min(count, len(b)))
    for at in places:
        b[at] = change(r, b[at])
    return bytes(b), ("bytes", places)


def changed_byte(r, block):
    return changed(r, block, 1, different)


def changed_digit(r, block):
    return changed(r, block, 1, wrong_digit)


def two_changed(r, block):
    return changed(r, block, 2, different)


def swapped(r, block):
    b = bytearray(block)
    places = [i for i in range(len(b) - 1) if b[i] != b[i + 1]]
    if not places:
        return block, ("bytes", [])
    at = r.choice(places)
    b[at], b[at + 1] = b[at + 1], b[at]
    return bytes(b), ("bytes", [at, at + 1])


def extra(count):
    def slip(r, block):
        at = r.randrange(len(block) + 1)
        return block[:at] + r.randbytes(count) + block[at:], ("extra", at, count)
    return slip


def missing(count):
    def slip(r, block):
        at = r.randrange(max(1, len(block) - count + 1))
        return block[:at] + block[at + count:], ("missing", at, block[at:at + count])
    return slip


def missing_block(r, block):
    return b"", ("missing", 0, block)


def doubled_block(r, block):
    return block + block, ("extra", len(block), len(block))


SLIPS = [("changed byte", changed_byte), ("wrong hex digit", changed_digit), ("two changed bytes", two_changed),
         ("swapped neighbours", swapped), ("1 extra byte", extra(1)), ("8 extra bytes", extra(8)),
         ("1 missing byte", missing(1)), ("8 missing bytes", missing(8)), ("missing block", missing_block),
         ("doubled block", doubled_block)]


def every_other(slip):
    return lambda r, k: slip if k % 2 == 0 else None


def at_random(r, k):
    return r.choice(SLIPS)[1] if r.random() < 0.05 else None


def slipped(data, choose, seed):
    """The copy, the blocks slipped, and what each slip did, at the copy's
    offsets."""
    r = random.Random(seed)
    out, hit, events = [], [], []
    at = 0
    for k, start in enumerate(range(0, len(data), SIZE)):
        block = data[start:start + SIZE]
        slip = choose(r, k)
        copy = block
        if slip is not None:
            copy, event = slip(r, block)
            if copy != block:
                hit.append(k)
                if event[0] == "bytes":
                    events.append(("bytes", [at + o for o in event[1]]))
                else:
                    events.append((event[0], at + event[1], event[2]))
        out.append(copy)
        at += len(copy)
    return b"".join(out), hit, events


def blocks_of(data):
    return [data[at:at + SIZE] for at in range(0, len(data), SIZE)]


def records(report):
    """A report's records, one a block."""
    size = len(b"yoko\n") + 48 + len(b"\ntate\n") + 28 + 2
    return [report[at:at + size] for at in range(0, len(report), size)]


LINE = re.compile(rb"^(?:byte (\d+) |(\d+) (extra|missing) bytes? at (\d+)(?:-(\d+))?(?: \(.*?\)(?:; the report says((?: [0-9A-F]{2})+))?)?"
                  rb"(?:, or a block (?:left out of|typed twice in) the report .*)?$"
                  rb"|.*the report's (?:row|column))")


def run_accounts(copy, event, kind, count, at, values):
    """Whether the slip `event` is the run a finding names at `at`: the same
    kind and length, and the copy put right there the same as put right
    where the slip was (a place within repeated bytes gives the same)."""
    if event[0] != kind or (event[2] if kind == "extra" else len(event[2])) != count:
        return False
    q = event[1]
    if abs(at - q) > MAX_SHIFT + count:
        return False
    lo, hi = min(at, q), max(at, q) + count + 1
    if kind == "extra":
        return copy[lo:at] + copy[at + count:hi] == copy[lo:q] + copy[q + count:hi]
    true = copy[lo:q] + event[2] + copy[q:hi]
    put = true[at - lo:at - lo + count]
    return (values is None or put == values) and copy[lo:at] + put + copy[at:hi] == true


def false_lines(output, copy, events):
    """The finding lines that name a change no slip made."""
    # An extra byte among equal ones is, to the report, one of them changed.
    touched = {o for e in events if e[0] == "bytes" for o in e[1]}
    touched |= {o for e in events if e[0] == "extra" for o in range(e[1], e[1] + e[2])}
    runs = [e for e in events if e[0] != "bytes"]
    # Two neighbouring slips of one kind may read as one run of both.
    for a, b in zip(runs, runs[1:]):
        if a[0] == b[0] == "extra" and 0 <= b[1] - a[1] - a[2] <= 2 * SIZE:
            runs.append(("extra", a[1], a[2] + b[2]))
    false = []
    for line in output.splitlines():
        m = LINE.match(line)
        if m is None:
            # A finding this script cannot read is not taken as true.
            if re.match(rb"^(?:byte \d|\d+ (?:extra|missing) )", line):
                false.append(line)
            continue
        if m.group(1) is not None:
            if int(m.group(1)) not in touched:
                false.append(line)
        elif m.group(2) is not None:
            kind, count, first = m.group(3).decode(), int(m.group(2)), int(m.group(4))
            last = int(m.group(5)) if m.group(5) else first
            values = bytes.fromhex(m.group(6).decode()) if m.group(6) else None
            if not any(run_accounts(copy, e, kind, count, at, values) for e in runs
                       for at in range(first, last + 1)):
                false.append(line)
        else:
            false.append(line)
    return false


def bounded():
    """In the checker's process: no file it writes may grow past 1 GiB, so
    that a repair gone wrong stops with an error rather than fill the disk."""
    resource.setrlimit(resource.RLIMIT_FSIZE, (1 << 30, 1 << 30))


REPORT_SLIP = re.compile(rb", or a block (left out of|typed twice in) the report (?:before|at) block (\d+)$", re.M)


def put_back(blocks, output):
    """OUTPUT's `blocks` (or the records of its report) at the original's
    offsets: where the check also read a run as the report's own block left
    out or typed twice, the repair keeps the copy's bytes, so OUTPUT has a
    block more or fewer from there on. The block it lacks is None; the one
    it has more is taken out."""
    blocks = list(blocks)
    for m in REPORT_SLIP.finditer(output):
        n = int(m.group(2))
        if m.group(1) == b"typed twice in":
            blocks.insert(n, None)
        else:
            del blocks[n:n + 1]
    return blocks


def tally(data, fixed, had, stored, now, hit):
    """Of the original's blocks: those slipped (`hit`) that the repair gives
    back exactly, those left, those wrong (the repair's report of them, in
    `now`, matches the report, yet they are not the original's), those the
    copy `had` right that the repair harmed, the stray ones left, neither
    slipped nor next to one, and those kept as the copy has them where the
    report itself may have a block left out or typed twice (`fixed` and
    `now` are lists of blocks and records, put back at the original's
    offsets)."""
    old, had = blocks_of(data), blocks_of(had)
    new = fixed
    near = {k + d for k in hit for d in (-1, 0, 1)}
    exact = left = wrong = harmed = stray = 0
    kept = sum(1 for b in new if b is None) + max(0, len(new) - len(old))
    for k, block in enumerate(old):
        if k < len(new) and new[k] is None:
            continue
        if k < len(new) and new[k] == block:
            exact += k in hit
            continue
        if k < len(now) and now[k] == stored[k]:
            wrong += 1
        else:
            left += 1
            stray += k not in near
        harmed += k < len(had) and had[k] == block
    return exact, left, wrong, harmed, stray, kept


def count(quorvil, check, data, choose, seed, work, show):
    """What the repair of the slipped copy gives back, as the module's
    docstring says."""
    original, copy_name, repaired = (os.path.join(work, name) for name in ("original", "copy", "repaired"))
    with open(original, "wb") as f:
        f.write(data)
    copy, hit, events = slipped(data, choose, seed)
    with open(copy_name, "wb") as f:
        f.write(copy)
    report = subprocess.run([quorvil, original], stdout=subprocess.PIPE, check=True).stdout
    with open(original + ".txt", "wb") as f:
        f.write(report)
    run = subprocess.run([check, "--repair", repaired, original + ".txt", copy_name], stdout=subprocess.PIPE,
                         preexec_fn=bounded, timeout=600)
    if run.returncode not in (0, 1):
        raise SystemExit("quorvil-check failed (%d)" % run.returncode)
    with open(repaired, "rb") as f:
        fixed = f.read()
    stored = records(report)
    now = records(subprocess.run([quorvil, repaired], stdout=subprocess.PIPE, check=True).stdout)
    exact, left, wrong, harmed, stray, kept = tally(data, put_back(blocks_of(fixed), run.stdout), copy, stored,
                                                    put_back(now, run.stdout), hit)
    false = false_lines(run.stdout, copy, events)
    for line in false[:show]:
        print("    false: " + line.decode(errors="replace"))
    return len(hit), exact, left, wrong, len(false), harmed, stray, kept


# ---- the data ----

def database(size, seed):
    r = random.Random(seed)
    with tempfile.TemporaryDirectory() as work:
        name = os.path.join(work, "db")
        db = sqlite3.connect(name)
        db.execute("create table parts (id integer primary key, name text, kind text, price real, stock integer)")
        words = ["bolt", "nut", "washer", "gear", "spring", "shaft", "bearing", "pin"]
        db.executemany("insert into parts values (?, ?, ?, ?, ?)",
                       ((i, "%s-%05d" % (r.choice(words), r.randrange(100000)), r.choice(words),
                         round(r.uniform(0.1, 99.9), 2), r.randrange(1000)) for i in range(20000)))
        db.execute("create index by_kind on parts (kind, price)")
        db.commit()
        db.close()
        with open(name, "rb") as f:
            return f.read(size)


def sound(size, seed):
    out = io.BytesIO()
    with wave.open(out, "wb") as w:
        w.setnchannels(1)
        w.setsampwidth(2)
        w.setframerate(8000)
        frames, t = [], 0
        while len(frames) * 2 < size:
            for _ in range(4000):  # half a second of silence, then of a 500 Hz tone
                frames.append(0)
            for _ in range(4000):
                frames.append(int(12000 * math.sin(2 * math.pi * 500 * t / 8000)))
                t += 1
        w.writeframes(struct.pack("<%dh" % len(frames), *frames))
    return out.getvalue()[:size]


def picture(size, seed):
    r = random.Random(seed)
    width = 256
    height = max(1, size // (3 * width))
    pixels = bytearray()
    boxes = [(r.randrange(width), r.randrange(height), r.randrange(20, 120), r.randrange(20, 120),
              bytes(r.randrange(256) for _ in range(3))) for _ in range(40)]
    for y in range(height):
        row = bytearray(b"\xf0\xf0\xf0" * width)
        for x0, y0, w, h, colour in boxes:
            if y0 <= y < y0 + h:
                for x in range(x0, min(width, x0 + w)):
                    row[3 * x:3 * x + 3] = colour
        pixels += row
    header = b"BM" + struct.pack("<IHHI", 54 + len(pixels), 0, 0, 54)
    header += struct.pack("<IiiHHIIiiII", 40, width, height, 1, 24, 0, len(pixels), 2835, 2835, 0, 0)
    return (header + pixels)[:size]


def text(size, seed):
    folder = os.path.dirname(os.__file__)
    out = bytearray()
    for name in sorted(os.listdir(folder)):
        if name.endswith(".py") and len(out) < size:
            with open(os.path.join(folder, name), "rb") as f:
                out += f.read()
    return bytes(out[:size])


def archive(size, seed):
    folder = os.path.dirname(os.__file__)
    out = io.BytesIO()
    with tarfile.open(fileobj=out, mode="w", format=tarfile.USTAR_FORMAT) as tar:
        for name in sorted(os.listdir(folder)):
            if name.endswith(".py") and out.tell() < size:
                tar.add(os.path.join(folder, name), arcname=name)
    return out.getvalue()[:size]


def build():
    for step in (["cmake", "--preset", "release"], ["cmake", "--build", "--preset", "release"]):
        subprocess.run(step, cwd=ROOT, check=True, stdout=subprocess.DEVNULL)
    release = os.path.join(ROOT, "build", "release")
    return os.path.join(release, "cli", "quorvil"), os.path.join(release, "check", "quorvil-check")


HEAD = "  %-22s %7s %8s %9s %6s %6s %6s %6s %6s %6s" % ("", "slipped", "given", "back", "left", "wrong", "false",
                                                       "harmed", "stray", "kept")


def row(label, counts):
    hit, exact, left, wrong, false, harmed, stray, kept = counts
    return "  %-22s %7d %8d (%5.1f %%) %6d %6d %6d %6d %6d %6d" % (label, hit, exact, 100.0 * exact / max(hit, 1),
                                                                   left, wrong, false, harmed, stray, kept)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--size", type=int, default=1, help="MiB of each kind of data")
    parser.add_argument("--seeds", type=int, default=3, help="seeds of the 5 %% pattern")
    parser.add_argument("--seed", type=int, default=1)
    parser.add_argument("--only", default="", help="the data kinds, by name, separated by commas")
    parser.add_argument("--show", type=int, default=3, help="false lines printed for each run")
    parser.add_argument("--executable", default=shutil.which("cmake"))
    parser.add_argument("programs", nargs="*")
    options = parser.parse_args()
    quorvil, check = [os.path.abspath(p) for p in options.programs] if options.programs else build()
    size = options.size << 20
    with open(options.executable, "rb") as f:
        executable = f.read(size)
    data = [("random", lambda: random.Random(options.seed).randbytes(size)),
            (os.path.basename(options.executable), lambda: executable),
            ("sqlite", lambda: database(size, options.seed)), ("wav", lambda: sound(size, options.seed)),
            ("bmp", lambda: picture(size, options.seed)), ("text", lambda: text(size, options.seed)),
            ("tar", lambda: archive(size, options.seed))]
    only = [name for name in options.only.split(",") if name]
    bad = 0
    with tempfile.TemporaryDirectory(prefix="quorvil-slips-") as work:
        for name, make in data:
            if only and name not in only:
                continue
            content = make()
            print("%s, %d KiB: blocks slipped, given back exactly, left, wrong, false, harmed, stray, kept"
                  % (name, len(content) >> 10))
            print(HEAD)
            runs = [("every other: " + label, every_other(slip), options.seed) for label, slip in SLIPS]
            runs += [("5 %%, seed %d" % seed, at_random, seed) for seed in range(1, options.seeds + 1)]
            for label, choose, seed in runs:
                counts = count(quorvil, check, content, choose, seed, work, options.show)
                bad += sum(counts[3:6])
                print(row(label, counts), flush=True)
    return 1 if bad > 0 else 0


if __name__ == "__main__":
    sys.exit(main())
