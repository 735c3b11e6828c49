"""varnok.batch: in_order / run_all do every item once, results in input order, failures
raised in their turn, on any number of threads; find_statements finds what os.walk would."""
import os
import threading
import time

import pytest

from varnok import batch
from varnok.batch import find_statements, in_order, run_all


@pytest.mark.parametrize("jobs", [1, 2, 3, 8])
def test_results_in_input_order_each_item_once(jobs):
    seen, lock = [], threading.Lock()

    def work(i):
        time.sleep(0.001 * (i % 3))  # uneven, so that threads finish out of order
        with lock:
            seen.append(i)
        return i * i

    assert run_all(work, range(40), jobs, then=lambda r: -r) == [-i * i for i in range(40)]
    assert sorted(seen) == list(range(40))


@pytest.mark.parametrize("jobs", [1, 2, 4])
def test_a_failure_is_raised_in_its_turn_after_the_results_before_it(jobs):
    def work(i):
        if i == 7:
            raise ValueError("item 7")
        return i

    got = []
    with pytest.raises(ValueError, match="item 7"):
        for result in in_order(work, range(20), jobs):
            got.append(result)
    assert got == list(range(7))


def test_helpers_with_tables_of_their_own_leave_this_threads_descriptors_alone(tmp_path):
    files = [tmp_path / f"{i}.txt" for i in range(30)]
    for i, f in enumerate(files):
        f.write_text(str(i))
    kept = open(files[0])  # opened here before the helpers start, used after they are done

    def work(path):
        with open(path) as f:
            return int(f.read())

    before = sorted(os.listdir("/proc/self/fd")) if os.path.isdir("/proc/self/fd") else None
    assert run_all(work, files, 4, own_files=True) == list(range(30))
    if before is not None:
        assert sorted(os.listdir("/proc/self/fd")) == before
    assert kept.read() == "0"
    kept.close()


def test_stopping_early_waits_for_what_runs_and_starts_nothing_more():
    started = []

    def work(i):
        started.append(i)
        time.sleep(0.005)
        return i

    results = in_order(work, range(50), 3)
    assert next(results) == 0
    results.close()
    count = len(started)
    time.sleep(0.03)
    assert len(started) == count < 50


def test_what_a_helper_thread_meets_is_raised_in_its_turn():
    """Even what is not an Exception: a helper that died of it would leave its item undone
    and the calling thread waiting for it."""
    caller = threading.get_ident()

    def work(i):
        time.sleep(0.001)
        if i == 30:
            raise ValueError("item 30") if threading.get_ident() == caller else SystemExit("item 30")
        return i

    results = []
    with pytest.raises((SystemExit, ValueError), match="item 30"):
        for result in in_order(work, range(40), 3):
            results.append(result)
    assert results == list(range(30))


try:
    from varnok._native import statement_files as native_walk
except ImportError:  # a build without the native module
    native_walk = None
WALKS = [batch._walked_statement_files] + [native_walk] * (native_walk is not None)


