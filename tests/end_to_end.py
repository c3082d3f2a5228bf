#!/usr/bin/env python3
"""Runs the quorvil binary over a table of cases and compares whole outputs.

usage: end_to_end.py QUORVIL
"""
import os
import subprocess
import sys
import tempfile


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


def main():
    quorvil = os.path.abspath(sys.argv[1])
    with tempfile.TemporaryDirectory(prefix="quorvil-e2e-") as work:
        os.chdir(work)
        return run_cases(quorvil)


def run_cases(quorvil):
    for size in (0, 1, 128, 150, 256):
        with open("s%d" % size, "wb") as f:
            f.write(sample(size))
    with open("-dash", "wb") as f:
        f.write(sample(150))
    os.mkdir("adir")

    ok = report(sample(256))
    # name, arguments, expected stdout, expected status, expected stderr, how stdout is set up
    cases = [
        ("no argument", [], b"usage: quorvil file-name\n", 1, b"", None),
        ("missing file", ["missing"], b"cannot open missing\n", 1, b"", None),
        ("empty file", ["s0"], b"", 0, b"", None),
        ("1 byte", ["s1"], report(sample(1)), 0, b"", None),
        ("128 bytes", ["s128"], report(sample(128)), 0, b"", None),
        ("150 bytes", ["s150"], report(sample(150)), 0, b"", None),
        ("256 bytes", ["s256"], ok, 0, b"", None),
        ("extra arguments", ["s150", "missing", "s1"], report(sample(150)), 0, b"", None),
        ("dash name", ["-dash"], report(sample(150)), 0, b"", None),
        ("lone dash", ["-"], b"cannot open -\n", 1, b"", None),
        ("directory", ["adir"], b"cannot read adir\n", 1, b"", None),
        ("read error", ["/proc/self/mem"], b"cannot read /proc/self/mem\n", 1, b"", None),
        ("full output", ["s256"], None, 1, b"cannot write output\n", "full"),
        ("closed output", ["s256"], None, 1, b"cannot write output\n", "closed"),
    ]

    failures = 0
    for name, args, want_out, want_status, want_err, stdout_setup in cases:
        kwargs = {"stdout": subprocess.PIPE}
        if stdout_setup == "full":
            kwargs["stdout"] = open("/dev/full", "wb")
        elif stdout_setup == "closed":
            kwargs = {"stdout": None, "preexec_fn": lambda: os.close(1)}
        run = subprocess.run([quorvil] + args, stderr=subprocess.PIPE, timeout=60, **kwargs)
        got = (run.stdout if want_out is not None else None, run.returncode, run.stderr)
        if got != (want_out, want_status, want_err):
            failures += 1
            print("FAIL %s: got %r, want %r" % (name, got, (want_out, want_status, want_err)))
    print("%d passed, %d failed" % (len(cases) - failures, failures))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
