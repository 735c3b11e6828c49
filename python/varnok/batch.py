"""Batches of statement files: finding them under folders, and running one function per file
on N threads in input order, with a progress bar on stderr when it is a terminal."""
from __future__ import annotations

import os
import sys
from collections.abc import Callable, Iterable, Sequence
from concurrent.futures import FIRST_COMPLETED, Future, ThreadPoolExecutor, wait
from typing import Any, TypeVar

T = TypeVar("T")
R = TypeVar("R")


def default_jobs() -> int:
    counter = getattr(os, "process_cpu_count", os.cpu_count)
    return max(1, counter() or 1)


def find_statements(paths: Iterable[str]) -> list[str]:
    """Every file named, and every *.txt file under every folder named (recursively, sorted
    by path, hidden folders skipped). A path that does not exist is kept, so that reading it
    reports the error."""
    found: list[str] = []
    for path in paths:
        if not os.path.isdir(path):
            found.append(path)
            continue
        below = []
        for folder, folders, files in os.walk(path, onerror=None):
            folders[:] = sorted(f for f in folders if not f.startswith("."))
            below += [os.path.join(folder, f) for f in files if f.lower().endswith(".txt")]
        found += sorted(below)
    return found


class _Progress:
    """A tqdm bar on stderr when stderr is a terminal and tqdm is installed; else nothing."""

    def __init__(self, total: int, label: str) -> None:
        self._bar: Any = None
        if total > 1 and sys.stderr.isatty():
            try:
                from tqdm import tqdm
            except ImportError:
                return
            self._bar = tqdm(total=total, desc=label, unit="file", file=sys.stderr, leave=False)

    def advance(self) -> None:
        if self._bar is not None:
            self._bar.update(1)

    def close(self) -> None:
        if self._bar is not None:
            self._bar.close()


def run_all(function: Callable[[T], R], items: Sequence[T], jobs: int, label: str = "reading") -> list[R]:
    """[function(item) for item in items], on `jobs` threads, results in input order. The
    function must not raise for a bad item (it returns its failure); anything it does raise
    stops the batch and is raised here. Ctrl-C cancels what has not started."""
    progress = _Progress(len(items), label)
    try:
        if jobs <= 1 or len(items) <= 1:
            results = []
            for item in items:
                results.append(function(item))
                progress.advance()
            return results
        executor = ThreadPoolExecutor(max_workers=min(jobs, len(items)), thread_name_prefix="varnok")
        try:
            futures: list[Future[R]] = [executor.submit(function, item) for item in items]
            pending = set(futures)
            while pending:
                done, pending = wait(pending, return_when=FIRST_COMPLETED)
                for future in done:
                    future.result()  # raises at once what a worker raised
                    progress.advance()
            return [f.result() for f in futures]
        finally:
            executor.shutdown(wait=True, cancel_futures=True)
    finally:
        progress.close()
