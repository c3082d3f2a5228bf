#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""Runs the fuzz target for a bounded time, from a small seed corpus made here.

usage: run_fuzz.py FUZZER SECONDS
"""
import os
import subprocess
import sys
import tempfile

fuzzer, seconds = sys.argv[1], sys.argv[2]
seeds = [b"", b"abc", bytes(128), b"\xff" * 150, bytes(range(256)) * 2 + b"\x80"]
# Reports too, whole, with CR LF, cut short and as a message, so that the
# reader of stored reports starts from the layout.
ABC = b"yoko\n26 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 \ntate\n61 62 63 00 00 00 00 00 0ADE\n\n"
seeds += [ABC, ABC * 3, ABC.replace(b"\n", b"\r\n") * 2, ABC * 2 + ABC[:40], b"cannot open x\n"]
with tempfile.TemporaryDirectory(prefix="quorvil-fuzz-") as corpus:
    for i, seed in enumerate(seeds):
        with open(os.path.join(corpus, "seed%d" % i), "wb") as f:
            f.write(seed)
    command = [fuzzer, "-max_total_time=" + seconds, "-max_len=2048", "-print_final_stats=1", corpus]
    sys.exit(subprocess.run(command).returncode)
