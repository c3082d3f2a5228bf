#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""Runs the quorvil binary over a table of cases and compares whole outputs.

usage: end_to_end.py [--runner EMULATOR] [--windows] [--large] QUORVIL

--runner runs quorvil through an emulator (qemu-user, Wine). With --windows,
the cases that exist on Windows run, and the report's lines end in CR LF as
the text stream writes them; standard error then belongs to Wine and is not
compared. --large runs only the case of a file larger than 4 GiB.
Every process gets a timeout, so a fault fails the run instead of hanging it.
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


# Seconds any one run may take before it counts as hung; a run that must
# stop by itself on endless input gets a few.
TIMEOUT = 60
ENDLESS_TIMEOUT = 10


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--runner")
    parser.add_argument("--windows", action="store_true")
    parser.add_argument("--large", action="store_true")
    parser.add_argument("quorvil")
    options = parser.parse_args()
    command = [os.path.abspath(options.quorvil)]
    if options.runner:
        command.insert(0, options.runner)
    if options.windows:
        os.environ.setdefault("WINEDEBUG", "-all")
        os.environ["LANG"] = "C.UTF-8"  # names reach Wine as UTF-8
    with tempfile.TemporaryDirectory(prefix="quorvil-e2e-") as work:
        os.chdir(work)
        return run_cases(command, options)


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


def close_fails(command):
    """quorvil with close() on the report file failing with EIO, as a network
    file system may report a failed write only then."""
    return ["strace", "-f", "-o", "/dev/null", "-P", os.path.abspath("report"), "-e", "trace=close",
            "-e", "inject=close:error=EIO", "--"] + command


def peak_kib(command, path):
    run = subprocess.run(["/usr/bin/time", "-f", "%M"] + command + [path], stdout=subprocess.DEVNULL,
                         stderr=subprocess.PIPE, check=True, timeout=TIMEOUT)
    return int(run.stderr.split()[-1])


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


def make_files():
    for size in (0, 1, 128, 150, 256):
        with open("s%d" % size, "wb") as f:
            f.write(sample(size))
    for name in ("-dash", ODD_NAME, "secret"):
        with open(name, "wb") as f:
            f.write(sample(150))
    for name, data in NAMED_FILES.items():
        with open(name, "wb") as f:
            f.write(data)
    os.chmod("secret", 0o600 if os.geteuid() == 0 else 0)
    os.mkdir("adir")
    os.mkfifo("fifo")


def missing(name):
    return b"cannot open " + name.encode() + b"\n"


def case_table():
    long_name = "n" * 5000
    r150 = report(sample(150))
    # name, command line, expected stdout (None: not compared), status, stderr,
    # and tags: how it runs and what it needs
    return [
        ("no argument", [], b"usage: quorvil file-name\n", 1, b"", None),
        ("missing file", ["missing"], missing("missing"), 1, b"", None),
        ("empty file", ["s0"], b"", 0, b"", None),
        ("1 byte", ["s1"], report(sample(1)), 0, b"", None),
        ("128 bytes", ["s128"], report(sample(128)), 0, b"", None),
        ("150 bytes", ["s150"], r150, 0, b"", None),
        ("256 bytes", ["s256"], report(sample(256)), 0, b"", None),
        ("extra arguments", ["s150", "missing", "s1"], r150, 0, b"", None),
        ("dash name", ["-dash"], r150, 0, b"", None),
        ("lone dash", ["-"], missing("-"), 1, b"", None),
        ("odd name", [ODD_NAME], r150, 0, b"", "unix names"),
        ("odd missing name", [b"x" + ODD_NAME], b"cannot open x" + ODD_NAME + b"\n", 1, b"", "unix names"),
        ("long name", [long_name], missing(long_name), 1, b"", None),
        ("japanese name", ["データ.bin"], report(NAMED_FILES["データ.bin"]), 0, b"", None),
        ("accented name", ["café.bin"], report(NAMED_FILES["café.bin"]), 0, b"", None),
        ("greek beside look-alike", ["Ωmega.bin"], report(NAMED_FILES["Ωmega.bin"]), 0, b"", None),
        ("missing japanese name", ["ないファイル"], missing("ないファイル"), 1, b"", None),
        ("fullwidth name", ["ｓ１"], missing("ｓ１"), 1, b"", None),
        ("fullwidth backslash", ["adir＼..＼s1"], missing("adir＼..＼s1"), 1, b"", None),
        ("/dev/null", ["/dev/null"], b"", 0, b"", "unix files"),
        ("fifo fed slowly", ["fifo"], r150, 0, b"", "fifo"),
        ("directory", ["adir"], b"cannot read adir\n", 1, b"", None),
        ("read error", ["/proc/self/mem"], b"cannot read /proc/self/mem\n", 1, b"", "unix files"),
        ("no permission", ["secret"], missing("secret"), 1, b"", "unprivileged"),
        ("full output", ["s256"], None, 1, b"cannot write output\n", "full"),
        ("closed output", ["s256"], None, 1, b"cannot write output\n", "closed"),
        ("endless input, full output", ["/dev/zero"], None, 1, b"cannot write output\n", "full, endless, unix files"),
        ("error at close", ["s256"], None, 1, b"cannot write output\n", "close fails"),
        ("larger than 4 GiB", ["large"], (5 * (LARGE_BLOCKS + 1), report(b"abc")), 0, b"", "large"),
    ]


