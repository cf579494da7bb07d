#!/usr/bin/env python3
"""The cost of a typical run as a whole process, against a C++ "hello" built alike.

Builds hello (std::cout, -O2, the same compiler) in a temporary directory, then runs it and each
program named on the command line under valgrind's callgrind, with the example dialogue
"0 0.001 100" on standard input, no terminal and an empty environment, and reports the
instructions each process executes (start-up, dynamic loading and exit included) and the ratio to
hello. Instruction counts are repeatable where wall times of so short a process are not:

    python3 bench/process_cost.py build/newton build-software/newton
"""
import os
import re
import subprocess
import sys
import tempfile

HELLO = '#include <iostream>\nint main() { std::cout << "hello" << std::endl; }\n'


def instructions(program, dialogue):
    with open(dialogue, "rb") as given:
        run = subprocess.run(["valgrind", "--tool=callgrind", "--callgrind-out-file=/dev/null",
                              program], stdin=given, stdout=subprocess.DEVNULL,
                             stderr=subprocess.PIPE, text=True, env={}, start_new_session=True,
                             check=True)
    return int(re.search(r"Collected : (\d+)", run.stderr).group(1))


with tempfile.TemporaryDirectory() as work:
    hello = os.path.join(work, "hello")
    with open(hello + ".cpp", "w") as file:
        file.write(HELLO)
    subprocess.run(["c++", "-O2", "-o", hello, hello + ".cpp"], check=True)
    dialogue = os.path.join(work, "dialogue")
    with open(dialogue, "w") as file:
        file.write("0 0.001 100\n")
    counts = {program: instructions(program, dialogue) for program in [hello] + sys.argv[1:]}
    for program, count in counts.items():
        name = "hello" if program == hello else program
        print(f"{name}: {count} instructions, {count / counts[hello]:.3f} × hello")
