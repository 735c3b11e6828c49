"""The varnok toolkit's benchmark: file -> JSON Lines and file -> Arrow -> pandas against a
pure-Python equivalent (bench/python_parser.py, then the same rows by hand), and a folder of
1,000 small statements through `varnok check` on two threads against one (its Python path
beside it). JSON Lines and check's report go to os.devnull on both sides (the Python side
pays its str -> UTF-8 encoding, as it would).

    PYTHONPATH=build/python python3 bench/toolkit_bench.py --inputs DIR [--quick]

Prints one table and the targets (>= 10x pure Python; two threads >= 1.8x one)."""
from __future__ import annotations

import argparse
import contextlib
import hashlib
import io
import json
import os
import statistics
import sys
import time
from collections.abc import Callable
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))

import generate  # noqa: E402
import python_parser  # noqa: E402

from varnok._fields import DOCUMENT_FIELDS  # noqa: E402

KEYS = tuple((f.key, f.name, f.kind) for f in DOCUMENT_FIELDS)


def timed(fn: Callable[[], object], runs: int) -> float:
    """The median seconds of `runs` calls, one after another (each side of an export row is
    timed on its own: taken in turns, the small inputs' runs would inherit what the
    pure-Python side leaves behind, the memory it freed to be faulted in again)."""
    fn()  # warm: imports and first-time allocations are not what is measured
    samples = []
    for _ in range(runs):
        start = time.perf_counter()
        fn()
        samples.append(time.perf_counter() - start)
    return statistics.median(samples)


def compared(a: Callable[[], object], b: Callable[[], object], runs: int) -> tuple[float, float]:
    """The median seconds of `runs` calls of a and of b, taken in turns in the order a b,
    b a, a b, ...: a busy moment of the machine weighs on both alike, and neither always
    comes first (for two ways of doing the same work, such as check on one thread and on
    two)."""
    a(), b()  # warm: imports and first-time allocations are not what is measured
    times: tuple[list[float], list[float]] = ([], [])
    for i in range(runs):
        for which in ((0, 1) if i % 2 == 0 else (1, 0)):
            start = time.perf_counter()
            (a, b)[which]()
            times[which].append(time.perf_counter() - start)
    return statistics.median(times[0]), statistics.median(times[1])


def python_rows(path: Path) -> list[dict]:
    """The export's rows the way one would build them without varnok: the pure-Python
    reader, then texts, ISO dates, decimal text, direction and a BLAKE2b fingerprint."""
    statement = python_parser.parse(path.read_bytes())
    own = set(statement.accounts) | {statement.header.get("РасчСчет")}
    rows = []
    for doc in statement.documents:
        row: dict = {"file": str(path), "line": None}
        h = hashlib.blake2b(digest_size=16)
        for key, name, kind in KEYS:
            value = doc.get(key)
            if value is not None and kind != "text":
                value = value.isoformat() if kind == "date" else str(value)
            row[name] = value
            h.update(b"-" if value is None else value.encode())
        incoming, outgoing = doc["ПолучательСчет"] in own, doc["ПлательщикСчет"] in own
        row["direction"] = ("internal" if incoming and outgoing else "income" if incoming
                            else "expense" if outgoing else "unrelated")
        row["fingerprint"] = h.hexdigest()
        rows.append(row)
    return rows


def python_jsonl(path: Path) -> None:
    encode = json.JSONEncoder(ensure_ascii=False).encode
    with open(os.devnull, "w", encoding="utf-8") as out:
        for row in python_rows(path):
            out.write(encode(row) + "\n")


def python_pandas(path: Path) -> object:
    import pandas as pd

    return pd.DataFrame(python_rows(path))


def varnok_jsonl(path: Path) -> None:
    from varnok.export import export_files

    with open(os.devnull, "wb") as out:
        export_files("jsonl", [str(path)], out)


def varnok_pandas(path: Path) -> object:
    import varnok

    return varnok.DocumentTable.from_files([path]).to_pandas()


