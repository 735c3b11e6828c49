"""A kept failure costs its message, not the input it was found in: a service keeps the
failures of a day's statements."""
import gc
import tracemalloc

import pytest
from conftest import document, statement

import varnok
from varnok import export, report

DOCUMENTS = 3000  # about 1 MB of statement


def big_statement(last_purpose="Оплата"):
    docs = [document(str(n)) for n in range(DOCUMENTS)] + [document("last", НазначениеПлатежа=last_purpose)]
    return statement(*docs)


def held_by(make):
    """The bytes a kept result of make() holds, the call over."""
    gc.collect()
    tracemalloc.start()
    try:
        base = tracemalloc.get_traced_memory()[0]
        kept = make()
        gc.collect()
        return kept, tracemalloc.get_traced_memory()[0] - base
    finally:
        tracemalloc.stop()


def raised(call, *args):  # (args are kept by its frame: none that is big)
    try:
        call(*args)
    except Exception as exc:  # noqa: BLE001 (what it raises is kept as it is)
        return exc
    pytest.fail("no failure")


@pytest.mark.parametrize("make", [
    lambda path: raised(varnok.read_file, path),
    lambda path: raised(varnok.read, path),
    lambda path: raised(lambda: export.DocumentTable.from_bytes(bytearray(path.read_bytes()), "f")),
    lambda path: export._read_or_failure(str(path)),
    lambda path: report.report_file(str(path)).error,
    lambda path: raised(lambda: varnok.read(str(path.read_text("cp1251")).replace("\n", "\n\udc80", 1))).cause,
], ids=["read_file", "read", "DocumentTable.from_bytes", "export's failures", "report_file", "lone surrogate"])
def test_a_kept_read_failure_does_not_hold_the_input(write_file, make):
    path = write_file("bad.txt", big_statement().replace("КонецФайла", "мусор"))
    failure, held = held_by(lambda: make(path))
    assert isinstance(failure, (varnok.ReadFailure, UnicodeEncodeError)) and held < 50_000


def test_a_kept_write_error_does_not_hold_the_output():
    raw = varnok.read(big_statement(last_purpose="Оплата 😀").encode("utf-8")).raw
    error, held = held_by(lambda: raised(varnok.write, raw).with_traceback(None))
    assert isinstance(error, varnok.WriteError) and "U+1F600" in str(error) and held < 50_000
