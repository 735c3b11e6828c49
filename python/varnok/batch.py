"""Batches of statement files: finding them under folders, and running one function per file
on N threads in input order, with a progress bar on stderr when it is a terminal."""
from __future__ import annotations

import collections
import os
import sys
from collections.abc import Callable, Iterable, Iterator, Sequence
from concurrent.futures import ThreadPoolExecutor
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
            prefix = os.path.join(folder, "")  # os.path.join(folder, f) for every f at once
            below += [prefix + f for f in files if f[-4:].lower() == ".txt"]
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

    def advance(self, count: int = 1) -> None:
        if self._bar is not None:
            self._bar.update(count)

    def close(self) -> None:
        if self._bar is not None:
            self._bar.close()


def run_all(function: Callable[[T], Any], items: Sequence[T], jobs: int, label: str = "reading",
            *, then: Callable[[Any], R] | None = None, weight: Callable[[T], int] | None = None) -> list[Any]:
    """[function(item) for item in items], on `jobs` threads, results in input order. With
    `then`, each result is then(function(item)): on the free-threaded build both run on the
    worker threads; with the interpreter lock, `then` (Python work, which would only contend
    for the lock) runs on this thread in input order while the workers go on with
    `function` (reads, which release the lock). Neither may raise for a bad item (they
    return its failure); anything raised stops the batch and is raised here. Ctrl-C cancels
    what has not started. With `weight`, the progress bar counts weight(item) per item (the
    files of a chunk of files)."""
    return list(in_order(function, items, jobs, label, then=then, weight=weight))


def in_order(function: Callable[[T], Any], items: Sequence[T], jobs: int, label: str = "reading",
             *, then: Callable[[Any], R] | None = None, weight: Callable[[T], int] | None = None) -> Iterator[Any]:
    """run_all's results one at a time, in input order, each as soon as it and those before
    it are done: the caller writes it out while the workers go on, and only the results
    the workers are ahead by are held."""
    count = weight if weight is not None else _one
    progress = _Progress(sum(map(count, items)), label)
    finish = then if then is not None else _same
    try:
        if jobs <= 1 or len(items) <= 1:
            for item in items:
                yield finish(function(item))
                progress.advance(count(item))
            return
        executor = ThreadPoolExecutor(max_workers=min(jobs, len(items)), thread_name_prefix="varnok")
        finished = False
        try:
            # With the lock, `then` runs here; without it, on the workers.
            here = then is not None and _gil_enabled()
            work = function if here or then is None else lambda item: then(function(item))
            pending = collections.deque((item, executor.submit(work, item)) for item in items)
            while pending:
                # Waiting on one future at a time, in order: linear, and no lock of a
                # pending future is watched by this thread while the workers finish them.
                # A future is let go once taken, and its result with it.
                item, future = pending.popleft()
                result = future.result()
                yield then(result) if here else result
                progress.advance(count(item))
            finished = True
        finally:
            # Once all is done the idle workers just exit: joining them would only wait.
            # Else what has not started is cancelled, and what runs is waited for.
            executor.shutdown(wait=not finished, cancel_futures=True)
    finally:
        progress.close()


def _same(result: Any) -> Any:
    return result


def _one(item: Any) -> int:
    return 1


def _gil_enabled() -> bool:
    return bool(getattr(sys, "_is_gil_enabled", lambda: True)())
