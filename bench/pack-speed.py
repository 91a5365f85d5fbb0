#!/usr/bin/env python3
"""velkin-pack for Linux against cp of the same package: the time of each
(medians of alternated runs after a warm-up; the ratio is the median of each
packing's time over the copy's right after it) and velkin-pack's peak
memory, as rows of the benchmark's markdown table.

usage: pack-speed.py <velkin-pack> <stub> <package> <size label> <rounds> <work directory> [<time target>]

The time target (a ratio to cp) is judged where it is given: for a package
large enough that copying dominates (512 MiB); for small ones velkin-pack's
start, which reads the stub and the package's tables, is most of the time,
and a target in milliseconds ("8ms") judges velkin-pack's median time
itself.
"""
import os
import statistics
import sys

from timed_run import run

MEMORY_TARGET_MIB = 16


def main():
    if len(sys.argv) not in (7, 8):
        sys.exit(__doc__.strip())
    pack, stub, package, label, rounds, work = sys.argv[1:7]
    time_target = sys.argv[7] if len(sys.argv) == 8 else None
    copy_target = os.path.join(work, "copy.msi")
    setup_target = os.path.join(work, "setup.exe")
    commands = {
        "cp": ["/bin/cp", package, copy_target],
        "pack": [pack, package, "-o", setup_target, "--stub", stub],
    }
    times = {"cp": [], "pack": []}
    peak = 0.0
    for round_number in range(int(rounds) + 1):
        for side in ("pack", "cp"):
            for target in (copy_target, setup_target):
                if os.path.exists(target):
                    os.remove(target)
            # Each side starts with what the one before wrote on disk: a
            # write-back still running would slow whichever comes next.
            os.sync()
            elapsed, memory = run(commands[side])
            if round_number > 0:
                times[side].append(elapsed)
                if side == "pack":
                    peak = max(peak, memory)
    pack_time = statistics.median(times["pack"])
    copy_time = statistics.median(times["cp"])
    # Each packing against the copy right after it: the disk's moods, which
    # come and go over seconds on a shared machine, hit both of a pair alike.
    ratio = statistics.median(p / c for p, c in zip(times["pack"], times["cp"]))
    if time_target is None:
        judged = " | "
    elif time_target.endswith("ms"):
        limit = float(time_target[:-2])
        judged = f"<= {limit:g} ms | {'yes' if pack_time * 1000 <= limit else 'no'}"
    else:
        judged = f"<= {float(time_target):.2f} | {'yes' if ratio <= float(time_target) else 'no'}"
    print(f"| velkin-pack for Linux, {label} (reference: cp) | {pack_time * 1000:.1f} ms | "
          f"{copy_time * 1000:.1f} ms | {ratio:.3f} | {judged} |")
    print(f"| velkin-pack for Linux, {label}: peak memory | {peak:.1f} MiB | | | "
          f"<= {MEMORY_TARGET_MIB} MiB | {'yes' if peak <= MEMORY_TARGET_MIB else 'no'} |")
    for target in (copy_target, setup_target):
        if os.path.exists(target):
            os.remove(target)


main()
