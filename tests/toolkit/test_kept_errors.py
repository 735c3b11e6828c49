"""A kept failure costs its message, not the input it was found in: a service keeps the
failures of a day's statements."""
import gc
import io
import tracemalloc

import pytest
import varnok_py
from conftest import document, statement

import varnok
from varnok import export, report


def big_statement(last_purpose="Оплата"):  # about 1 MB
    return statement(*(document(str(n)) for n in range(3000)), document("last", НазначениеПлатежа=last_purpose))


def held_by(make):
    """make()'s result, and the bytes it holds once the call is over."""
    make()  # (what a first call leaves in caches for good is not the result's)
    gc.collect()
    tracemalloc.start()
    base = tracemalloc.get_traced_memory()[0]
    kept = make()
    gc.collect()
    held = tracemalloc.get_traced_memory()[0] - base
    tracemalloc.stop()
    return kept, held


def raised(call):
    with pytest.raises(Exception) as info:
        call()
    return info.value


@pytest.mark.parametrize("make", [
    lambda path: raised(lambda: varnok.read_file(path)),
    lambda path: raised(lambda: varnok.read(path.read_bytes())),
    lambda path: raised(lambda: varnok.read(path.read_text("cp1251"))),
    lambda path: raised(lambda: varnok.read(path.read_bytes().replace(b"05.03.2024", b"05.03.0000", 1))),
    lambda path: raised(lambda: export.DocumentTable.from_bytes(bytearray(path.read_bytes()), "f")),
    lambda path: export._read_or_failure(str(path)),
    lambda path: report.report_file(str(path)).error,
    lambda path: raised(lambda: varnok.read(path.read_text("cp1251").replace("\n", "\n\udc80", 1))).cause,
], ids=["read_file", "read bytes", "read str", "read, year 0", "DocumentTable.from_bytes", "export's failures", "report_file", "lone surrogate"])
def test_a_kept_read_failure_does_not_hold_the_input(write_file, make):
    path = write_file("bad.txt", big_statement().replace("КонецФайла", "мусор"))
    assert held_by(lambda: make(path))[1] < 50_000


@pytest.mark.parametrize("write", [  # (the statement is made in the call: no frame of the test holds it)
    lambda source: varnok.write(varnok_py.parse(source)),
    lambda source: varnok.to_statement(varnok_py.parse(source), io.BytesIO())], ids=["write", "to_statement"])
def test_a_kept_write_error_does_not_hold_the_output(write):
    source = big_statement(last_purpose="Оплата 😀").encode("utf-8")
    error, held = held_by(lambda: raised(lambda: write(source)))
    assert isinstance(error, varnok.WriteError) and held < 50_000
