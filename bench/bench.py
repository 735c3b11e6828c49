"""Side-by-side benchmark of varnok_py.parse on generated statements.

For each input (about 1, 10 and 50 MB, windows-1251 and UTF-8) it measures, in one run:
parse throughput; a pure-Python reader (python_parser.py) and the ratio; the C++ scan floor
(scan_floor) and the ratio of parse to it; peak memory growth of one parse in a fresh
process; two threads parsing their own copy against one, with and without a hook. Then the
end-to-end jobs, each against a pure-Python reader giving the same rows (python_rows.py):
"rows" (parse, then every value of every document and interval as a tuple), "typed" (the
same with the date and the amount as date and Decimal) and the cost of one trivial hook.
It prints two tables and the targets. Throughput is in MB/s with 1 MB = 10^6 bytes.

Run it through tools/bench, which builds the module and the floor first.
"""

from __future__ import annotations

import argparse
import hashlib
import json
import mmap
import operator
import os
import platform
import statistics
import subprocess
import sys
import sysconfig
import threading
import time
from dataclasses import dataclass, field
from datetime import date
from decimal import Decimal
from pathlib import Path
from typing import Callable

HERE = Path(__file__).resolve().parent
sys.path.insert(0, str(HERE))

import generate  # noqa: E402
import python_parser  # noqa: E402
import python_rows  # noqa: E402

ENCODINGS = ("cp1251", "utf-8")
MIB = 1 << 20

# Run in a fresh interpreter: the peak resident size before and after one parse, with the
# input and the result both alive at the end (the result is what the caller keeps).
MEMORY_PROBE = r"""
import json, sys
def status():
    fields = {}
    with open("/proc/self/status") as f:
        for line in f:
            key, _, value = line.partition(":")
            if key in ("VmHWM", "VmRSS"):
                fields[key] = int(value.split()[0]) * 1024
    return fields
import varnok_py
data = open(sys.argv[1], "rb").read()
before = status()
result = varnok_py.parse(data)
after = status()
print(json.dumps({"hwm_before": before["VmHWM"], "hwm_after": after["VmHWM"],
                  "rss_before": before["VmRSS"], "rss_after": after["VmRSS"],
                  "documents": len(result.documents)}))
"""


@dataclass
class Sample:
    """Per-call throughputs in MB/s of one measured operation."""

    mbps: list[float]

    @property
    def median(self) -> float:
        return statistics.median(self.mbps)

    @property
    def low(self) -> float:
        return min(self.mbps)

    @property
    def high(self) -> float:
        return max(self.mbps)


@dataclass
class Row:
    name: str
    path: Path
    size: int
    encoding: str
    documents: int = 0
    sections: int = 0
    parse: Sample | None = None
    python: Sample | None = None
    floor: Sample | None = None
    memory: dict = field(default_factory=dict)
    threads: float = 0.0  # aggregate of two threads / one thread, no hooks
    threads_cpus: float = 0.0  # CPUs busy while the two threads ran
    hooked_threads: float = 0.0  # the same with one trivial hook
    hooked_threads_cpus: float = 0.0
    hooked: Sample | None = None  # parse with one trivial hook
    rows: Sample | None = None  # parse + every value as rows
    python_rows: Sample | None = None
    typed: Sample | None = None  # the same with date and Decimal
    python_typed: Sample | None = None

    @property
    def hook_ratio(self) -> float:
        """Time with one trivial hook over time without."""
        return self.parse.median / self.hooked.median

    @property
    def hook_ns_per_section(self) -> float:
        extra = self.size / (self.hooked.median * 1e6) - self.size / (self.parse.median * 1e6)
        return extra / self.sections * 1e9


def time_calls(fn: Callable[[], object], nbytes: int, runs: int, min_seconds: float) -> Sample:
    """MB/s of `fn` by the process's CPU time (user and system, so page faults count), `runs`
    samples; each sample repeats the call until it lasts `min_seconds`, so small inputs are
    not lost in timer noise. One untimed call first. CPU time, not the wall clock: on a
    machine shared with other work, time spent waiting for a core would count against
    whichever measurement it fell into, and the ratios would mean nothing."""
    t0 = time.process_time()
    fn()
    once = time.process_time() - t0
    reps = max(1, int(min_seconds / max(once, 1e-9)))
    mbps = []
    for _ in range(runs):
        start = time.process_time()
        for _ in range(reps):
            fn()
        mbps.append(nbytes * reps / max(time.process_time() - start, 1e-9) / 1e6)
    return Sample(mbps)


