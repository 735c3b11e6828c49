"""Two-thread scaling of reads without hooks and with one trivial hook, on the interpreter
that runs it: the throughput of two threads, each reading its own copy of a generated
statement, against one thread; and what a read costs in CPU time on each of two threads
against one thread alone (near 1 unless the threads slow each other down).

    tools/sandbox tools/python bench/threads.py         CPython 3.14 (GIL build)
    tools/sandbox --ft tools/python bench/threads.py    the free-threaded CPython

The throughput ratio needs two idle cores (see "CPUs busy"); the CPU cost holds on a
busy machine too, but does not see a thread waiting for the interpreter lock.
"""

from __future__ import annotations

import argparse
import os
import platform
import statistics
import sys
import sysconfig
import threading
import time
from pathlib import Path
from typing import Callable

sys.path.insert(0, str(Path(__file__).resolve().parent))

import varnok_py  # noqa: E402
from generate import generate  # noqa: E402


def noop(section_type: varnok_py.SectionType, attrs: dict[str, str], header: dict[str, str]) -> None:
    pass


def timed(read: Callable[[bytes], object], buffers: list[bytes], reps: int) -> tuple[float, float]:
    """Wall seconds for each buffer's thread to read it `reps` times, and the CPU seconds
    the threads spent in all. The threads start together; the main thread only waits."""
    barrier = threading.Barrier(len(buffers) + 1)
    cpu: list[float] = []

    def work(buf: bytes) -> None:
        barrier.wait()
        start = time.thread_time()
        for _ in range(reps):
            read(buf)
        cpu.append(time.thread_time() - start)

    workers = [threading.Thread(target=work, args=(buf,)) for buf in buffers]
    for w in workers:
        w.start()
    barrier.wait()
    start = time.perf_counter()
    for w in workers:
        w.join()
    return time.perf_counter() - start, sum(cpu)


def scaling(read: Callable[[bytes], object], data: bytes, runs: int, min_seconds: float) -> str:
    # Distinct copies, so the threads share nothing but the module; one and two threads
    # alternate, so a passing disturbance hits both; medians of `runs`.
    copies = [data, bytes(bytearray(data))]
    start = time.perf_counter()
    read(data)
    reps = max(1, int(min_seconds / max(time.perf_counter() - start, 1e-9)))
    ones, twos = [], []
    for _ in range(runs):
        ones.append(timed(read, copies[:1], reps))
        twos.append(timed(read, copies, reps))
    wall_one = statistics.median(wall for wall, _ in ones)
    wall_two = statistics.median(wall for wall, _ in twos)
    busy = statistics.median(cpu / wall for wall, cpu in twos)
    cost = statistics.median(cpu / 2 for _, cpu in twos) / statistics.median(cpu for _, cpu in ones)
    return (f"two threads {2 * wall_one / wall_two:.2f}x one ({busy:.1f} CPUs busy); "
            f"CPU per read {cost:.2f}x")


def main(argv: list[str] | None = None) -> int:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--size", type=int, default=2_000_000, help="statement size in bytes")
    parser.add_argument("--runs", type=int, default=5, help="samples of each, medians taken")
    parser.add_argument("--min-seconds", type=float, default=0.5, help="length of one sample")
    args = parser.parse_args(argv)

    data = generate(args.size, "cp1251", 1, "\r\n")
    build = "free-threaded" if sysconfig.get_config_var("Py_GIL_DISABLED") else "GIL build"
    gil = "on" if sys._is_gil_enabled() else "off"
    print(f"Python {platform.python_version()} ({build}, GIL {gil}), {os.cpu_count()} CPUs, "
          f"a {len(data) / 1e6:.1f} MB windows-1251 statement")
    for name, hooks in (("without hooks", None), ("one no-op hook", [noop])):
        result = scaling(lambda buf: varnok_py.parse(buf, hooks), data, args.runs, args.min_seconds)
        print(f"  {name:<15} {result}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
