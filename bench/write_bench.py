"""Writing against parsing: how long varnok.write takes for a statement that varnok_py.parse
read, in both output encodings, side by side with the parse of the same bytes.

    tools/sandbox tools/bench --write            (Release tree, generated 1, 10, 50 MB inputs)
    PYTHONPATH=build/python python3 bench/write_bench.py --inputs DIR [--sizes 1,10] [--runs 5]

Samples of parse and write alternate, so a passing disturbance hits both; the table shows
medians. The Python-only writer (the path taken for typed views and plain data) is timed
once per input, for comparison.
"""
from __future__ import annotations

import argparse
import statistics
import sys
import time
from collections.abc import Callable
from pathlib import Path

import varnok_py
from bench import ensure_inputs  # type: ignore[import-not-found]
from varnok import writer

TARGET = 0.5  # writing at least half as fast as parsing


def seconds(fn: Callable[[], object], min_seconds: float) -> Callable[[], float]:
    """A timer of fn: seconds per call, repeating the call until min_seconds have passed."""
    start = time.perf_counter()
    fn()
    reps = max(1, int(min_seconds / max(time.perf_counter() - start, 1e-9)))

    def timed() -> float:
        start = time.perf_counter()
        for _ in range(reps):
            fn()
        return (time.perf_counter() - start) / reps

    return timed


def python_path(statement: varnok_py.Statement, encoding: str) -> float:
    native, writer._native = writer._native, None  # type: ignore[assignment]
    try:
        start = time.perf_counter()
        writer.write(statement, encoding=encoding)
        return time.perf_counter() - start
    finally:
        writer._native = native


def main(argv: list[str] | None = None) -> int:
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("--inputs", type=Path, required=True, help="directory for generated statements")
    ap.add_argument("--sizes", default="1,10,50", help="input sizes in MiB, comma-separated")
    ap.add_argument("--runs", type=int, default=5, help="alternating samples per measurement")
    ap.add_argument("--min-seconds", type=float, default=0.2, help="least time of one sample")
    args = ap.parse_args(argv)

    print(f"{'input':<12}{'docs':>7}{'parse ms':>10}{'write cp1251 ms':>17}{'x parse':>9}"
          f"{'write utf-8 ms':>16}{'x parse':>9}{'python-only ms':>16}{'x parse':>9}")
    worst = (float("inf"), "")
    for row in ensure_inputs(args.inputs, [int(s) for s in args.sizes.split(",")]):
        data = row.path.read_bytes()
        statement = varnok_py.parse(data)
        timers = {"parse": seconds(lambda: varnok_py.parse(data), args.min_seconds)}
        for encoding in ("cp1251", "utf-8"):
            timers[encoding] = seconds(lambda e=encoding: writer.write(statement, encoding=e), args.min_seconds)
        samples: dict[str, list[float]] = {name: [] for name in timers}
        for _ in range(args.runs):
            for name, timer in timers.items():
                samples[name].append(timer())
        median = {name: statistics.median(values) for name, values in samples.items()}
        slow = python_path(statement, row.encoding)
        ratios = {name: median["parse"] / median[name] for name in ("cp1251", "utf-8")}
        for name, ratio in ratios.items():
            worst = min(worst, (ratio, f"{row.name} -> {name}"))
        print(f"{row.name:<12}{len(statement.documents):>7}{median['parse'] * 1e3:>10.1f}"
              f"{median['cp1251'] * 1e3:>17.1f}{ratios['cp1251']:>9.2f}"
              f"{median['utf-8'] * 1e3:>16.1f}{ratios['utf-8']:>9.2f}"
              f"{slow * 1e3:>16.1f}{median['parse'] / slow:>9.2f}")
    verdict = "met" if worst[0] >= TARGET else "NOT MET"
    print(f"\ntarget: write >= {TARGET}x the speed of parse   worst {worst[0]:.2f} ({worst[1]})   {verdict}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
