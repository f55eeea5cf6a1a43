#!/usr/bin/env python3
"""Starts COMMAND and prints the milliseconds until its first line of
standard output (or "-" when it ends without one within 5 s), then ends it.

    first_line.py COMMAND..."""
import select
import subprocess
import sys
import time

start = time.perf_counter()
process = subprocess.Popen(sys.argv[1:], stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
ready = select.select([process.stdout], [], [], 5)[0]
line = process.stdout.readline() if ready else b""
elapsed = (time.perf_counter() - start) * 1000
process.kill()
process.wait()
print("%.1f" % elapsed if line else "-")
