#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""Builds the release binary and measures quorvil against the system's own
tools on the same 256 MiB pseudo-random file, output to /dev/null.

usage: python3 bench/bench.py [--runs N] [--compare OTHER_QUORVIL] [--x86]

Prints wall time (median of N runs each, the tools taking turns), throughput
and the time ratio quorvil / tool, where the tools include the floor: a
program that makes quorvil's very stream calls and computes nothing, and
quorvil-check, checking against the file's report the file itself (check),
a copy that lost a byte in the middle and 4 KiB at three quarters (lost),
another random file (other), and a copy with a changed byte in every 100th
block (changed), which it also repairs (repair). Then the instructions
per input byte that callgrind counts over 4 MiB, split into the block
report, the CRC and the stream calls; and the peak resident memory of
quorvil and quorvil-check for 1 KiB and 256 MiB. --compare times another
quorvil binary (an earlier build, say) in the same turns, and counts its
instructions too. --x86 also builds quorvil with clang++, for i686 and for
i686 with the 32-bit Windows build's CPU flags, and counts the instructions
per byte of every x86 build. Last, a typed listing of 32 MiB, 16 bytes a
line (about 100 MB of hex text), checked with --hex as it is (at most 3
times quorvil's time on the 32 MiB of bytes) and with one digit missing in
the middle (at most 3.5 times), and quorvil-check's peak memory for a
listing of 1 KiB and of 32 MiB.
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
                 ["cmake", "--build", "--preset", "release", "--target", "quorvil", "quorvil-check", "stream_floor",
                  "peak_memory"]):
        subprocess.run(step, cwd=ROOT, check=True, stdout=subprocess.DEVNULL)
    release = os.path.join(ROOT, "build", "release")
    return [os.path.join(release, *path) for path in (("cli", "quorvil"), ("check", "quorvil-check"),
                                                      ("bench", "stream_floor"), ("bench", "peak_memory"))]


def build_other(name, *configure, environment=None):
    """quorvil built beside the release build, in build/bench-NAME, optimised as the release is."""
    folder = os.path.join(ROOT, "build", "bench-" + name)
    env = dict(os.environ, **(environment or {}))
    for step in (list(configure) + ["-B", folder, "-DCMAKE_BUILD_TYPE=Release", "-DBUILD_TESTING=OFF"],
                 ["cmake", "--build", folder, "-j2", "--target", "quorvil"]):
        subprocess.run(step, cwd=ROOT, check=True, stdout=subprocess.DEVNULL, env=env)
    return os.path.join(folder, "cli", "quorvil")


def data_file(name, size, seed=20261209):
    """The first `size` bytes of one fixed pseudo-random stream, made once."""
    path = os.path.join(DATA, name)
    if not os.path.exists(path) or os.path.getsize(path) != size:
        os.makedirs(DATA, exist_ok=True)
        stream = random.Random(seed)
        with open(path + ".tmp", "wb") as f:
            for at in range(0, size, MIB):
                f.write(stream.randbytes(min(MIB, size - at)))
        os.replace(path + ".tmp", path)
    return path


def run(command):
    """Wall seconds of one run, output to /dev/null. quorvil-check ends with
    status 1 on a copy that differs."""
    start = time.perf_counter()
    status = subprocess.run(command, stdout=subprocess.DEVNULL).returncode
    if status not in (0, 1):
        raise SystemExit("%s failed with status %d" % (" ".join(command), status))
    return time.perf_counter() - start


def damaged_copy(name, source, damage):
    """A copy of the data file `source` with `damage` done to its bytes, made once."""
    path = os.path.join(DATA, name)
    if not os.path.exists(path):
        with open(source, "rb") as f:
            data = bytearray(f.read())
        damage(data)
        with open(path + ".tmp", "wb") as f:
            f.write(data)
        os.replace(path + ".tmp", path)
    return path