def two_threads_ratio(parse: Callable, data: bytes, runs: int, min_seconds: float) -> tuple[float, float]:
    """Aggregate throughput of two threads, each calling `parse` on its own copy, against
    one thread doing it alone, and the CPUs the process kept busy while the two ran
    (near 2 unless something serialises them or another process takes a core).

    The one thread is a worker thread too: the main thread allocates from the allocator's
    main arena and other threads from their own, which by itself changes the speed, so a
    worker against workers measures only what two reads cost each other. Samples of one
    and of two threads alternate, so a passing disturbance hits both; medians of `runs`."""
    copies = [data, bytes(bytearray(data))]  # distinct objects: nothing shared but the module
    t0 = time.perf_counter()
    parse(data)
    reps = max(1, int(min_seconds / max(time.perf_counter() - t0, 1e-9)))

    def timed(buffers: list[bytes]) -> tuple[float, float]:
        barrier = threading.Barrier(len(buffers) + 1)

        def work(buf: bytes) -> None:
            barrier.wait()
            for _ in range(reps):
                parse(buf)

        workers = [threading.Thread(target=work, args=(buf,)) for buf in buffers]
        for w in workers:
            w.start()
        barrier.wait()
        start, cpu = time.perf_counter(), time.process_time()
        for w in workers:
            w.join()
        return time.perf_counter() - start, time.process_time() - cpu

    singles, doubles = [], []
    for _ in range(runs):
        singles.append(timed(copies[:1]))
        doubles.append(timed(copies))
    single = statistics.median(wall for wall, _ in singles)
    double = statistics.median(wall for wall, _ in doubles)
    busy = statistics.median(cpu / wall for wall, cpu in doubles)
    return (2 * len(data) / double) / (len(data) / single), busy


_document_row = operator.attrgetter(*python_rows.DOCUMENT_NAMES)
_interval_row = operator.attrgetter(*python_rows.INTERVAL_NAMES)
_DATE = python_rows.DOCUMENT_NAMES.index("doc_date")
_AMOUNT = python_rows.DOCUMENT_NAMES.index("amount")


def _typed(row: tuple) -> tuple:
    # As python_rows does it: the fastest of the ways tried (slices and unpacking cost more).
    values = list(row)
    values[_DATE] = date.fromisoformat(values[_DATE])
    values[_AMOUNT] = Decimal(values[_AMOUNT])
    return tuple(values)


def varnok_rows(parse: Callable, data: bytes, typed: bool = False) -> tuple[list, list, list]:
    """What python_rows.rows gives, through varnok_py: the way a user reads every value."""
    statement = parse(data)
    if typed:  # each row typed as it is made, as python_rows does
        documents = [_typed(_document_row(document)) for document in statement.documents]
    else:
        documents = list(map(_document_row, statement.documents))
    intervals = [_interval_row(i) for account in statement.accounts.values() for i in account.intervals]
    return documents, intervals, statement.warnings


def check_rows(parse: Callable, data: bytes, r: Row) -> None:
    """The benchmark means nothing unless the statement reads cleanly and both readers
    give the same rows."""
    reference = python_parser.parse(data)
    stmt = parse(data)
    if (len(stmt.documents), len(stmt.warnings), stmt.encoding) != (len(reference.documents), 0, r.encoding):
        raise SystemExit(f"{r.name}: parse gave {len(stmt.documents)} documents, {len(stmt.warnings)} "
                         f"warnings, {stmt.encoding}; expected {len(reference.documents)}, 0, {r.encoding}")
    for typed in (False, True):
        if varnok_rows(parse, data, typed) != python_rows.rows(data, typed):
            raise SystemExit(f"{r.name}: varnok_py and python_rows.py give different rows (typed={typed})")


def memory_growth(path: Path) -> dict:
    out = subprocess.run([sys.executable, "-c", MEMORY_PROBE, str(path)], check=True,
                         capture_output=True, text=True, env=os.environ.copy())
    return json.loads(out.stdout)


def floor_sample(floor: Path, path: Path, min_seconds: float) -> float:
    """One sample of the scan floor on `path`, in MB/s (it repeats its work for `min_seconds`
    after an untimed pass, as time_calls does)."""
    out = subprocess.run([str(floor), "--runs", "1", "--min-seconds", str(min_seconds), str(path)],
                         check=True, capture_output=True, text=True)
    return json.loads(out.stdout)["median_mbps"]


