#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""Builds the release binary and measures quorvil against the system's own
tools on the same 256 MiB pseudo-random file, output to /dev/null.

usage: python3 bench/bench.py [--runs N] [--compare OTHER_QUORVIL]

Prints wall time (median of N runs each, the tools taking turns), throughput
and the time ratio quorvil / tool, where the tools include the floor: a
program that makes quorvil's very stream calls and computes nothing. Then
the instructions per input byte that callgrind counts over 4 MiB, split into
the block report, the CRC and the stream calls; and quorvil's peak resident
memory for 1 KiB and 256 MiB. --compare times another quorvil binary (an
earlier build, say) in the same turns, and counts its instructions too.
"""
import argparse
import os
import random
import re
import shutil
import statistics
import subprocess
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
DATA = os.path.join(ROOT, "build", "bench-data")
MIB = 1 << 20


def build():
    for step in (["cmake", "--preset", "release"],
                 ["cmake", "--build", "--preset", "release", "--target", "quorvil", "stream_floor"]):
        subprocess.run(step, cwd=ROOT, check=True, stdout=subprocess.DEVNULL)
    release = os.path.join(ROOT, "build", "release")
    return os.path.join(release, "cli", "quorvil"), os.path.join(release, "bench", "stream_floor")


def data_file(name, size):
    """The first `size` bytes of one fixed pseudo-random stream, made once."""
    path = os.path.join(DATA, name)
    if not os.path.exists(path) or os.path.getsize(path) != size:
        os.makedirs(DATA, exist_ok=True)
        stream = random.Random(20261209)
        with open(path + ".tmp", "wb") as f:
            for at in range(0, size, MIB):
                f.write(stream.randbytes(min(MIB, size - at)))
        os.replace(path + ".tmp", path)
    return path


def run(command):
    """Wall seconds of one run, output to /dev/null."""
    start = time.perf_counter()
    subprocess.run(command, stdout=subprocess.DEVNULL, check=True)
    return time.perf_counter() - start


def peak_kib(command):
    """Peak resident memory of one run, by GNU time: a child's own count
    would include the pages of this script that it had before exec."""
    result = subprocess.run(["/usr/bin/time", "-f", "%M"] + command, stdout=subprocess.DEVNULL,
                            stderr=subprocess.PIPE, text=True, check=True)
    return int(result.stderr.split()[-1])


# Where the instructions go, by callgrind's inclusive count per function.
PARTS = [("block report", ["format_block_report"], ["crc16_block"]),
         ("CRC", ["crc16_block"], []),
         ("stream calls", ["fread", "fwrite", "ferror"], [])]


def instructions_per_byte(quorvil, path):
    """Instructions per input byte: the total, then each part of PARTS."""
    if shutil.which("valgrind") is None:
        return None
    out = os.path.join(DATA, "callgrind.out")
    result = subprocess.run(["valgrind", "--tool=callgrind", "--callgrind-out-file=" + out, quorvil, path],
                            stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True, check=True)
    size = os.path.getsize(path)
    total = int(re.search(r"refs:\s+([\d,]+)", result.stderr).group(1).replace(",", ""))
    annotated = subprocess.run(["callgrind_annotate", "--inclusive=yes", out], stdout=subprocess.PIPE,
                               text=True, check=True).stdout
    inclusive = {}
    for count, function in re.findall(r"^\s*([\d,]+) \(.*?\)\s+\S*?:(\w+)[\s(@]", annotated, re.M):
        inclusive.setdefault(function, int(count.replace(",", "")))
    parts = [(name, (sum(inclusive.get(f, 0) for f in plus) - sum(inclusive.get(f, 0) for f in minus)) / size)
             for name, plus, minus in PARTS]
    return total / size, parts


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--runs", type=int, default=7)
    parser.add_argument("--compare")
    options = parser.parse_args()
    runs = options.runs

    quorvil, floor = build()
    big = data_file("random-256MiB", 256 * MIB)
    small = data_file("random-4MiB", 4 * MIB)
    tiny = data_file("random-1KiB", 1024)
    run(["cat", big])  # into the page cache, so every tool reads from memory

    tools = [("quorvil", quorvil), ("floor", floor), ("md5sum", "md5sum"), ("sum", "sum"), ("cksum", "cksum"),
             ("cat", "cat")]
    if options.compare:
        tools.insert(1, ("compared", os.path.abspath(options.compare)))
    times = {name: [] for name, _ in tools}
    for _ in range(runs):  # in turns, so that a slow spell of the machine hits every tool alike
        for name, command in tools:
            times[name].append(run([command, big]))
    medians = {name: statistics.median(t) for name, t in times.items()}

    print("256 MiB pseudo-random file, output to /dev/null, median of %d runs in turns" % runs)
    print("%-8s %9s %9s %16s" % ("tool", "seconds", "MB/s", "quorvil / tool"))
    for name, _ in tools:
        seconds = medians[name]
        print("%-8s %9.3f %9.0f %16.2f" % (name, seconds, 256 * MIB / seconds / 1e6, medians["quorvil"] / seconds))

    print()
    for name, command in tools[:2 if options.compare else 1]:
        counted = instructions_per_byte(command, small)
        if counted is None:
            print("instructions per input byte (callgrind, 4 MiB): valgrind missing")
            break
        per_byte, parts = counted
        print("%s: instructions per input byte (callgrind, 4 MiB): %.2f, of which %s" % (
            name, per_byte, ", ".join("%s %.2f" % part for part in parts)))
    print("peak resident memory: %d KiB for 1 KiB, %d KiB for 256 MiB" % (peak_kib([quorvil, tiny]), peak_kib([quorvil, big])))


if __name__ == "__main__":
    main()
