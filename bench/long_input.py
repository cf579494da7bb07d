#!/usr/bin/env python3
"""Memory and time of reading a very long number, against the same length of blank space.

Feeds build/newton (or the program named on the command line) one long input through a pipe, with no
terminal, and reports the peak resident memory and the wall time of each run:

    python3 bench/long_input.py [program] [megabytes]
"""
import os
import subprocess
import sys
import time

program = sys.argv[1] if len(sys.argv) > 1 else "build/newton"
megabytes = int(sys.argv[2]) if len(sys.argv) > 2 else 300
chunk_size = 1 << 20

# Each input: a head, `megabytes` MiB of one byte, and a tail that completes the dialogue.
inputs = [
    ("blank space before X0", b"", b" ", b"0 0.001 100\n"),
    ("digits of X0", b"", b"1", b" 0.001 100\n"),
    ("zeros after the point", b"0.", b"0", b"1e99999999999999999999 0.001 100\n"),
    ("leading zeros of the limit", b"0 0.001 ", b"0", b"100\n"),
]


def run(head, filler, tail):
    started = time.monotonic()
    child = subprocess.Popen([program], stdin=subprocess.PIPE, stdout=subprocess.DEVNULL,
                             start_new_session=True)
    chunk = filler * chunk_size
    try:
        child.stdin.write(head)
        for _ in range(megabytes):
            child.stdin.write(chunk)
        child.stdin.write(tail)
        child.stdin.close()
    except BrokenPipeError:
        pass
    _, status, usage = os.wait4(child.pid, 0)
    return time.monotonic() - started, usage.ru_maxrss, os.waitstatus_to_exitcode(status)


print(f"{program}, {megabytes} MiB each")
for name, head, filler, tail in inputs:
    seconds, rss_kib, code = run(head, filler, tail)
    print(f"{name:28} {seconds:6.2f} s  peak memory {rss_kib / 1024:6.1f} MiB  exit {code}")
