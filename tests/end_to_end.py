#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""Runs quorvil and quorvil-check over a table of cases and compares whole
outputs with what a plain model of each program says.

usage: end_to_end.py [--runner EMULATOR] [--windows] [--strict] [--peak PEAK_MEMORY]
                     [--list | --case ID | --large] QUORVIL QUORVIL_CHECK

--list names the cases, one ID a line; --case ID runs one of them and exits
0 when it passes, 1 when it fails and 77 when it cannot run here (CTest's
skip status), saying why. With neither, every case runs in turn. --large
runs only the case of a file larger than 4 GiB. --strict turns a case that
cannot run into a failure: where every case must run, a skip means that a
package is missing. --runner runs the programs through an emulator
(qemu-user, Wine). With --windows, the report's lines end in CR LF as the
text stream writes them, and standard error belongs to Wine and is not
compared. --peak names the program that measures peak memory.
Every process gets a timeout, so a fault fails the run instead of hanging it.
"""
import argparse
import functools
import os
import random
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import threading
import time

import check_cases

SKIPPED = 77


def crc_step(reg, byte):
    """The register step, bit by bit."""
    for _ in range(8):
        carry = reg & 0x8000
        reg = ((reg << 1) | (byte >> 7)) & 0xFFFF
        byte = (byte << 1) & 0xFF
        if carry:
            reg ^= 0x1021
    return reg


# The step is linear, so a byte's step is its low byte moved up, the byte
# put in, and the high byte's feedback: a table made from the step itself,
# fast enough for the megabyte cases.
FEEDBACK = [crc_step(high << 8, 0) for high in range(256)]


def block_crc(block):
    reg = 0
    for byte in block:
        reg = ((reg & 0xFF) << 8 | byte) ^ FEEDBACK[reg >> 8]
    return reg


def blocks(data):
    """Each block of the data, zero-filled, with the count of its own bytes."""
    for at in range(0, len(data), 128):
        part = data[at:at + 128]
        yield part.ljust(128, b"\0"), len(part)


def sums(block):
    rows = [sum(block[r * 8:r * 8 + 8]) & 0xFF for r in range(16)]
    columns = [sum(block[c::8]) & 0xFF for c in range(8)]
    return rows, columns, block_crc(block)


def report(data):
    """The expected report of a file's contents, computed the plain way."""
    out = []
    for block, _ in blocks(data):
        rows, columns, crc = sums(block)
        out.append("yoko\n" + "".join("%02X " % s for s in rows) + "\ntate\n"
                   + "".join("%02X " % s for s in columns) + "%04X\n\n" % crc)
    return "".join(out).encode()


def sample(size):
    # Every byte value, high ones included, in an order that is not a ramp.
    return bytes((i * 167 + 13) & 0xFF for i in range(size))


def changed(data, *changes):
    """The data with byte `at` xor-ed with `flip`, for each (at, flip)."""
    out = bytearray(data)
    for at, flip in changes:
        out[at] ^= flip
    return bytes(out)


def added(data, *changes):
    """The data with `by` added to byte `at`, modulo 256, for each (at, by)."""
    out = bytearray(data)
    for at, by in changes:
        out[at] = (out[at] + by) & 0xFF
    return bytes(out)


@functools.cache
def megabyte():
    return random.Random(1).randbytes(1 << 20)


# Seconds any one run may take before it counts as hung; a run that must
# stop by itself on endless input gets a few.
TIMEOUT = 60
ENDLESS_TIMEOUT = 10


def feed_slowly(path, data, stop):
    # A writer that hands the bytes over in small pieces with pauses, so
    # that reads come back short before the end. The open does not block:
    # if quorvil never opens the FIFO, the writer gives up when the case ends.
    while not stop.is_set():
        try:
            fd = os.open(path, os.O_WRONLY | os.O_NONBLOCK)
            break
        except OSError:  # ENXIO: no reader yet
            time.sleep(0.01)
    else:
        return
    os.set_blocking(fd, True)
    with open(fd, "wb", buffering=0) as fifo:
        for at in range(0, len(data), 7):
            if stop.is_set():
                return
            fifo.write(data[at:at + 7])
            time.sleep(0.01)


