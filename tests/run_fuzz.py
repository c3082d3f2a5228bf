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
with tempfile.TemporaryDirectory(prefix="quorvil-fuzz-") as corpus:
    for i, seed in enumerate(seeds):
        with open(os.path.join(corpus, "seed%d" % i), "wb") as f:
            f.write(seed)
    command = [fuzzer, "-max_total_time=" + seconds, "-max_len=2048", "-print_final_stats=1", corpus]
    sys.exit(subprocess.run(command).returncode)
