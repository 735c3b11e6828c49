"""Leak checks that hold on both builds: what a run leaves behind is measured after n and
after 4n calls, so fixed costs (caches, arenas, the free-threaded allocator's per-thread
pages) cancel out and only growth that follows the number of calls remains."""

import gc
import sys


def growth_per_call(run, n, measure=sys.getallocatedblocks):
    """How much `measure()` grows per call of run(k) beyond a fixed amount: a leak of L
    blocks per call gives about L, no leak about 0 (noise divided by 3n)."""
    run(n)  # warm-up: caches, interned strings, arenas

    def grown(calls):
        gc.collect()
        before = measure()
        run(calls)
        gc.collect()
        return measure() - before

    once = grown(n)
    return (grown(4 * n) - once) / (3 * n)