def unprivileged(command):
    """How to run quorvil so that a mode-0600 file of ours is unreadable to it."""
    if os.geteuid() != 0:
        return command
    os.chmod(".", 0o755)  # the user 'nobody' must reach its copy of the binary
    shutil.copy(command[-1], "quorvil-copy")
    return ["setpriv", "--reuid=65534", "--regid=65534", "--clear-groups", "--"] + command[:-1] + ["./quorvil-copy"]


def injected(command, call, fault):
    """The command with a system call on the file `path` failing with EIO,
    as a network file system may fail a write only at close, or a disk a
    read in the middle of a file."""
    path, inject = fault
    return ["strace", "-f", "-o", "/dev/null", "-P", os.path.abspath(path), "-e", "trace=" + call,
            "-e", "inject=%s:error=EIO%s" % (call, inject), "--"] + command


def peak_kib(command, options):
    """Peak resident memory of one run. The small program named by --peak
    measures it for the run alone; without it (a cross build, whose programs
    cannot run that program), a child of this script, whose peak includes
    this script's own pages."""
    if options.peak:
        # In a session of its own, so that a run that hangs goes with the
        # program measuring it rather than living on.
        child = subprocess.Popen([options.peak] + command, stdout=subprocess.PIPE, start_new_session=True)
        try:
            out, _ = child.communicate(timeout=TIMEOUT)
        except subprocess.TimeoutExpired:
            os.killpg(child.pid, signal.SIGKILL)
            child.wait()
            raise
        if child.returncode != 0:
            raise subprocess.CalledProcessError(child.returncode, child.args)
        return int(out)
    child = subprocess.Popen(command, stdout=subprocess.DEVNULL)
    _, _, usage = os.wait4(child.pid, 0)
    child.returncode = 0
    return usage.ru_maxrss // (1024 if sys.platform == "darwin" else 1)


