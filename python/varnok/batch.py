"""Batches of statement files: finding them under folders, and running one function per file
on N threads in input order, with a progress bar on stderr when it is a terminal."""
from __future__ import annotations

import contextlib
import os
import sys
import _thread
import threading
from collections.abc import Callable, Iterable, Iterator, Sequence
from typing import Any, TypeVar

from varnok._file_kind import is_other

T = TypeVar("T")
R = TypeVar("R")


def default_jobs() -> int:
    counter = getattr(os, "process_cpu_count", os.cpu_count)
    return max(1, counter() or 1)


def find_statements(paths: Iterable[str]) -> list[str]:
    """Every file named, and every *.txt file under every folder named (recursively, sorted
    by path, hidden folders skipped; pipes, sockets and devices found there skipped too, as
    they may never end). A path that does not exist is kept, and so is a folder that cannot
    be read, so that reading it reports the error."""
    found: list[str] = []
    for path in paths:
        if not os.path.isdir(path):
            found.append(path)
            continue
        found += sorted(_statement_files(path))
    return found


def _walked_statement_files(folder: str) -> list[str]:
    """The *.txt files below folder (hidden folders skipped), in no particular order, and
    the folders that could not be read, so that reading them reports why."""
    below: list[str] = []
    for current, folders, files in os.walk(folder, onerror=lambda error: below.append(error.filename)):
        folders[:] = [f for f in folders if not f.startswith(".")]
        prefix = os.path.join(current, "")  # os.path.join(current, f) for every f at once
        below += [prefix + f for f in files if f[-4:].lower() == ".txt" and not is_other(prefix + f)]
    return below


try:  # the same walk without a Python object per entry (POSIX paths)
    from varnok._native import statement_files as _statement_files
except ImportError:
    _statement_files = _walked_statement_files
if os.sep != "/":
    _statement_files = _walked_statement_files


class _Progress:
    """A tqdm bar on stderr when stderr is a terminal and tqdm is installed; else nothing."""

    def __init__(self, total: int, label: str) -> None:
        self._bar: Any = None
        if total > 1 and sys.stderr.isatty():
            try:
                from tqdm import tqdm  # type: ignore[import-untyped, unused-ignore]
            except ImportError:
                return
            self._bar = tqdm(total=total, desc=label, unit="file", file=sys.stderr, leave=False)

    def advance(self, count: int = 1) -> None:
        if self._bar is not None:
            self._bar.update(count)

    def close(self) -> None:
        if self._bar is not None:
            self._bar.close()


@contextlib.contextmanager
def above_progress(stream: Any = None) -> Iterator[None]:
    """For writing to `stream` (stdout by default) while a progress bar may be drawn: on a
    terminal the bar is cleared first, and drawn again once what the block wrote is
    flushed; elsewhere the block alone."""
    stream = sys.stdout if stream is None else stream
    if not stream.isatty():
        yield
        return
    try:
        from tqdm import tqdm
    except ImportError:
        yield
        return
    with tqdm.external_write_mode(file=stream):
        yield
        stream.flush()


# Set when Ctrl-C or SIGTERM ends a command: a batch closed after that (its generator is
# closed once the interrupt's traceback goes) does not wait for what its helpers are doing,
# as one may be reading a pipe that never ends.
_abandoned = threading.Event()


def abandon_running_work(abandon: bool = True) -> None:
    """After an interrupt (or, with False, for a new command): whether batches stopped from
    now on leave their helpers' running items unwaited for."""
    if abandon:
        _abandoned.set()
    else:
        _abandoned.clear()


def run_all(function: Callable[[T], Any], items: Sequence[T], jobs: int, label: str = "reading",
            *, then: Callable[[Any], R] | None = None, weight: Callable[[T], int] | None = None,
            own_files: bool = False) -> list[Any]:
    """[function(item) for item in items], on `jobs` threads, results in input order. With
    `then`, each result is then(function(item)): on the free-threaded build both run on the
    worker threads; with the interpreter lock, `then` (Python work, which would only contend
    for the lock) runs on this thread in input order while the workers go on with
    `function` (reads, which release the lock). Neither may raise for a bad item (they
    return its failure); anything raised stops the batch and is raised here. Ctrl-C cancels
    what has not started. With `weight`, the progress bar counts weight(item) per item (the
    files of a chunk of files). With `own_files`, each helper thread works with a
    descriptor table of its own (see _own_descriptor_table): only for work whose files are
    opened and closed within one item."""
    if not isinstance(jobs, int) or jobs < 1:  # (-1 is not "all CPUs", as elsewhere)
        raise ValueError(f"jobs must be a positive number of threads, not {jobs!r}")
    return list(in_order(function, items, jobs, label, then=then, weight=weight, own_files=own_files))


