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
# An original of 1 KiB and a few slips in its copy, as the repair's target
# reads them: two bytes of length, the original, four bytes a slip.
original = bytes((i * 167 + 13) & 0xFF for i in range(1024))
slips = bytes([0, 1, 44, 0x5A, 1, 2, 100, 0x41, 7, 0, 200, 0, 3, 3, 0, 0, 4, 1, 128, 0])
seeds += [b"\x04\x00" + original + slips, b"\x04\x00" + original[:512] + bytes(512) + slips[:8]]
# The same, typed as listings 16 bytes a line, as the listing's target reads
# them (its second bit), and a listing's text as it stands (its top bit).
seeds += [b"\x44\x00" + original + slips, b"\x80\x00" + b"0000: 4D 5A 9O 00\n# page 2\n0008: 4D\n"]
with tempfile.TemporaryDirectory(prefix="quorvil-fuzz-") as corpus:
    for i, seed in enumerate(seeds):
        with open(os.path.join(corpus, "seed%d" % i), "wb") as f:
            f.write(seed)
    # Memory stays bounded: a run that needs more than this fails.
    command = [fuzzer, "-max_total_time=" + seconds, "-max_len=2048", "-rss_limit_mb=1024", "-print_final_stats=1",
               corpus]
    sys.exit(subprocess.run(command).returncode)