def lose_a_byte_and_zero_4kib(data):
    del data[len(data) // 2]
    quarter = 3 * len(data) // 4
    data[quarter:quarter + 4096] = bytes(4096)


def change_every_100th_block(data):
    for at in range(0, len(data), 100 * 128):
        data[at + 77] ^= 0x5A


def listing_of(name, source, lose_a_digit=False):
    """The data file `source` typed as a listing, 16 bytes a line, made once;
    with one digit left out in the middle."""
    path = os.path.join(DATA, name)
    if not os.path.exists(path):
        with open(source, "rb") as f:
            data = f.read()
        with open(path + ".tmp", "w") as f:
            middle = len(data) // 2
            for at in range(0, len(data), 16):
                line = data[at:at + 16].hex(" ").upper()
                f.write((line[1:] if lose_a_digit and at == middle else line) + "\n")
        os.replace(path + ".tmp", path)
    return path


def listings(quorvil, check, peak_memory, runs):
    """The --hex rows: a listing checked as it is and with a digit missing."""
    data = data_file("random-32MiB", 32 * MIB)
    stored = data + ".txt"
    with open(stored, "wb") as f:
        subprocess.run([quorvil, data], stdout=f, check=True)
    typed, lost = listing_of("listing-32MiB", data), listing_of("listing-lost-32MiB", data, True)
    tiny = data_file("random-1KiB", 1024)
    tiny_typed = listing_of("listing-1KiB", tiny)
    tiny_report = tiny + ".txt"
    with open(tiny_report, "wb") as f:
        subprocess.run([quorvil, tiny], stdout=f, check=True)
    run(["cat", data, stored, typed, lost])
    tools = [("quorvil", [quorvil, data]), ("hex", [check, "--hex", stored, typed]),
             ("hex lost", [check, "--hex", stored, lost])]
    times = {name: [] for name, _ in tools}
    for _ in range(runs):
        for name, command in tools:
            times[name].append(run(command))
    q = statistics.median(times["quorvil"])
    print("typed listing of 32 MiB, 16 bytes a line: quorvil on the bytes %.3f s; quorvil-check --hex %.3f s, %.2f"
          " times quorvil (at most 3); with a digit missing in the middle %.3f s, %.2f times (at most 3.5); peak"
          " resident memory %d KiB for a listing of 1 KiB, %d KiB for 32 MiB" % (
              q, statistics.median(times["hex"]), statistics.median(times["hex"]) / q,
              statistics.median(times["hex lost"]), statistics.median(times["hex lost"]) / q,
              peak_kib(peak_memory, [check, "--hex", tiny_report, tiny_typed]),
              peak_kib(peak_memory, [check, "--hex", stored, typed])))


def peak_kib(peak_memory, command):
    """Peak resident memory of one run, measured by a small program: a child
    of this script would carry this script's pages in its peak."""
    return int(subprocess.run([peak_memory] + command, stdout=subprocess.PIPE, check=True).stdout)


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


def qemu_instructions_per_byte(emulator, quorvil, path):
    """Instructions per input byte as qemu-user executes them, one
    instruction a translation block and every block logged: the same count
    as callgrind's, for a program that cannot run natively here. The
    difference of two sizes leaves out the start and the end."""
    def count(size):
        part = data_file("random-%dKiB" % size, size << 10)
        with subprocess.Popen([emulator, "-singlestep", "-d", "nochain,exec", "-D", "/dev/stderr", quorvil, part],
                              stdout=subprocess.DEVNULL, stderr=subprocess.PIPE) as proc:
            lines = sum(line.startswith(b"Trace") for line in proc.stderr)
        return lines
    return (count(128) - count(64)) / (64 << 10)


def runs_natively(program):
    try:
        return subprocess.run([program, "/dev/null"], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL).returncode == 0
    except OSError:  # ENOEXEC: this machine refuses 32-bit programs
        return False


def x86_builds(quorvil, small):
    """Instructions per byte of every x86 build: by callgrind where the
    build runs here, by qemu-user where it does not."""
    builds = [("x86-64, g++", quorvil)]
    if shutil.which("clang++"):
        builds.append(("x86-64, clang++", build_other("clang", "cmake", "--preset", "release",
                                                       "-DCMAKE_CXX_COMPILER=clang++")))
    if shutil.which("i686-linux-gnu-g++"):
        for target in ("i686", "i686-sse2"):
            builds.append((target, build_other(target, "cmake", "--preset", "cross",
                                               environment={"QUORVIL_TARGET": target})))
    else:
        print("i686 builds: g++-i686-linux-gnu is missing (./setup cross)")
    base = None
    for name, binary in builds:
        if runs_natively(binary):
            per_byte, how = instructions_per_byte(binary, small)[0], "callgrind"
        else:
            per_byte, how = qemu_instructions_per_byte("qemu-i386-static", binary, small), "qemu-i386"
        base = base or per_byte
        print("%-16s %6.2f instructions per byte (%s), %.2f times x86-64 g++" % (name, per_byte, how, per_byte / base))


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--runs", type=int, default=7)
    parser.add_argument("--compare")
    parser.add_argument("--x86", action="store_true")
    options = parser.parse_args()
    runs = options.runs

    quorvil, check, floor, peak_memory = build()
    big = data_file("random-256MiB", 256 * MIB)
    small = data_file("random-4MiB", 4 * MIB)
    tiny = data_file("random-1KiB", 1024)
    stored = big + ".txt"
    with open(stored, "wb") as f:
        subprocess.run([quorvil, big], stdout=f, check=True)
    lost = damaged_copy("lost-256MiB", big, lose_a_byte_and_zero_4kib)
    other = data_file("other-256MiB", 256 * MIB, seed=1)
    changed = damaged_copy("changed-256MiB", big, change_every_100th_block)
    repaired = os.path.join(DATA, "repaired")
    run(["cat", big, stored, lost, other, changed])  # into the page cache, so every tool reads from memory

    tools = [("quorvil", [quorvil, big]), ("check", [check, stored, big]), ("lost", [check, stored, lost]),
             ("other", [check, stored, other]), ("changed", [check, stored, changed]),
             ("repair", [check, "--repair", repaired, stored, changed]), ("floor", [floor, big]),
             ("md5sum", ["md5sum", big]), ("sum", ["sum", big]), ("cksum", ["cksum", big]), ("cat", ["cat", big])]
    if options.compare:
        tools.insert(1, ("compared", [os.path.abspath(options.compare), big]))
    times = {name: [] for name, _ in tools}
    for _ in range(runs):  # in turns, so that a slow spell of the machine hits every tool alike
        for name, command in tools:
            if name == "repair" and os.path.exists(repaired):
                os.remove(repaired)  # the last run's: freeing it is the file system's time, not the repair's
            times[name].append(run(command))
    medians = {name: statistics.median(t) for name, t in times.items()}

    print("256 MiB pseudo-random file, output to /dev/null, median of %d runs in turns" % runs)
    print("%-8s %9s %9s %16s" % ("tool", "seconds", "MB/s", "quorvil / tool"))
    for name, _ in tools:
        seconds = medians[name]
        print("%-8s %9.3f %9.0f %16.2f" % (name, seconds, 256 * MIB / seconds / 1e6, medians["quorvil"] / seconds))
    q = medians["quorvil"]
    print("quorvil-check against quorvil's time: %.2f on the matching file (at most 1.5), %.2f on the copy that lost a"
          " byte in the middle and 4 KiB at three quarters (at most 2), %.2f on another random file (at most 8);"
          " --repair of the copy with a changed byte in every 100th block takes %.2f times quorvil-check's time on it"
          " (at most 2)" % (medians["check"] / q, medians["lost"] / q, medians["other"] / q,
                            medians["repair"] / medians["changed"]))

    print()
    for name, command in tools[:2 if options.compare else 1]:
        counted = instructions_per_byte(command[0], small)
        if counted is None:
            print("instructions per input byte (callgrind, 4 MiB): valgrind missing")
            break
        per_byte, parts = counted
        print("%s: instructions per input byte (callgrind, 4 MiB): %.2f, of which %s" % (
            name, per_byte, ", ".join("%s %.2f" % part for part in parts)))
    tiny_report = tiny + ".txt"
    with open(tiny_report, "wb") as f:
        subprocess.run([quorvil, tiny], stdout=f, check=True)
    print("peak resident memory: quorvil %d KiB for 1 KiB, %d KiB for 256 MiB; quorvil-check %d KiB and %d KiB, and"
          " %d KiB repairing another random file of 256 MiB" % (
              peak_kib(peak_memory, [quorvil, tiny]), peak_kib(peak_memory, [quorvil, big]),
              peak_kib(peak_memory, [check, tiny_report, tiny]), peak_kib(peak_memory, [check, stored, big]),
              peak_kib(peak_memory, [check, "--repair", repaired, stored, other])))
    if options.x86:
        print()
        x86_builds(quorvil, small)
    print()
    listings(quorvil, check, peak_memory, runs)


if __name__ == "__main__":
    main()