def ensure_inputs(directory: Path, sizes_mib: list[int]) -> list[Row]:
    """Generates missing inputs; a file name carries a digest of the generator, so a
    changed generator never reuses stale files."""
    directory.mkdir(parents=True, exist_ok=True)
    stamp = hashlib.sha256((HERE / "generate.py").read_bytes()).hexdigest()[:10]
    for old in directory.glob("statement-*.txt"):
        if not old.stem.endswith(stamp):
            old.unlink()
    rows = []
    for size in sizes_mib:
        for encoding in ENCODINGS:
            name = f"{size}M-{encoding}"
            path = directory / f"statement-{name}-{stamp}.txt"
            if not path.exists():
                tmp = path.with_suffix(".tmp")
                tmp.write_bytes(generate.generate(size * MIB, encoding, seed=size))
                tmp.replace(path)
            rows.append(Row(name, path, path.stat().st_size, encoding))
    return rows


def fmt_sample(s: Sample | None) -> str:
    if s is None:
        return "-"
    return f"{s.median:7.1f} [{s.low:.0f}-{s.high:.0f}]"


def fmt_threads(ratio: float, cpus: float) -> str:
    return f"{ratio:.2f}x ({cpus:.1f} CPUs)"


def print_rows(headers: tuple[str, ...], table: list[tuple[str, ...]]) -> None:
    widths = [max(len(h), *(len(t[i]) for t in table)) for i, h in enumerate(headers)]
    line = "  ".join(h.ljust(w) for h, w in zip(headers, widths)).rstrip()
    print(line)
    print("-" * len(line))
    for t in table:
        print("  ".join(c.ljust(w) for c, w in zip(t, widths)).rstrip())


def print_parse_table(rows: list[Row]) -> None:
    table = []
    for r in rows:
        mem = r.memory
        peak = (mem["hwm_after"] - mem["hwm_before"]) / r.size if mem else float("nan")
        kept = (mem["rss_after"] - mem["rss_before"]) / r.size if mem else float("nan")
        table.append((
            r.name, str(r.documents), fmt_sample(r.parse), fmt_sample(r.python),
            f"{r.parse.median / r.python.median:.1f}x", fmt_sample(r.floor),
            f"{r.parse.median / r.floor.median:.2f}", f"{peak:.2f}x in", f"{kept:.2f}x in",
            fmt_threads(r.threads, r.threads_cpus), fmt_threads(r.hooked_threads, r.hooked_threads_cpus),
        ))
    print_rows(("input", "docs", "parse MB/s [min-max]", "python MB/s", "x python", "floor MB/s",
                "parse/floor", "peak mem", "kept mem", "2 threads", "2 threads, 1 hook"), table)


def print_job_table(rows: list[Row]) -> None:
    table = []
    for r in rows:
        table.append((
            r.name, fmt_sample(r.rows), fmt_sample(r.python_rows), f"{r.rows.median / r.python_rows.median:.1f}x",
            fmt_sample(r.typed), fmt_sample(r.python_typed), f"{r.typed.median / r.python_typed.median:.1f}x",
            f"{r.rows.median / r.parse.median * 100:.0f} %",
            f"{r.hook_ratio:.2f}x ({r.hook_ns_per_section:.0f} ns/sect)",
        ))
    print_rows(("input", "rows MB/s", "python rows", "x python", "typed MB/s", "python typed", "x python",
                "parse in rows", "1 hook / none"), table)