@pytest.mark.parametrize("walk", WALKS, ids=lambda w: w.__name__)
def test_statement_files_are_found_as_os_walk_finds_them(tmp_path, walk):
    for name in ["a.txt", "B.TXT", "c.Txt", "notes.md", ".dot.txt", ".hidden/x.txt", "sub/d.txt",
                 "sub/deep/e.txt", "f.txt/g.txt", "txt"]:
        (tmp_path / name).parent.mkdir(parents=True, exist_ok=True)
        (tmp_path / name).write_bytes(b"")
    (tmp_path / "link-to-sub").symlink_to(tmp_path / "sub")  # a link to a folder: not walked
    (tmp_path / "link.txt").symlink_to(tmp_path / "a.txt")
    (tmp_path / "broken.txt").symlink_to(tmp_path / "missing")  # kept: reading it reports the error
    os.mkfifo(tmp_path / "sub" / "pipe.txt")  # skipped: opening it would wait for a writer
    (tmp_path / "pipe-link.txt").symlink_to(tmp_path / "sub" / "pipe.txt")
    (tmp_path / "null.txt").symlink_to("/dev/null")
    (tmp_path / os.fsdecode(b"\xff.txt")).write_bytes(b"")
    expected = sorted([".dot.txt", "B.TXT", "a.txt", "broken.txt", "c.Txt", "f.txt/g.txt", "link.txt",
                       "sub/d.txt", "sub/deep/e.txt", os.fsdecode(b"\xff.txt")])
    for folder in [str(tmp_path), str(tmp_path) + "/"]:
        assert sorted(walk(folder)) == [os.path.join(folder, f) for f in expected]
    assert walk(str(tmp_path / "missing")) == [str(tmp_path / "missing")]  # (reading it says why)
    with pytest.raises(ValueError):
        walk(str(tmp_path) + "\0")
    assert find_statements([str(tmp_path) + "/", str(tmp_path / "missing.txt")]) == (
        [str(tmp_path) + "/" + f for f in expected] + [str(tmp_path / "missing.txt")])


@pytest.mark.parametrize("walk", ["native", "python"])
def test_a_folder_that_cannot_be_opened_is_found_so_that_reading_it_says_why(tmp_path, monkeypatch, walk):
    # A tree deeper than the longest path the system opens: its statements were left out
    # without a word.
    if walk == "python":
        monkeypatch.setattr(batch, "_statement_files", batch._walked_statement_files)
    folder = os.open(tmp_path, os.O_RDONLY)
    for depth in range(120):
        name = f"folder-{depth:03}-" + "x" * 30
        os.mkdir(name, dir_fd=folder)
        below = os.open(name, os.O_RDONLY | os.O_DIRECTORY, dir_fd=folder)
        os.close(folder)
        folder = below
        os.close(os.open("s.txt", os.O_WRONLY | os.O_CREAT, dir_fd=folder))
    os.close(folder)
    found = find_statements([str(tmp_path)])
    unread = [path for path in found if not path.endswith("/s.txt")]
    assert len(unread) == 1 and len(found) > 50
    with pytest.raises(OSError, match="too long"):
        open(unread[0], "rb")


@pytest.mark.parametrize("jobs", [0, -1, 2.0])
def test_jobs_must_be_a_positive_number_of_threads(jobs):
    import varnok

    with pytest.raises(ValueError, match="positive number of threads"):
        varnok.DocumentTable.from_files(["a.txt"], jobs=jobs)


@pytest.mark.parametrize("jobs", [2, 3])
def test_a_slow_taker_holds_a_few_results_not_every_one(jobs):
    """The helpers stop a few items per thread beyond what the caller has taken."""
    started, lock = [], threading.Lock()

    def work(i):
        with lock:
            started.append(i)
        return i

    ahead = []
    for taken, result in enumerate(in_order(work, range(300), jobs)):
        assert result == taken
        time.sleep(0.0005)  # a caller writing to a slow pipe
        with lock:
            ahead.append(len(started) - taken)
    assert max(ahead) <= batch._AHEAD * jobs + 1 and sorted(started) == list(range(300))


def test_after_an_interrupt_a_batch_closed_leaves_its_helpers_running_item():
    """The command's Ctrl-C or SIGTERM closes the batch late (with the interrupt's traceback);
    a helper may be reading a pipe that never ends: the close must not wait for it."""
    started, release = threading.Event(), threading.Event()

    def work(i):
        if i == 1:
            started.set()
            release.wait()
        return i

    results = in_order(work, list(range(4)), 2)
    assert next(results) == 0 and started.wait(10)
    batch.abandon_running_work()
    try:
        closer = threading.Thread(target=results.close)
        closer.start()
        closer.join(10)
        assert not closer.is_alive()
    finally:
        batch.abandon_running_work(False)
        release.set()
