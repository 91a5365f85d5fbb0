#!/usr/bin/env python3
"""A velkin-pack manifest command against a reference pipeline that does the
same kind of work with everyday tools: the time of each (medians of
alternated runs after a warm-up; the ratio is the median of each command's
time over the reference's right after it) and the command's peak memory, as
rows of the benchmark's markdown table.

usage: manifest-speed.py <label> <rounds> <time target> <output directory> <reference (sh -c)> <command...>

The output directory is emptied before every run of the command. An empty
time target reports the ratio without judging it (for small setups, where
the start of either side is most of the time).
"""
import os
import shutil
import statistics
import sys

from timed_run import run

MEMORY_TARGET_MIB = 64


def main():
    if len(sys.argv) < 7:
        sys.exit(__doc__.strip())
    label, rounds, target, output, reference = sys.argv[1:6]
    command = sys.argv[6:]
    time_target = float(target) if target else None
    sides = {"velkin": command, "reference": ["/bin/sh", "-c", reference]}
    times = {"velkin": [], "reference": []}
    peak = 0.0
    for round_number in range(int(rounds) + 1):
        for side in ("velkin", "reference"):
            shutil.rmtree(output, ignore_errors=True)
            os.makedirs(output)
            # Each side starts with what the one before wrote on disk.
            os.sync()
            elapsed, memory = run(sides[side], silenced=(1,))
            if round_number > 0:
                times[side].append(elapsed)
                if side == "velkin":
                    peak = max(peak, memory)
    shutil.rmtree(output, ignore_errors=True)
    mine = statistics.median(times["velkin"])
    theirs = statistics.median(times["reference"])
    ratio = statistics.median(v / r for v, r in zip(times["velkin"], times["reference"]))
    judged = (f"<= {time_target:.2f} | {'yes' if ratio <= time_target else 'no'}"
              if time_target is not None else " | ")
    print(f"| {label} | {mine * 1000:.1f} ms | {theirs * 1000:.1f} ms | {ratio:.3f} | {judged} |")
    print(f"| {label.split(' (reference')[0]}: peak memory | {peak:.1f} MiB | | | "
          f"<= {MEMORY_TARGET_MIB} MiB | {'yes' if peak <= MEMORY_TARGET_MIB else 'no'} |")


main()