# Where Windows differs, as Wine shows it: a directory cannot be opened.
WINDOWS_OUTPUT = {"directory": missing("adir")}

# Why a case cannot run on Windows.
NOT_ON_WINDOWS = {"unix names": "names that are not UTF-8 do not exist there",
                  "unix files": "no /dev or /proc there", "fifo": "no FIFOs there",
                  "unprivileged": "no Unix permissions there", "close fails": "no strace to inject with"}


def skip_reason(tags, options):
    """Why a case cannot run here, or None when it can."""
    if ("large" in tags) != options.large:
        return ""  # the large case runs on its own, with --large
    if options.windows:
        for tag, reason in NOT_ON_WINDOWS.items():
            if tag in tags:
                return "Windows: " + reason
    if "unprivileged" in tags and os.geteuid() == 0 and shutil.which("setpriv") is None:
        return "running as root and setpriv is missing"
    if "close fails" in tags and shutil.which("strace") is None:
        return "strace is missing, so close cannot be made to fail"
    return None


def run_one(command, args, tags, newline):
    """Runs one case: (stdout, status, stderr), or a string saying what went wrong."""
    if "large" in tags:
        make_large("large")
        return run_large(command, "large", newline)
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
    elif "close fails" in tags:
        command = close_fails(command)
        kwargs["stdout"] = open("report", "wb")
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


def run_cases(command, options):
    make_files()
    checks, failures, skipped = 0, 0, 0
    for name, args, want_out, want_status, want_err, how in case_table():
        tags = (how or "").split(", ")
        reason = skip_reason(tags, options)
        if reason == "":
            continue
        checks += 1
        if reason is not None:
            skipped += 1
            print("SKIP %s: %s" % (name, reason))
            continue
        newline = b"\n"
        if options.windows:
            newline = b"\r\n"
            want_out = WINDOWS_OUTPUT.get(name, want_out)
            if isinstance(want_out, bytes):
                want_out = want_out.replace(b"\n", newline)
            elif want_out is not None:
                want_out = (want_out[0], want_out[1].replace(b"\n", newline))
            want_err = None
        got = run_one(command, [a if isinstance(a, bytes) else a.encode() for a in args], tags, newline)
        if isinstance(got, tuple):
            got = (got[0] if want_out is not None else None, got[1], got[2] if want_err is not None else None)
        if got != (want_out, want_status, want_err):
            failures += 1
            print("FAIL %s: got %r, want %r" % (name, got, (want_out, want_status, want_err)))

    if not options.windows and not options.large:
        # Memory must not grow with the file: one buffer, whatever the size.
        with open("big", "wb") as f:
            f.truncate(64 << 20)
        small, big = peak_kib(command, "s256"), peak_kib(command, "big")
        if big - small > 1024:
            failures += 1
            print("FAIL memory: %d KiB for 256 bytes, %d KiB for 64 MiB" % (small, big))
        checks += 1

    print("%d passed, %d failed, %d skipped" % (checks - failures - skipped, failures, skipped))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