def small_folder(directory: Path, count: int) -> Path:
    folder = directory / f"small-{count}"
    if not folder.is_dir() or len(list(folder.iterdir())) != count:
        folder.mkdir(parents=True, exist_ok=True)
        for i in range(count):
            (folder / f"s{i:04d}.txt").write_bytes(generate.generate(4000, seed=i, days=31))
    return folder


CHECK_PAIRS = 31


def check_seconds(folder: Path, runs: int, native: bool = True) -> tuple[float, float]:
    """Median seconds of `varnok check --json` of the folder on one thread and on two (see
    compared), stdout to os.devnull as a UTF-8 text file (as a pipe or file takes it); with
    native=False on the Python path only."""
    import varnok.commands.check as check
    from varnok.cli import main

    def run(jobs: int) -> None:
        with open(os.devnull, "w", encoding="utf-8") as sink, contextlib.redirect_stdout(sink):
            main(["check", "--json", "-j", str(jobs), str(folder)])

    saved = check.native_check_files
    check.native_check_files = saved if native else None
    try:
        return compared(lambda: run(1), lambda: run(2), runs)
    finally:
        check.native_check_files = saved


def main(argv: list[str] | None = None) -> int:
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("--inputs", type=Path, required=True, help="directory for generated statements")
    ap.add_argument("--quick", action="store_true", help="1 MB input, one run, 200 small files")
    ap.add_argument("--runs", type=int, default=5)
    args = ap.parse_args(argv)
    runs = 1 if args.quick else args.runs
    args.inputs.mkdir(parents=True, exist_ok=True)
    sizes = ["1M"] if args.quick else ["1M", "10M"]
    tasks = [("file -> JSON Lines", varnok_jsonl, python_jsonl)]
    try:
        import pandas  # noqa: F401
        import pyarrow  # noqa: F401
    except ImportError:
        print("(no pandas and pyarrow for this interpreter: the Arrow -> pandas rows are left out)")
    else:
        tasks.append(("file -> Arrow -> pandas", varnok_pandas, python_pandas))
    print(f"{'input':<12}{'task':<24}{'varnok s':>10}{'python s':>10}{'x python':>10}")
    worst = None
    for size in sizes:
        for encoding in ("cp1251", "utf-8"):
            path = args.inputs / f"toolkit-{size}-{encoding}.txt"
            if not path.exists():
                path.write_bytes(generate.generate(generate.parse_size(size), encoding=encoding, seed=7))
            for task, ours, theirs in tasks:
                a = timed(lambda: ours(path), runs)
                b = timed(lambda: theirs(path), runs)
                ratio = b / a
                worst = ratio if worst is None else min(worst, ratio)
                print(f"{size + '-' + encoding:<12}{task:<24}{a:>10.4f}{b:>10.4f}{ratio:>9.1f}x")
    folder = small_folder(args.inputs, 200 if args.quick else 1000)
    # A ratio of two short runs (about 10 and 20 ms) moves with the machine more than the
    # exports' times: more pairs, still in turns, for its medians.
    one, two = check_seconds(folder, max(runs, CHECK_PAIRS))
    python_one, python_two = check_seconds(folder, runs, native=False)
    count = len(list(folder.iterdir()))
    build = "free-threaded" if not sys._is_gil_enabled() else "GIL build"
    print(f"varnok check --json of {count} small statements ({build}):")
    print(f"  native path   1 thread {one:.3f} s, 2 threads {two:.3f} s, {one / two:.2f}x")
    print(f"  Python path   1 thread {python_one:.3f} s, 2 threads {python_two:.3f} s, {python_one / python_two:.2f}x;"
          f" native {python_one / one:.1f}x faster on 1 thread")
    print("\ntargets")
    print(f"  exports >= 10x pure Python        worst {worst:.1f}x   {'met' if worst >= 10 else 'NOT MET'}")
    print(f"  check on 2 threads >= 1.8x one    {one / two:.2f}x   {'met' if one / two >= 1.8 else 'NOT MET'}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