def in_order(function: Callable[[T], Any], items: Sequence[T], jobs: int, label: str = "reading",
             *, then: Callable[[Any], R] | None = None, weight: Callable[[T], int] | None = None,
             own_files: bool = False) -> Iterator[Any]:
    """run_all's results one at a time, in input order, each as soon as it and those before
    it are done: the caller writes it out while the others go on, and only the results
    they are ahead by are held. This thread is one of the `jobs`: it takes items as the
    helpers do, and waits only when none is left to take."""
    count = weight if weight is not None else _one
    progress = _Progress(sum(map(count, items)), label)
    try:
        if jobs <= 1 or len(items) <= 1:
            finish = then if then is not None else _same
            for item in items:
                yield finish(function(item))
                progress.advance(count(item))
            return
        # With the lock, `then` (Python work) runs here; without it, wherever the item is done.
        here = then is not None and _gil_enabled()
        work = function if here or then is None else lambda item: then(function(item))
        finish_here = then if here and then is not None else _same
        threads = min(jobs, len(items))
        claims = _Claims(items, work, own_files, ahead=_AHEAD * threads)
        claims.start_helpers(threads - 1)
        try:
            for i, item in enumerate(items):
                result = claims.take(i)
                yield finish_here(result)
                progress.advance(count(item))
        except BaseException as exc:
            # After Ctrl-C or SIGTERM the helpers are not waited for: one may be reading a
            # pipe that never ends. They stop once their item is done.
            # Nor while the interpreter shuts down (a generator left by an error nobody caught
            # is closed then): its threads are frozen and would never finish.
            claims.stop(wait=isinstance(exc, (Exception, GeneratorExit)) and not _abandoned.is_set()
                        and not sys.is_finalizing())
            raise
        claims.stop()  # what has not started is not started; what runs is waited for
    finally:
        progress.close()


# How many items per thread may be claimed beyond the one in_order's caller waits for: a
# caller slower than the reads (a pipe to a pager, a terminal) would otherwise find every
# file of a folder read and held.
_AHEAD = 4


class _Claims:
    """The items of in_order, each done once by whichever thread claims it first, in order,
    at most `ahead` beyond the first not yet taken; their results (or what they raised)
    kept until taken."""

    def __init__(self, items: Sequence[Any], work: Callable[[Any], Any], own_files: bool, ahead: int) -> None:
        self._items = items
        self._work = work
        self._own_files = own_files
        self._ahead = ahead
        self._next = 0  # the first item not claimed
        self._taken = 0  # the first item not taken
        self._done: dict[int, tuple[bool, Any]] = {}  # index -> (raised, result or exception)
        self._changed = threading.Condition()
        self._helpers = 0  # helper threads not yet done

    def start_helpers(self, count: int) -> None:
        # Started without waiting for each to run (threading.Thread.start waits): this
        # thread goes on with the first items while they start.
        for _ in range(count):
            with self._changed:
                self._helpers += 1
            try:
                _thread.start_new_thread(self._help, ())
            except BaseException as exc:
                with self._changed:
                    self._helpers -= 1
                if isinstance(exc, RuntimeError):  # no more threads (a process or container limit):
                    return                          # those started, and this one, do the work
                raise

    def _claim(self, wait: bool = True) -> int | None:
        """The next item, once it is within reach (else None without `wait`); None when
        none is left."""
        with self._changed:
            while self._next < len(self._items) and self._next - self._taken >= self._ahead:
                if not wait:
                    return None
                self._changed.wait()
            if self._next >= len(self._items):
                return None
            self._next += 1
            return self._next - 1

    def _do(self, i: int, catch: type[BaseException] = Exception) -> None:
        try:
            outcome = (False, self._work(self._items[i]))
        except catch as exc:  # raised where it is taken, in order
            outcome = (True, exc)
        with self._changed:
            self._done[i] = outcome
            self._changed.notify_all()

    def _help(self) -> None:
        # Anything a helper meets is kept for the item's turn: a helper that died would
        # leave its item undone and the taker waiting. (The taker lets Ctrl-C through.)
        try:
            if self._own_files:
                _own_descriptor_table()
            while (i := self._claim()) is not None:
                self._do(i, BaseException)
        finally:
            with self._changed:
                self._helpers -= 1
                self._changed.notify_all()

    def take(self, i: int) -> Any:
        """The result of item i, done here while it is not done and an item is left to
        claim; raises what item i raised."""
        while True:
            with self._changed:
                if i in self._done:
                    raised, value = self._done.pop(i)
                    self._taken = i + 1
                    self._changed.notify_all()  # (helpers waiting for room)
                    if raised:
                        raise value
                    return value
                if self._next >= len(self._items) or self._next - self._taken >= self._ahead:
                    self._changed.wait()  # (this thread never waits for room: it makes it)
                    continue
            claimed = self._claim(wait=False)
            if claimed is not None:
                self._do(claimed)

    def stop(self, wait: bool = True) -> None:
        """No more claims; returns once the helpers are done, if `wait`."""
        with self._changed:
            self._next = len(self._items)
            self._changed.notify_all()  # (helpers waiting for room)
            while wait and self._helpers:
                self._changed.wait()


def _own_descriptor_table() -> None:
    """Gives this thread a copy of the process's descriptor table, released when the thread
    ends. Threads that share one table contend for its lock and cache lines on every open
    and close, and the kernel counts references on every read; over a folder of small
    files that is several per cent of two threads' time. Where the system has no such call
    or refuses it (some container profiles), the table stays shared. Only the commands ask
    for it, and only as the program: inside someone else's process the collector may run
    that program's finalizers on a helper, whose close() would then miss its file."""
    unshare = getattr(os, "unshare", None)
    if unshare is None:
        return
    try:
        unshare(os.CLONE_FILES)
    except OSError:
        pass


def _same(result: Any) -> Any:
    return result


def _one(item: Any) -> int:
    return 1


def _gil_enabled() -> bool:
    return bool(getattr(sys, "_is_gil_enabled", lambda: True)())