def same_memory(command, args, options):
    """None when the run on the second half of the arguments (a large file)
    peaks at the memory of the run on the first half (a small one)."""
    small, large = args[:len(args) // 2], args[len(args) // 2:]
    low, high = peak_kib(command + small, options), peak_kib(command + large, options)
    if high - low > 1024:
        return "%d KiB for %s, %d KiB for %s" % (low, small, high, large)
    return None


# 2^25 + 1 zero blocks, then "abc": more than 4 GiB, so 32-bit file offsets
# cannot reach its end.
LARGE_BLOCKS = (1 << 25) + 1
LARGE_TIMEOUT = 1800


def make_large(path):
    with open(path, "wb") as f:
        f.seek(LARGE_BLOCKS * 128)
        f.write(b"abc")  # all before it is a hole: no disk space used


def run_large(command, path, newline):
    """Streams the report of the large file: counts its lines and keeps the
    last five, never the whole report (it is some 3 GB)."""
    tail, lines = b"", 0
    with subprocess.Popen(command + [path], stdout=subprocess.PIPE, stderr=subprocess.PIPE) as proc:
        timer = threading.Timer(LARGE_TIMEOUT, proc.kill)
        timer.start()
        try:
            while chunk := proc.stdout.read(1 << 20):
                lines += chunk.count(b"\n")
                tail = (tail + chunk)[-256:]
            err = proc.stderr.read()
            status = proc.wait()
        finally:
            timer.cancel()
            timer.join()
    last_five = newline.join(tail.split(newline)[-6:])
    return (lines, last_five), status, err


# Spaces, percent signs and bytes that are not UTF-8 in one file name.
ODD_NAME = b"sp ace %s%n%%\xff\xfe.bin"


# Names beyond ASCII, each file with bytes of its own, so that opening a
# look-alike instead (as Windows' best-fit mapping of a non-UTF-8 code page
# does: "Ω" to "O", fullwidth "ｓ１" to "s1") shows in the report.
NAMED_FILES = {"データ.bin": sample(150), "café.bin": sample(256), "Omega.bin": sample(128),
               "Ωmega.bin": bytes(reversed(sample(128)))}

# The file that quorvil-check checks copies of: 7 whole blocks and a short
# one, and its report.
BASE = sample(1000)
CUT = report(BASE)[:200]  # two whole blocks, then the row line of a third cut short
ZERO_BLOCKS = 1 << 19     # 64 MiB of zero blocks, and their report


def make_files():
    for size in (0, 1, 128, 150, 256):
        with open("s%d" % size, "wb") as f:
            f.write(sample(size))
    for name in ("-dash", "secret"):
        with open(name, "wb") as f:
            f.write(sample(150))
    try:
        with open(ODD_NAME, "wb") as f:
            f.write(sample(150))
    except OSError:
        pass  # this file system refuses such names: the cases that need it say so
    for name, data in NAMED_FILES.items():
        with open(name, "wb") as f:
            f.write(data)
    os.chmod("secret", 0o600 if os.geteuid() == 0 else 0)
    os.mkdir("adir")
    if hasattr(os, "mkfifo"):
        os.mkfifo("fifo")
    with open("big", "wb") as f:
        f.truncate(64 << 20)  # a hole: no disk space used
    with open("base", "wb") as f:
        f.write(BASE)
    with open("base.txt", "wb") as f:
        f.write(report(BASE))
    with open("cut.txt", "wb") as f:
        f.write(CUT)


def write(name, data):
    with open(name, "wb") as f:
        f.write(data)
    return name


def missing(name):
    return b"cannot open " + name.encode() + b"\n"


def case_table():
    long_name = "n" * 5000
    r150 = report(sample(150))
    abc = report(b"abc")
    # name, command line, expected (stdout, status, stderr; stdout None: not
    # compared, or a function that says whether it is right) or a function
    # that gives it, tags: how the case runs and what it needs, a function
    # that makes its files, and one that looks at them afterwards (None, or
    # what is wrong)
    return [
        ("no argument", [], (b"usage: quorvil file-name\n", 1, b""), None),
        ("missing file", ["missing"], (missing("missing"), 1, b""), None),
        ("empty file", ["s0"], (b"", 0, b""), None),
        ("1 byte", ["s1"], (report(sample(1)), 0, b""), None),
        ("128 bytes", ["s128"], (report(sample(128)), 0, b""), None),
        ("150 bytes", ["s150"], (r150, 0, b""), None),
        ("256 bytes", ["s256"], (report(sample(256)), 0, b""), None),
        ("extra arguments", ["s150", "missing", "s1"], (r150, 0, b""), None),
        ("dash name", ["-dash"], (r150, 0, b""), None),
        ("lone dash", ["-"], (missing("-"), 1, b""), None),
        ("odd name", [ODD_NAME], (r150, 0, b""), "odd names"),
        ("odd missing name", [b"x" + ODD_NAME], (b"cannot open x" + ODD_NAME + b"\n", 1, b""), "odd names"),
        ("long name", [long_name], (missing(long_name), 1, b""), None),
        ("japanese name", ["データ.bin"], (report(NAMED_FILES["データ.bin"]), 0, b""), None),
        ("accented name", ["café.bin"], (report(NAMED_FILES["café.bin"]), 0, b""), None),
        ("greek beside look-alike", ["Ωmega.bin"], (report(NAMED_FILES["Ωmega.bin"]), 0, b""), None),
        ("missing japanese name", ["ないファイル"], (missing("ないファイル"), 1, b""), None),
        ("fullwidth name", ["ｓ１"], (missing("ｓ１"), 1, b""), None),
        ("fullwidth backslash", ["adir＼..＼s1"], (missing("adir＼..＼s1"), 1, b""), None),
        ("/dev/null", ["/dev/null"], (b"", 0, b""), "/dev/null"),
        ("fifo fed slowly", ["fifo"], (r150, 0, b""), "fifo"),
        ("directory", ["adir"], (b"cannot read adir\n", 1, b""), None),
        ("read error", ["/proc/self/mem"], (b"cannot read /proc/self/mem\n", 1, b""), "/proc/self/mem"),
        # The second read fails: the first block stands, the partly read
        # second one is not reported.
        ("read error inside a block", ["s150"], (report(sample(128)) + b"cannot read s150\n", 1, b""),
         "read fails"),
        ("no permission", ["secret"], (missing("secret"), 1, b""), "unprivileged"),
        ("full output", ["s256"], (None, 1, b"cannot write output\n"), "full"),
        ("closed output", ["s256"], (None, 1, b"cannot write output\n"), "closed"),
        ("endless input, full output", ["/dev/zero"], (None, 1, b"cannot write output\n"), "full, endless"),
        ("error at close", ["s256"], (None, 1, b"cannot write output\n"), "close fails"),
        ("constant memory", ["s256", "big"], (None, 0, None), "memory"),
        ("larger than 4 GiB", ["large"], ((5 * (LARGE_BLOCKS + 1), abc), 0, b""), "large"),

    ] + check_cases.rows(sys.modules[__name__])


def case_id(name):
    return re.sub(r"[^a-z0-9]+", "_", name.lower()).strip("_")


def needs(tags, options):
    """Why a case cannot run here, or None when it can: what it needs that
    this system, or the target system, lacks."""
    windows = {"odd names": "names that are not UTF-8", "fifo": "FIFOs", "unprivileged": "Unix permissions",
               "links": "links of a Unix file system",
               "read fails": "strace", "close fails": "strace", "memory": "a peak memory of the program's own",
               "/dev/null": "/dev", "/proc/self/mem": "/proc", "endless": "/dev/zero"}
    for tag in tags:
        if options.windows and tag in windows:
            return "Windows under Wine has no " + windows[tag]
        if tag == "odd names" and not os.path.exists(ODD_NAME):
            return "this file system refuses names that are not UTF-8"
        if tag in ("/dev/null", "/proc/self/mem") and not os.path.exists(tag):
            return "no %s here" % tag
        if tag == "full" and not os.path.exists("/dev/full"):
            return "no /dev/full here"
        if tag == "endless" and not os.path.exists("/dev/zero"):
            return "no /dev/zero here"
        if tag == "fifo" and not os.path.exists("fifo"):
            return "no FIFOs here"
        if tag == "links" and not hasattr(os, "symlink"):
            return "no links here"
        if tag == "unprivileged" and os.geteuid() == 0 and shutil.which("setpriv") is None:
            return "running as root, and setpriv is missing"
        if tag in ("read fails", "close fails") and shutil.which("strace") is None:
            return "strace is missing, so the failure cannot be injected"
    return None


# A directory cannot be opened there; and its C library cannot make
# standard input a binary stream, so FILE cannot be read from it.
WINDOWS_OUTPUT = {"directory": missing("adir"), "check: file from standard input": b""}
WINDOWS_STATUS = {"check: file from standard input": 2}


def run_one(command, check, args, tags, newline, options):
    """Runs one case: (stdout, status, stderr), or a string saying what went wrong."""
    if "check" in tags:
        command = check
    if "large" in tags:
        make_large("large")
        return run_large(command, "large", newline)
    if "memory" in tags:
        fault = same_memory(command, args, options)
        return fault or (None, 0, None)
    kwargs = {"stdout": subprocess.PIPE}
    stop = threading.Event()
    feeder = None
    timeout = ENDLESS_TIMEOUT if "endless" in tags else TIMEOUT
    if "full" in tags:
        kwargs["stdout"] = open("/dev/full", "wb")
    elif "closed" in tags:
        kwargs = {"stdout": None, "preexec_fn": lambda: os.close(1)}
    elif "fifo" in tags:
        feeder = threading.Thread(target=feed_slowly, args=("fifo", sample(150), stop), daemon=True)
        feeder.start()
    elif "unprivileged" in tags:
        command = unprivileged(command)
    stdin = [tag[len("stdin:"):] for tag in tags if tag.startswith("stdin:")]
    if stdin:
        kwargs["stdin"] = open(stdin[0], "rb")
    elif "read fails" in tags:
        command = injected(command, "read", (args[0], ":when=2"))
    elif "close fails" in tags:
        command = injected(command, "close", ("report", ""))
        kwargs["stdout"] = open("report", "wb")
    if "read fails" in tags or "close fails" in tags:
        # LeakSanitizer cannot work under ptrace; a sanitizer build would
        # otherwise fail here for that alone.
        kwargs["env"] = dict(os.environ, LSAN_OPTIONS="detect_leaks=0")
    try:
        run = subprocess.run(command + args, stderr=subprocess.PIPE, timeout=timeout, **kwargs)
        return run.stdout, run.returncode, run.stderr
    except subprocess.TimeoutExpired:
        return "no end within %d s" % timeout
    finally:
        stop.set()
        if feeder is not None:
            feeder.join()
        if kwargs.get("stdout") not in (None, subprocess.PIPE):
            kwargs["stdout"].close()
        if "stdin" in kwargs:
            kwargs["stdin"].close()


def run_case(case, command, check, options):
    """PASS, FAIL or SKIP, and what to say."""
    name, args, want, how = case[:4]
    tags = (how or "").split(", ")
    reason = needs(tags, options)
    if reason is not None:
        return "SKIP", "%s: %s" % (name, reason)
    if len(case) > 4 and case[4] is not None:
        case[4]()
    want_out, want_status, want_err = want() if callable(want) else want
    newline = b"\n"
    if options.windows:
        newline = b"\r\n"
        want_out = WINDOWS_OUTPUT.get(name, want_out)
        want_status = WINDOWS_STATUS.get(name, want_status)
        if isinstance(want_out, bytes):
            want_out = want_out.replace(b"\n", newline)
        elif isinstance(want_out, tuple):
            want_out = (want_out[0], want_out[1].replace(b"\n", newline))
        want_err = None
    args = [a if isinstance(a, bytes) else a.encode() for a in args]
    got = run_one(command, check, args, tags, newline, options)
    # Wine may fail to start a program at all, where its server stops just
    # as the program starts: status 1, nothing written, in no time. That is
    # the emulator's doing, not the program's; once more tells them apart,
    # since the program's own failure repeats.
    if options.windows and isinstance(got, tuple) and got[0] == b"" and got[1] == 1:
        got = run_one(command, check, args, tags, newline, options)
    if isinstance(got, tuple):
        out = got[0] if want_out is not None else None
        if callable(want_out):  # says whether the output is right, read with LF line ends
            out = want_out if want_out(got[0].replace(b"\r\n", b"\n")) else got[0]
        got = (out, got[1], got[2] if want_err is not None else None)
    if got != (want_out, want_status, want_err):
        return "FAIL", "%s: got %r, want %r" % (name, got, (want_out, want_status, want_err))
    wrong = case[5]() if len(case) > 5 and case[5] is not None else None
    if wrong:
        return "FAIL", "%s: %s" % (name, wrong)
    return "PASS", name


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--runner")
    parser.add_argument("--windows", action="store_true")
    parser.add_argument("--strict", action="store_true")
    parser.add_argument("--peak")
    parser.add_argument("--list", action="store_true")
    parser.add_argument("--case")
    parser.add_argument("--large", action="store_true")
    parser.add_argument("quorvil")
    parser.add_argument("check")
    options = parser.parse_args()
    table = case_table()
    if options.list:
        print("\n".join(case_id(case[0]) for case in table if "large" not in (case[3] or "")))
        return 0
    if options.large:
        table = [case for case in table if "large" in (case[3] or "")]
    elif options.case:
        table = [case for case in table if case_id(case[0]) == options.case]
        if not table:
            print("no case %s" % options.case)
            return 1
    else:
        table = [case for case in table if "large" not in (case[3] or "")]
    runner = [options.runner] if options.runner else []
    command = runner + [os.path.abspath(options.quorvil)]
    check = runner + [os.path.abspath(options.check)]
    if options.peak:
        options.peak = os.path.abspath(options.peak)
    check_cases.WINDOWS = options.windows
    if options.windows:
        os.environ.setdefault("WINEDEBUG", "-all")
        os.environ["LANG"] = "C.UTF-8"  # names reach Wine as UTF-8
    with tempfile.TemporaryDirectory(prefix="quorvil-e2e-") as work:
        os.chdir(work)
        make_files()
        counts = {"PASS": 0, "FAIL": 0, "SKIP": 0}
        for case in table:
            verdict, text = run_case(case, command, check, options)
            if verdict == "SKIP" and options.strict:
                verdict, text = "FAIL", text + " (every case must run here)"
            counts[verdict] += 1
            if verdict != "PASS" or options.case:
                print("%s %s" % (verdict, text))
        os.chdir("/")
    print("%d passed, %d failed, %d skipped" % (counts["PASS"], counts["FAIL"], counts["SKIP"]))
    if counts["FAIL"]:
        return 1
    return SKIPPED if options.case and counts["SKIP"] else 0


if __name__ == "__main__":
    sys.exit(main())
