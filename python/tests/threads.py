"""The thread count of the multi-threaded tests and one way to run their threads."""

import os
import threading

# More threads than cores, so that the scheduler preempts reads in the middle.
THREADS = max(8, 4 * (os.cpu_count() or 1))


def run_in_threads(work, count=THREADS):
    """Runs work(index) on `count` threads released together by a barrier, joins them all,
    then re-raises the first failure of any of them."""
    barrier = threading.Barrier(count)
    failures = []

    def target(index):
        try:
            barrier.wait()
            work(index)
        except BaseException as exc:  # noqa: BLE001 - re-raised on the calling thread
            failures.append(exc)

    threads = [threading.Thread(target=target, args=(i,)) for i in range(count)]
    for thread in threads:
        thread.start()
    for thread in threads:
        thread.join()
    if failures:
        raise failures[0]
