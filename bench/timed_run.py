"""One run of a command, timed, for the benchmark's scripts."""

import os
import sys
import time


def run(argv, silenced=(1, 2)):
    """Runs a command to its end with the descriptors `silenced` on
    /dev/null; gives its wall time in seconds and its own peak resident
    memory in MiB (for a shell, the largest of its children)."""
    quiet = [(os.POSIX_SPAWN_OPEN, fd, os.devnull, os.O_WRONLY, 0) for fd in silenced]
    start = time.perf_counter()
    pid = os.posix_spawn(argv[0], argv, os.environ, file_actions=quiet)
    _, status, usage = os.wait4(pid, 0)
    elapsed = time.perf_counter() - start
    if status != 0:
        sys.exit(f"{' '.join(argv)} failed with status {status}")
    return elapsed, usage.ru_maxrss / 1024