def print_targets(rows: list[Row], quick: bool) -> None:
    def verdict(ok: bool | None) -> str:
        return "n/a" if ok is None else ("met" if ok else "NOT MET")

    lines = []

    def worst(label: str, candidates: list[Row], value: Callable[[Row], float], ok: Callable[[float], bool],
              fmt: str, lowest: bool = True) -> None:
        if not candidates:
            lines.append((label, "not measured", verdict(None)))
            return
        r = (min if lowest else max)(candidates, key=value)
        x = value(r)
        lines.append((label, f"worst {x:{fmt}} ({r.name})", verdict(ok(x))))

    cp1251 = [r for r in rows if r.encoding == "cp1251"]
    utf8 = [r for r in rows if r.encoding == "utf-8"]
    worst("parse >= 10x pure Python on every input", rows, lambda r: r.parse.median / r.python.median,
          lambda x: x >= 10, ".1f")
    worst("parse >= 0.9 of the scan floor (windows-1251)", cp1251, lambda r: r.parse.median / r.floor.median,
          lambda x: x >= 0.9, ".2f")
    worst("parse >= 1.0 of the scan floor (UTF-8)", utf8, lambda r: r.parse.median / r.floor.median,
          lambda x: x >= 1.0, ".2f")
    by_name = {r.name: r for r in rows}
    big = by_name.get("50M-cp1251")
    if big and big.memory:
        x = (big.memory["hwm_after"] - big.memory["hwm_before"]) / big.size
        lines.append(("peak memory growth <= 2x input (50M cp1251)", f"{x:.2f}x", verdict(x <= 2)))
    else:
        lines.append(("peak memory growth <= 2x input (50M cp1251)", "not measured", verdict(None)))
    ten = [r for r in rows if r.name.startswith("10M-")]
    worst("two threads >= 1.8x one (10M inputs)", ten, lambda r: r.threads, lambda x: x >= 1.8, ".2f")
    worst("two threads with a hook >= 1.8x one (10M inputs)", ten, lambda r: r.hooked_threads,
          lambda x: x >= 1.8, ".2f")
    if ten and getattr(sys, "_is_gil_enabled", lambda: True)():
        # Python hooks run under the interpreter lock, which parse holds through a hooked
        # read: with the GIL, hooked reads take turns. The target is the free-threaded build's.
        label, value, _ = lines[-1]
        lines[-1] = (label, value, "n/a with the GIL (hooks hold it)")
    pairs = [(by_name.get(f"1M-{e}"), by_name.get(f"50M-{e}")) for e in ENCODINGS]
    pairs = [(a, b) for a, b in pairs if a and b]
    if pairs:
        # Cost per byte is the inverse of the throughput.
        a, b = max(pairs, key=lambda p: p[0].parse.median / p[1].parse.median)
        x = a.parse.median / b.parse.median
        lines.append(("50M per-byte cost within 10% of 1M", f"worst {x:.2f}x ({b.encoding})", verdict(x <= 1.1)))
    else:
        lines.append(("50M per-byte cost within 10% of 1M", "not measured", verdict(None)))
    worst("parse + rows >= 6x pure Python", rows, lambda r: r.rows.median / r.python_rows.median,
          lambda x: x >= 6, ".1f")
    worst("parse + typed >= 4x pure Python", rows, lambda r: r.typed.median / r.python_typed.median,
          lambda x: x >= 4, ".1f")
    worst("one trivial hook <= 2x the hook-free time", rows, lambda r: r.hook_ratio, lambda x: x <= 2, ".2f",
          lowest=False)
    worst("one trivial hook <= 2000 ns per section", rows, lambda r: r.hook_ns_per_section,
          lambda x: x <= 2000, ".0f", lowest=False)
    print()
    print("targets" + (" (quick mode: one run, 1 MB only; numbers are indicative)" if quick else ""))
    w0 = max(len(t[0]) for t in lines)
    w1 = max(len(t[1]) for t in lines)
    for name, value, v in lines:
        print(f"  {name.ljust(w0)}  {value.ljust(w1)}  {v}")


def page_fault_us(pages: int = 2048) -> float:
    """About what touching a fresh page of memory costs here, in µs (median of five maps).
    The end-to-end jobs fault in thousands of pages (the interpreter's allocator gives its
    empty arenas back), and some virtual machines take fifty times as long per fault as
    bare metal, or do at times: this says which kind of moment a run caught."""
    costs = []
    for _ in range(5):
        with mmap.mmap(-1, pages * mmap.PAGESIZE) as m:
            start = time.perf_counter()
            for i in range(0, pages * mmap.PAGESIZE, mmap.PAGESIZE):
                m[i] = 1
            costs.append((time.perf_counter() - start) / pages * 1e6)
    return statistics.median(costs)


def environment() -> str:
    gil = getattr(sys, "_is_gil_enabled", lambda: True)()
    load = os.getloadavg()[0]
    return (f"load average {load:.2f}{' (busy machine: numbers are unreliable)' if load > 0.5 else ''}, "
            f"page fault {page_fault_us():.1f} µs, "
            f"Python {platform.python_version()} ({'free-threaded' if sysconfig.get_config_var('Py_GIL_DISABLED') else 'GIL build'}"
            f", GIL {'enabled' if gil else 'disabled'}), {os.cpu_count()} CPUs, {platform.machine()}")


