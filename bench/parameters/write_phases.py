#!/usr/bin/python3
"""What a parameter write costs on a 9600 baud line, phase by phase.

Starts flovir-meter-sim (replies paced at the line's baud rate) on a
pseudo-terminal, reads its table once into a workbook, then runs
`flovir-cli params write --load` ROUNDS times and times each phase from the
moment its status text appears on standard error: the backup read, the write
and the read-back. Prints the median of each.

usage: write_phases.py BUILD_DIR [ROUNDS] [BAUD]   (default 5 rounds, 9600 baud)
"""

import os
import statistics
import subprocess
import sys
import tempfile
import time

BUILD = sys.argv[1]
ROUNDS = int(sys.argv[2]) if len(sys.argv) > 2 else 5
BAUD = sys.argv[3] if len(sys.argv) > 3 else "9600"
CLI = os.path.join(BUILD, "cli", "flovir-cli")
SIM = os.path.join(BUILD, "tools", "meter-sim", "flovir-meter-sim")
PHASES = ["Резервная копия параметров...", "Запись параметров...", "Проверка записи..."]


def timed_phases(command):
    began = time.monotonic()
    process = subprocess.Popen(command, stderr=subprocess.PIPE, stdout=subprocess.DEVNULL,
                               text=True)
    marks = {}
    for line in process.stderr:
        marks.setdefault(line.strip(), time.monotonic() - began)
    process.wait()
    ended = time.monotonic() - began
    assert process.returncode == 0, "the write failed"
    starts = [marks[p] for p in PHASES] + [ended]
    return [starts[i + 1] - starts[i] for i in range(len(PHASES))], ended


def main():
    folder = tempfile.mkdtemp(prefix="flovir-bench-write-")
    link = os.path.join(folder, "meter")
    sim = subprocess.Popen([SIM, "--link", link], stdout=subprocess.DEVNULL)
    try:
        while not os.path.exists(link):
            time.sleep(0.05)
        line = ["--port", link, "--baud", BAUD, "--folder", folder]
        table = os.path.join(folder, "table.xls")
        subprocess.run([CLI, "params", "read", "--save", table] + line, check=True,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        rounds = [timed_phases([CLI, "params", "write", "--load", table] + line)
                  for _ in range(ROUNDS)]
        for i, name in enumerate(PHASES):
            print("%-32s %.2f s" % (name, statistics.median(r[0][i] for r in rounds)))
        print("params write at %s baud: %.2f s in all, the read-back %.2f s of it" %
              (BAUD, statistics.median(r[1] for r in rounds),
               statistics.median(r[0][2] for r in rounds)))
    finally:
        sim.terminate()
        sim.wait()
        subprocess.run(["rm", "-rf", folder])


main()
