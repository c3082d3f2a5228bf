#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""Builds the release binary and measures quorvil against the system's own
tools on the same 256 MiB pseudo-random file, output to /dev/null.

usage: python3 bench/bench.py [--runs N]

Prints wall time (median of N runs each), throughput and the time ratio
quorvil / tool; instructions per input byte counted by callgrind over the
first 4 MiB; and quorvil's peak resident memory for 1 KiB and 256 MiB.
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
    for step in (["cmake", "--preset", "release"], ["cmake", "--build", "--preset", "release"]):
        subprocess.run(step, cwd=ROOT, check=True, stdout=subprocess.DEVNULL)
    return os.path.join(ROOT, "build", "release", "cli", "quorvil")


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


def instructions_per_byte(quorvil, path):
    if shutil.which("valgrind") is None:
        return None
    out = os.path.join(DATA, "callgrind.out")
    result = subprocess.run(["valgrind", "--tool=callgrind", "--callgrind-out-file=" + out, quorvil, path],
                            stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True, check=True)
    refs = re.search(r"refs:\s+([\d,]+)", result.stderr).group(1)
    return int(refs.replace(",", "")) / os.path.getsize(path)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--runs", type=int, default=7)
    runs = parser.parse_args().runs

    quorvil = build()
    big = data_file("random-256MiB", 256 * MIB)
    small = data_file("random-4MiB", 4 * MIB)
    tiny = data_file("random-1KiB", 1024)
    run(["cat", big])  # into the page cache, so every tool reads from memory

    tools = [("quorvil", quorvil), ("md5sum", "md5sum"), ("sum", "sum"), ("cksum", "cksum"), ("cat", "cat")]
    medians = {}
    for name, command in tools:
        medians[name] = statistics.median(run([command, big]) for _ in range(runs))

    print("256 MiB pseudo-random file, output to /dev/null, median of %d runs" % runs)
    print("%-8s %9s %9s %16s" % ("tool", "seconds", "MB/s", "quorvil / tool"))
    for name, _ in tools:
        seconds = medians[name]
        print("%-8s %9.3f %9.0f %16.2f" % (name, seconds, 256 * MIB / seconds / 1e6, medians["quorvil"] / seconds))

    per_byte = instructions_per_byte(quorvil, small)
    print()
    print("instructions per input byte (callgrind, 4 MiB): %s" % ("%.2f" % per_byte if per_byte else "valgrind missing"))
    print("peak resident memory: %d KiB for 1 KiB, %d KiB for 256 MiB" % (peak_kib([quorvil, tiny]), peak_kib([quorvil, big])))


if __name__ == "__main__":
    main()