def main(argv: list[str] | None = None) -> int:
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("--floor", type=Path, required=True, help="the scan_floor binary")
    ap.add_argument("--inputs", type=Path, required=True, help="directory for generated statements")
    ap.add_argument("--quick", action="store_true", help="1 MB inputs only, one run of everything")
    ap.add_argument("--sizes", default="1,10,50", help="input sizes in MiB, comma-separated")
    ap.add_argument("--runs", type=int, default=5, help="samples per measurement (median, min, max)")
    ap.add_argument("--json", type=Path, help="also write the measurements to this file")
    args = ap.parse_args(argv)

    import varnok_py

    sizes = [1] if args.quick else [int(s) for s in args.sizes.split(",")]
    runs = 1 if args.quick else args.runs
    min_seconds = 0.02 if args.quick else 0.25
    started = time.perf_counter()
    rows = ensure_inputs(args.inputs, sizes)
    print(f"varnok benchmark: {environment()}")
    print(f"inputs in {args.inputs} ({time.perf_counter() - started:.1f} s to prepare)\n", flush=True)

    parse = varnok_py.parse
    hook = [lambda t, a, h: None]
    for r in rows:
        data = r.path.read_bytes()
        check_rows(parse, data, r)
        r.documents = data.count("КонецДокумента".encode(r.encoding))
        r.sections = r.documents + data.count("КонецРасчСчет".encode(r.encoding))
        # A large input takes seconds per call in pure Python: three samples are plenty.
        py_runs = runs if r.size < 20 * MIB else min(runs, 3)
        # Samples of the floor and of parse alternate, so that both see the same machine.
        floor_mbps: list[float] = []
        parse_mbps: list[float] = []
        for _ in range(runs):
            floor_mbps.append(floor_sample(args.floor, r.path, max(min_seconds, 0.1)))
            parse_mbps += time_calls(lambda: parse(data), len(data), 1, min_seconds).mbps
        r.floor, r.parse = Sample(floor_mbps), Sample(parse_mbps)
        r.hooked = time_calls(lambda: parse(data, hook), len(data), runs, min_seconds)
        r.rows = time_calls(lambda: varnok_rows(parse, data), len(data), runs, min_seconds)
        r.typed = time_calls(lambda: varnok_rows(parse, data, typed=True), len(data), runs, min_seconds)
        r.python = time_calls(lambda: python_parser.parse(data), len(data), py_runs, min_seconds)
        r.python_rows = time_calls(lambda: python_rows.rows(data), len(data), py_runs, min_seconds)
        r.python_typed = time_calls(lambda: python_rows.rows(data, typed=True), len(data), py_runs, min_seconds)
        r.memory = memory_growth(r.path)
        r.threads, r.threads_cpus = two_threads_ratio(parse, data, runs, min_seconds)
        r.hooked_threads, r.hooked_threads_cpus = two_threads_ratio(
            lambda buf: parse(buf, [lambda t, a, h: None]), data, runs, min_seconds)
        print(f"  measured {r.name} ({r.size / 1e6:.1f} MB, {r.documents} documents)", file=sys.stderr,
              flush=True)

    print_parse_table(rows)
    print()
    print_job_table(rows)
    print_targets(rows, args.quick)
    print(f"\n({time.perf_counter() - started:.0f} s; load average at the end {os.getloadavg()[0]:.2f},"
          f" about 1 from this run itself; page fault {page_fault_us():.1f} µs)")
    if args.json:
        args.json.write_text(json.dumps([{
            "input": r.name, "bytes": r.size, "documents": r.documents, "sections": r.sections,
            "parse_mbps": r.parse.mbps, "python_mbps": r.python.mbps, "floor_mbps": r.floor.mbps,
            "hooked_mbps": r.hooked.mbps, "rows_mbps": r.rows.mbps, "python_rows_mbps": r.python_rows.mbps,
            "typed_mbps": r.typed.mbps, "python_typed_mbps": r.python_typed.mbps,
            "memory": r.memory, "two_threads_ratio": r.threads, "two_threads_cpus": r.threads_cpus,
            "two_threads_hooked_ratio": r.hooked_threads, "two_threads_hooked_cpus": r.hooked_threads_cpus,
        } for r in rows], indent=1))
    return 0


if __name__ == "__main__":
    sys.exit(main())
