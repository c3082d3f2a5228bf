#!/usr/bin/env python3
"""Runs the quorvil binary over a table of cases and compares whole outputs.

usage: end_to_end.py [--windows --runner WINE] QUORVIL

With --windows, only the cases that exist on Windows run, through the runner,
and the report's lines end in CR LF as the text stream writes them. Standard
error then belongs to the runner and is not compared.
"""
import argparse
import os
import shutil
import subprocess
import sys
import tempfile
import threading
import time


def crc_step(reg, byte):
    for _ in range(8):
        carry = reg & 0x8000
        reg = ((reg << 1) | (byte >> 7)) & 0xFFFF
        byte = (byte << 1) & 0xFF
        if carry:
            reg ^= 0x1021
    return reg


def report(data):
    """The expected report of a file's contents, computed the plain way."""
    out = []
    for at in range(0, len(data), 128):
        block = data[at:at + 128].ljust(128, b"\0")
        rows = [sum(block[r * 8:r * 8 + 8]) & 0xFF for r in range(16)]
        cols = [sum(block[c::8]) & 0xFF for c in range(8)]
        crc = 0
        for byte in block:
            crc = crc_step(crc, byte)
        out.append("yoko\n" + "".join("%02X " % s for s in rows) + "\ntate\n"
                   + "".join("%02X " % s for s in cols) + "%04X\n\n" % crc)
    return "".join(out).encode()


def sample(size):
    # Every byte value, high ones included, in an order that is not a ramp.
    return bytes((i * 167 + 13) & 0xFF for i in range(size))


# The cases a Windows build runs: no FIFOs, permissions or /proc there.
WINDOWS_CASES = {"no argument", "missing file", "empty file", "1 byte", "128 bytes", "150 bytes",
                 "256 bytes", "extra arguments", "dash name"}


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--windows", action="store_true")
    parser.add_argument("--runner")
    parser.add_argument("quorvil")
    options = parser.parse_args()
    quorvil = os.path.abspath(options.quorvil)
    with tempfile.TemporaryDirectory(prefix="quorvil-e2e-") as work:
        os.chdir(work)
        if options.windows:
            os.environ.setdefault("WINEDEBUG", "-all")
            return run_cases([options.runner, quorvil], windows=True)
        return run_cases([quorvil], windows=False)


def feed_slowly(path, data):
    # A writer that hands the bytes over in small pieces with pauses, so
    # that reads come back short before the end.
    with open(path, "wb", buffering=0) as fifo:
        for at in range(0, len(data), 7):
            fifo.write(data[at:at + 7])
            time.sleep(0.01)


def unprivileged(quorvil):
    """How to run quorvil so that a mode-0600 file of ours is unreadable to it."""
    if os.geteuid() != 0:
        return [quorvil]
    if shutil.which("setpriv") is None:
        return None
    os.chmod(".", 0o755)  # the user 'nobody' must reach its copy of the binary
    shutil.copy(quorvil, "quorvil-copy")
    return ["setpriv", "--reuid=65534", "--regid=65534", "--clear-groups", "--", "./quorvil-copy"]


def peak_kib(quorvil, path):
    run = subprocess.run(["/usr/bin/time", "-f", "%M", quorvil, path], stdout=subprocess.DEVNULL,
                         stderr=subprocess.PIPE, check=True)
    return int(run.stderr.split()[-1])


# Spaces, percent signs and bytes that are not UTF-8 in one file name.
ODD_NAME = b"sp ace %s%n%%\xff\xfe.bin"


def make_files():
    for size in (0, 1, 128, 150, 256):
        with open("s%d" % size, "wb") as f:
            f.write(sample(size))
    for name in ("-dash", ODD_NAME, "secret"):
        with open(name, "wb") as f:
            f.write(sample(150))
    os.chmod("secret", 0o600 if os.geteuid() == 0 else 0)
    os.mkdir("adir")
    os.mkfifo("fifo")


def case_table():
    long_name = "n" * 5000
    r150 = report(sample(150))
    # name, command line, expected stdout (None: not compared), status, stderr, how it runs
    return [
        ("no argument", [], b"usage: quorvil file-name\n", 1, b"", None),
        ("missing file", ["missing"], b"cannot open missing\n", 1, b"", None),
        ("empty file", ["s0"], b"", 0, b"", None),
        ("1 byte", ["s1"], report(sample(1)), 0, b"", None),
        ("128 bytes", ["s128"], report(sample(128)), 0, b"", None),
        ("150 bytes", ["s150"], r150, 0, b"", None),
        ("256 bytes", ["s256"], report(sample(256)), 0, b"", None),
        ("extra arguments", ["s150", "missing", "s1"], r150, 0, b"", None),
        ("dash name", ["-dash"], r150, 0, b"", None),
        ("lone dash", ["-"], b"cannot open -\n", 1, b"", None),
        ("odd name", [ODD_NAME], r150, 0, b"", None),
        ("odd missing name", [b"x" + ODD_NAME], b"cannot open x" + ODD_NAME + b"\n", 1, b"", None),
        ("long name", [long_name], b"cannot open " + long_name.encode() + b"\n", 1, b"", None),
        ("/dev/null", ["/dev/null"], b"", 0, b"", None),
        ("fifo fed slowly", ["fifo"], r150, 0, b"", "fifo"),
        ("directory", ["adir"], b"cannot read adir\n", 1, b"", None),
        ("read error", ["/proc/self/mem"], b"cannot read /proc/self/mem\n", 1, b"", None),
        ("no permission", ["secret"], b"cannot open secret\n", 1, b"", "unprivileged"),
        ("full output", ["s256"], None, 1, b"cannot write output\n", "full"),
        ("closed output", ["s256"], None, 1, b"cannot write output\n", "closed"),
    ]


def run_cases(command, windows):
    make_files()
    cases = [c for c in case_table() if not windows or c[0] in WINDOWS_CASES]
    checks, failures, skipped = len(cases), 0, 0
    for name, args, want_out, want_status, want_err, how in cases:
        prefix = command
        kwargs = {"stdout": subprocess.PIPE}
        if how == "full":
            kwargs["stdout"] = open("/dev/full", "wb")
        elif how == "closed":
            kwargs = {"stdout": None, "preexec_fn": lambda: os.close(1)}
        elif how == "fifo":
            threading.Thread(target=feed_slowly, args=("fifo", sample(150))).start()
        elif how == "unprivileged":
            prefix = unprivileged(command[0])
            if prefix is None:
                skipped += 1
                print("SKIP %s: running as root and setpriv is missing" % name)
                continue
        if windows:
            want_out, want_err = want_out.replace(b"\n", b"\r\n"), None
        run = subprocess.run(prefix + args, stderr=subprocess.PIPE, timeout=600, **kwargs)
        got = (run.stdout if want_out is not None else None, run.returncode,
               run.stderr if want_err is not None else None)
        if got != (want_out, want_status, want_err):
            failures += 1
            print("FAIL %s: got %r, want %r" % (name, got, (want_out, want_status, want_err)))

    if not windows:
        # Memory must not grow with the file: one buffer, whatever the size.
        with open("big", "wb") as f:
            f.truncate(64 << 20)
        small, big = peak_kib(command[0], "s256"), peak_kib(command[0], "big")
        if big - small > 1024:
            failures += 1
            print("FAIL memory: %d KiB for 256 bytes, %d KiB for 64 MiB" % (small, big))
        checks += 1

    print("%d passed, %d failed, %d skipped" % (checks - failures - skipped, failures, skipped))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
