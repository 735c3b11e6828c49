"""Exports: CSV and JSON Lines read back equal the typed view; the native rows equal the
Python ones; xlsx amounts are exact; pandas and Arrow; outputs are whole or absent."""
import csv
import datetime
import importlib
import io
import json
import os
import re
import sys
import zipfile
from decimal import Decimal
from pathlib import Path

import pytest
from conftest import HEADER, OTHER, OWN, REPO, account, clean_statement, document, statement

import varnok
from varnok import _fields, _xlsx, export, typed

TRICKY = statement(
    account(income="1500.5", expense="0", closing="2500.5"),
    document("1", "1500.5", payer=OTHER, payee=OWN,
             НазначениеПлатежа='Оплата, "кавычки"; \\ обратная черта\tтаб', Код="0"),
    document("2", "0.01", date="29.02.2024", ДатаПоступило="01.03.2024"),
)
DATA_FILES = sorted((REPO / "tests" / "data").glob("*.txt"))


def as_text(value):
    """A typed value as the exports write it."""
    if isinstance(value, (datetime.date, Decimal)):
        return str(value)
    return value


def typed_rows(statement):
    return [[statement.source, d.line, *(as_text(getattr(d, f.name)) for f in _fields.DOCUMENT_FIELDS),
             d.direction, d.fingerprint] for d in statement.documents]


@pytest.fixture(autouse=True)
def python_reference(monkeypatch):
    """varnok.read finds lines, directions and fingerprints in Python here: it is the
    reference the native exports are compared with."""
    monkeypatch.setattr(typed, "_native_facts", lambda data, count: None)


@pytest.fixture
def statements(write_file):
    return [varnok.read(write_file("tricky.txt", TRICKY)), *(varnok.read(p) for p in DATA_FILES)]


def test_csv_reads_back_equal_to_the_typed_view(statements):
    rows = list(csv.reader(io.StringIO(export.csv_text(statements))))
    assert tuple(rows[0]) == export.DOCUMENT_COLUMNS
    expected = [r for s in statements for r in typed_rows(s)]
    absent_as_empty = [["" if v is None else str(v) for v in row] for row in expected]
    assert rows[1:] == absent_as_empty


def test_jsonl_reads_back_equal_to_the_typed_view(statements):
    out = io.StringIO()
    varnok.to_jsonl(statements, out)
    rows = [json.loads(line) for line in out.getvalue().splitlines()]
    assert [list(r.values()) for r in rows] == [r for s in statements for r in typed_rows(s)]
    assert list(rows[0]) == list(export.DOCUMENT_COLUMNS)


def test_intervals(statements):
    rows = list(csv.DictReader(io.StringIO(export.csv_text(statements[0], intervals=True))))
    assert rows == [{"file": statements[0].source, "account": OWN, "date_start": "2024-03-01",
                     "date_end": "2024-03-31", "start_amount": "1000.00", "end_amount": "2500.5",
                     "total_income": "1500.5", "total_expense": "0"}]


@pytest.mark.parametrize("fmt", ["csv", "jsonl"])
def test_a_file_written_in_runs_of_documents_is_written_whole(fmt, write_file, monkeypatch):
    monkeypatch.setattr(export, "_RUN_DOCUMENTS", 2)  # (4,096 in use: 5 documents make three runs)
    paths = [str(write_file("five.txt", statement(*(document(str(n)) for n in range(5))))), *map(str, DATA_FILES)]
    native = io.BytesIO()
    assert export.export_files(fmt, paths, native) == []
    python = io.StringIO()
    export.WRITERS[fmt][0]([varnok.read_file(p) for p in paths], python)
    assert native.getvalue().decode() == python.getvalue()


@pytest.mark.parametrize("intervals", [False, True])
@pytest.mark.parametrize("fmt", ["csv", "jsonl"])
def test_native_rows_are_the_python_rows(fmt, intervals, write_file, tmp_path):
    open_ended = statement(account(end=None), document("9"))  # no end date, no totals
    paths = [str(write_file("tricky.txt", TRICKY)), str(write_file("16.txt", TRICKY, "utf-16")),
             str(write_file("open.txt", open_ended)), *map(str, DATA_FILES)]
    native = io.BytesIO()
    assert export.export_files(fmt, paths, native, intervals=intervals) == []
    python = io.StringIO()
    export.WRITERS[fmt][0]([varnok.read_file(p) for p in paths], python, intervals=intervals)
    assert native.getvalue().decode() == python.getvalue()


@pytest.mark.parametrize("intervals", [False, True])
def test_native_xlsx_is_the_python_xlsx(intervals, write_file):
    # Texts the sheet escapes or spells out, a non-BMP character, numbers and dates.
    odd = document("3", "-0.10", НазначениеПлатежа="a&b <c> _x0041_ _x12_ \x01\x1f\t \ufffe\uffff\uffef 😀 _ a\rb")
    paths = [str(write_file("tricky.txt", TRICKY)), str(write_file("odd.txt", statement(account(end=None), odd), "utf-8")),
             *map(str, DATA_FILES)]
    native = io.BytesIO()
    assert export.export_files("xlsx", paths, native, intervals=intervals) == []
    python = io.BytesIO()
    export.to_xlsx([varnok.read_file(p) for p in paths], python, intervals=intervals)
    native_zip, python_zip = zipfile.ZipFile(native), zipfile.ZipFile(python)
    assert native_zip.namelist() == python_zip.namelist()
    assert {entry.date_time for entry in native_zip.infolist()} == {(1980, 1, 1, 0, 0, 0)}  # (the same bytes each time)
    for name in python_zip.namelist():
        assert native_zip.read(name) == python_zip.read(name), name
    sheet = native_zip.read("xl/worksheets/sheet1.xml")
    assert intervals or b"_x005F_x0041_" in sheet and b"a&#13;b" in sheet and b"\r" not in sheet


def test_native_xlsx_leaves_out_a_file_with_a_date_python_cannot_hold(write_file):
    good = str(write_file("good.txt", TRICKY))
    year_zero = str(write_file("zero.txt", statement(account(), document("1", date="01.01.0000"))))
    out = io.BytesIO()
    failures = export.export_files("xlsx", [good, year_zero], out)
    assert [(f.source, f.line) for f in failures] == [(year_zero, 11)]
    assert "outside the years 1 to 9999" in str(failures[0])
    python = io.BytesIO()
    export.to_xlsx([varnok.read_file(good)], python)
    sheet = "xl/worksheets/sheet1.xml"
    assert zipfile.ZipFile(out).read(sheet) == zipfile.ZipFile(python).read(sheet)


@pytest.mark.parametrize("fmt", ["csv", "jsonl", "xlsx"])
def test_a_file_name_that_is_not_utf8_is_exported_with_replacement_characters(fmt, tmp_path):
    try:
        path = os.fsdecode(os.fsencode(str(tmp_path)) + b"/\xffname.txt")
        Path(path).write_bytes(TRICKY.encode("cp1251"))
    except (OSError, UnicodeError):
        pytest.skip("the file system takes only UTF-8 names")
    shown = str(tmp_path) + "/\ufffdname.txt"
    native = io.BytesIO()
    assert export.export_files(fmt, [path], native) == []
    python = io.BytesIO() if fmt == "xlsx" else io.StringIO()
    export.WRITERS[fmt][0]([varnok.read_file(path)], python)
    if fmt == "xlsx":
        native_text = zipfile.ZipFile(native).read("xl/worksheets/sheet1.xml").decode()
        python_text = zipfile.ZipFile(python).read("xl/worksheets/sheet1.xml").decode()
    else:
        native_text, python_text = native.getvalue().decode(), python.getvalue()
    assert native_text == python_text and shown in native_text


LAYOUTS = {
    # How the start and end lines of document sections may be padded or look alike.
    "blanks before": lambda t: t.replace("СекцияДокумент=", " \t\u00a0СекцияДокумент =", 1)
                                .replace("КонецДокумента\n", "\u00a0 КонецДокумента \t\n", 1),
    "crlf": lambda t: t.replace("\n", "\r\n"),
    "markers inside values": lambda t: t.replace("Оплата 1", "СекцияДокумент=Оплата КонецДокумента")
                                        .replace("Оплата 2", "Секция Конец Ко Се"),
    "a dropped section": lambda t: t.replace("Сумма=250.00", "Сумма=2,5"),
    "keys that begin alike": lambda t: t.replace("Номер=2\n", "Номер=2\nКод=0\nСрокПлатежа=05.03.2024\n"),
}


@pytest.mark.parametrize("encoding", ["cp1251", "utf-8"])
@pytest.mark.parametrize("layout", LAYOUTS)
def test_native_section_lines_are_the_python_ones(layout, encoding, write_file):
    text = LAYOUTS[layout](statement(account(), document("1"), document("2", amount="250.00"), document("3")))
    path = str(write_file("layout.txt", text, encoding))
    out = io.BytesIO()
    export.export_files("jsonl", [path], out)
    native = [json.loads(line)["line"] for line in out.getvalue().splitlines()]
    typed = varnok.read_file(path)
    assert native == [d.line for d in typed.documents] and None not in native


# Large inputs find their sections beside the read, in the encoding guessed from the first
# bytes above ASCII; "misleading" starts with bytes that read as UTF-8 but is windows-1251.
LARGE = {"cp1251": ("cp1251", None), "utf-8": ("utf-8", None), "utf-16": ("utf-16", None),
         "misleading": ("cp1251", {"X": "РЁ", **HEADER})}


@pytest.mark.parametrize("case", LARGE)
def test_native_section_lines_of_large_statements(case, write_file):
    encoding, header = LARGE[case]
    documents = [document(str(i), "2,5" if i == 300 else "10.00") for i in range(1200)]
    path = write_file("large.txt", statement(account(), *documents, header=header), encoding)
    assert path.stat().st_size > 256 * 1024
    out = io.BytesIO()
    export.export_files("jsonl", [str(path)], out)
    native = [json.loads(line)["line"] for line in out.getvalue().splitlines()]
    typed = varnok.read_file(str(path))
    assert native == [d.line for d in typed.documents] and len(native) == 1199 and None not in native


@pytest.mark.parametrize("native", [True, False])
@pytest.mark.parametrize("intervals", [False, True])
def test_xlsx_beyond_a_sheets_rows_is_refused_and_nothing_is_written(native, intervals, tmp_path, monkeypatch):
    paths = [str(DATA_FILES[0])]
    view = varnok.read_file(paths[0])
    rows = sum(len(a.intervals) for a in view.accounts.values()) if intervals else len(view.documents)
    target = tmp_path / "out.xlsx"

    def write():
        if native:
            export.export_files("xlsx", paths, target, intervals=intervals)
        else:
            export.to_xlsx([varnok.read_file(p) for p in paths], target, intervals=intervals)

    monkeypatch.setattr(_xlsx, "MAX_ROWS", rows + 1)  # exactly full
    write()
    assert zipfile.ZipFile(target).read("xl/worksheets/sheet1.xml").count(b"<row ") == rows + 1
    target.unlink()
    monkeypatch.setattr(_xlsx, "MAX_ROWS", rows)
    with pytest.raises(_xlsx.TooManyRows, match=f"at most {rows - 1} rows") as info:
        write()
    assert info.value.rows == rows and os.listdir(tmp_path) == []


@pytest.mark.parametrize("fmt", ["jsonl", "xlsx"])
def test_large_statements_read_on_two_threads_export_as_on_one(fmt, write_file):
    # Each read of a large statement runs a helper thread of its own beside it.
    paths = [str(write_file(f"large{i}.txt", statement(account(), *(document(str(n)) for n in range(900))),
                            encoding)) for i, encoding in enumerate(["cp1251", "utf-8", "cp1251", "utf-8"])]
    assert all(os.path.getsize(p) > 256 * 1024 for p in paths)
    outputs = []
    for jobs in (1, 2):
        out = io.BytesIO()
        assert export.export_files(fmt, paths, out, jobs=jobs) == []
        outputs.append(zipfile.ZipFile(out).read("xl/worksheets/sheet1.xml") if fmt == "xlsx" else out.getvalue())
    assert outputs[0] == outputs[1]
    assert outputs[0].count(b"fingerprint" if fmt == "jsonl" else b"<row ") == 3600 + (fmt == "xlsx")


def test_xlsx_to_a_device_that_keeps_no_position(statements):
    with open(os.devnull, "wb") as out:  # it says it can seek, and tell() stays 0
        varnok.to_xlsx(statements, out)


def test_xlsx_amounts_are_exact_numbers_and_dates_are_dates(statements, tmp_path):
    path = tmp_path / "out.xlsx"
    varnok.to_xlsx(statements[0], path)
    sheet = zipfile.ZipFile(path).read("xl/worksheets/sheet1.xml").decode()
    letter = "ABCDEFGHIJ"[export.DOCUMENT_COLUMNS.index("amount")]
    cells = re.findall(rf'<c r="{letter}(\d+)"><v>([^<]*)</v>', sheet)
    assert cells == [("2", "1500.5"), ("3", "0.01")]
    assert '<c r="F3" s="1"><v>45351</v></c>' in sheet  # 2024-02-29 as a date serial
    openpyxl = pytest.importorskip("openpyxl", exc_type=ImportError)
    rows = list(openpyxl.load_workbook(path).active.values)
    assert rows[0] == export.DOCUMENT_COLUMNS and rows[2][5] == datetime.datetime(2024, 2, 29)


@pytest.mark.parametrize("table", [lambda path: export.DocumentTable.from_files(path),
                                   lambda path: export.DocumentTable.from_bytes(path.read_bytes(), str(path))],
                         ids=["from_files", "from_bytes"])
def test_an_arrow_table_of_a_date_python_cannot_hold_is_a_read_failure(write_file, table):
    path = write_file("zero.txt", statement(account(), document("1", date="01.01.0000")))
    with pytest.raises(varnok.ReadFailure) as failure:
        table(path)
    assert (failure.value.source, failure.value.line) == (str(path), 11)


def test_an_arrow_table_of_a_path_that_cannot_be_opened_is_a_read_failure():
    with pytest.raises(varnok.ReadFailure, match="nul"):
        export.DocumentTable.from_files(["nul\0.txt"])


@pytest.mark.parametrize("table", [lambda paths: pyarrow_table(export.DocumentTable.from_files(paths)),
                                   lambda paths: export.to_dataframe([varnok.read_file(p) for p in paths])],
                         ids=["native", "typed"])
def test_an_amount_beyond_the_batch_s_decimal_names_its_file_and_line(write_file, table):
    pytest.importorskip("pyarrow", exc_type=ImportError)
    large = str(write_file("large.txt", statement(account(), document("1", "12345678901.00"))))
    fine = str(write_file("fine.txt", statement(account(), document("1", "0.0000000000000000000000000001"))))
    with pytest.raises(ValueError, match=re.escape(f"{large}:11: the amount 12345678901.00 does not fit "
                                                   "decimal128(38, 28), the scale of the finest amount of the batch")):
        table([large, fine])


def pyarrow_table(source):
    import pyarrow

    return pyarrow.table(source)


@pytest.mark.parametrize("text, refused", [("я" * 32_767, False), ("я" * 32_768, True), ("😀" * 16_384, True)],
                         ids=["at-the-limit", "beyond", "surrogate-pairs"])
def test_xlsx_refuses_a_text_longer_than_a_cell_holds(write_file, tmp_path, text, refused):
    path = str(write_file("long.txt", statement(account(), document("1", НазначениеПлатежа=text)), "utf-8"))
    for write in (lambda out: export.export_files("xlsx", [path], str(out)),
                  lambda out: varnok.to_xlsx(varnok.read_file(path), out)):
        out = tmp_path / "out.xlsx"
        if not refused:
            write(out)
            continue
        with pytest.raises(_xlsx.CellTooLong) as failure:
            write(out)
        assert (failure.value.source, failure.value.line, failure.value.column) == (path, 11, "purpose")
        assert not out.exists()
    if refused:  # read from its bytes: no file to name, the line all the same
        assert str(_xlsx.CellTooLong(None, 11, "purpose", 32_768)).startswith("<input>:11: purpose holds 32,768")


@pytest.mark.parametrize(("written", "read"), [
    ("01.01.1900", datetime.datetime(1900, 1, 1)), ("28.02.1900", datetime.datetime(1900, 2, 28)),
    ("01.03.1900", datetime.datetime(1900, 3, 1)),  # the spreadsheet counts a 29 February 1900
    ("31.12.1899", "1899-12-31"), ("05.03.24", "0024-03-05"),  # before 1900: no day number, the text
])
def test_xlsx_dates_read_back_as_the_same_day(write_file, tmp_path, written, read):
    path = str(write_file("a.txt", statement(document("1", date=written))))
    native = tmp_path / "native.xlsx"
    assert export.export_files("xlsx", [path], str(native)) == []
    python = tmp_path / "python.xlsx"
    varnok.to_xlsx(varnok.read_file(path), python)
    openpyxl = pytest.importorskip("openpyxl", exc_type=ImportError)
    column = export.DOCUMENT_COLUMNS.index("doc_date")
    assert [list(openpyxl.load_workbook(p).active.values)[1][column] for p in (native, python)] == [read, read]


def test_a_failed_write_leaves_no_file_and_keeps_the_old_one(statements, tmp_path):
    (tmp_path / "out").mkdir()
    target = tmp_path / "out" / "out.csv"
    target.write_text("old")

    def failing():
        yield statements[0]
        raise KeyboardInterrupt

    with pytest.raises(KeyboardInterrupt):
        varnok.to_csv(failing(), target)
    assert target.read_text() == "old" and os.listdir(tmp_path / "out") == ["out.csv"]
    varnok.to_csv(statements, target)
    assert target.read_text().startswith("file,line,") and os.stat(target).st_mode & 0o777 != 0o600


@pytest.mark.parametrize("missing, call, hint", [
    ("pandas", lambda: varnok.to_dataframe([]), r"DataFrame export needs pandas; install python3-pandas"),
    ("dask.dataframe", lambda: importlib.import_module("varnok.dask").read_documents([]),
     r"varnok.dask needs dask.dataframe; install python3-dask \(Debian\) or `pip install \"dask\[dataframe\]\"`"),
])
def test_a_missing_optional_library_says_what_to_install(monkeypatch, missing, call, hint):
    real = export.import_module

    def without(name):
        if name == missing:
            raise ImportError(f"No module named {name!r}")
        return real(name)

    monkeypatch.setattr(export, "import_module", without)
    with pytest.raises(ImportError, match=hint):
        call()


def test_dataframe_and_arrow(statements):
    pd = pytest.importorskip("pandas", exc_type=ImportError)
    pa = pytest.importorskip("pyarrow", exc_type=ImportError)
    frame = varnok.to_dataframe(statements)
    assert frame["amount"].sum() == sum(d.amount for s in statements for d in s.documents)
    assert frame["doc_date"].iloc[1] == datetime.date(2024, 2, 29)
    typed = pa.table(varnok.DocumentTable(statements))
    native = pa.table(varnok.DocumentTable.from_files([s.source for s in statements]))
    assert native.cast(typed.schema).equals(typed)
    assert str(native.schema.field("amount").type) == "decimal128(38, 2)"
    assert native.column("amount").to_pylist()[0] == Decimal("1500.50")
    tricky = varnok.DocumentTable.from_bytes(TRICKY.encode("cp1251"))
    frame = tricky.to_pandas()
    assert pd.api.types.is_integer_dtype(frame["line"])
    pd.testing.assert_frame_equal(frame, pa.table(tricky).to_pandas(types_mapper=pd.ArrowDtype), check_exact=True)


def test_arrow_stream_without_pyarrow_is_a_capsule():
    table = varnok.DocumentTable.from_bytes(TRICKY.encode("cp1251"), "x.txt")
    capsule = table.__arrow_c_stream__()
    assert type(capsule).__name__ == "PyCapsule" and "arrow_array_stream" in repr(capsule)


def test_arrow_stream_calls_in_any_order():
    # The C stream interface lets a consumer ask for the schema again after the batches.
    import ctypes

    P, I = ctypes.c_void_p, ctypes.c_int64

    class Schema(ctypes.Structure):
        _fields_ = [("format", ctypes.c_char_p), ("name", ctypes.c_char_p), ("metadata", P), ("flags", I),
                    ("n_children", I), ("children", P), ("dictionary", P), ("release", P), ("private_data", P)]

    class Array(ctypes.Structure):
        _fields_ = [("length", I), ("null_count", I), ("offset", I), ("n_buffers", I), ("n_children", I),
                    ("buffers", P), ("children", P), ("dictionary", P), ("release", P), ("private_data", P)]

    class Stream(ctypes.Structure):
        pass

    Stream._fields_ = [("get_schema", ctypes.CFUNCTYPE(ctypes.c_int, ctypes.POINTER(Stream), ctypes.POINTER(Schema))),
                       ("get_next", ctypes.CFUNCTYPE(ctypes.c_int, ctypes.POINTER(Stream), ctypes.POINTER(Array))),
                       ("get_last_error", P), ("release", P), ("private_data", P)]
    capsule = varnok.DocumentTable.from_bytes(TRICKY.encode("cp1251"), "x.txt").__arrow_c_stream__()
    get_pointer = ctypes.pythonapi.PyCapsule_GetPointer
    get_pointer.restype, get_pointer.argtypes = P, [ctypes.py_object, ctypes.c_char_p]
    stream = ctypes.cast(get_pointer(capsule, b"arrow_array_stream"), ctypes.POINTER(Stream))
    batch, schema, end = Array(), Schema(), Array()
    assert stream.contents.get_next(stream, batch) == 0 and batch.length == 2
    assert stream.contents.get_schema(stream, schema) == 0 and schema.n_children == 57
    assert stream.contents.get_next(stream, end) == 0 and end.release is None
    for given in (batch, schema):  # the consumer's to release
        ctypes.CFUNCTYPE(None, P)(given.release)(ctypes.addressof(given))


def test_native_parse_of_a_path_is_the_parse_of_its_bytes(write_file, tmp_path):
    from varnok import _native

    path = str(write_file("tricky.txt", TRICKY))
    with open(path, "rb") as f:
        by_path, by_bytes = _native.jsonl([_native.parse_path(path)]), _native.jsonl([_native.parse(f.read(), path)])
        assert b"".join(by_path) == b"".join(by_bytes)
    bad = write_file("bad.txt", "1CClientBankExchange\n")
    # None wherever the Python path must read the file and word the error.
    for name in (str(bad), str(tmp_path / "missing.txt"), str(tmp_path), path + "\0", os.fsdecode(b"\xff.txt")):
        assert _native.parse_path(name) is None, name


def test_output_pieces_kept_by_a_writer_keep_their_bytes_while_later_exports_run(write_file):
    # A piece's buffer is reused only once the piece is gone, however the writer held it.
    from varnok import _native

    kept = []

    class Keeper:
        def write(self, piece):
            kept.append((piece, memoryview(piece)[1:], bytes(piece)))

    path = str(write_file("tricky.txt", TRICKY))
    export.export_files("jsonl", [path], Keeper())
    for _ in range(6):
        _native.csv([_native.parse_path(path)], True)
    assert kept and all(bytes(piece) == copy and view == copy[1:] for piece, view, copy in kept)
    del kept[:]  # what was kept now goes back


@pytest.mark.parametrize("make", [
    lambda bad: varnok.DocumentTable.from_files([Path(bad)]), lambda bad: varnok.DocumentTable.from_files(str(bad)),
    lambda bad: varnok.DocumentTable.from_bytes(memoryview(bad.read_bytes()), str(bad))])
def test_a_table_names_the_file_that_fails(write_file, make):
    bad = write_file("bad.txt", "1CClientBankExchange\n")
    with pytest.raises(varnok.ReadFailure, match="bad.txt") as raised:
        make(bad)
    assert raised.value.source == str(bad)


def test_native_field_table_is_the_checked_in_one():
    from varnok import _native

    assert _native.field_names() == tuple(tuple(f) for f in _fields.DOCUMENT_FIELDS)


@pytest.mark.parametrize("encoding", ["cp1251", "utf-8"])
def test_a_large_statement_split_over_two_threads_gives_the_same_rows(encoding, write_file):
    sys.path.insert(0, str(REPO / "bench"))
    import generate

    path = str(write_file("large.txt", generate.generate(1_500_000, encoding=encoding, seed=3)))
    statement = varnok.read_file(path)
    assert len(statement.documents) > 1024  # enough for the second thread
    for fmt in ("csv", "jsonl"):
        native = io.BytesIO()
        export.export_files(fmt, [path], native)
        python = io.StringIO()
        export.WRITERS[fmt][0](statement, python)
        assert native.getvalue().decode() == python.getvalue()
    pa = pytest.importorskip("pyarrow", exc_type=ImportError)
    native, typed = pa.table(varnok.DocumentTable.from_files([path])), pa.table(varnok.DocumentTable([statement]))
    assert native.cast(typed.schema).equals(typed)


def test_a_batch_split_over_two_threads_inside_a_file_gives_the_same_table(write_file):
    # The second thread's rows start inside the second file: its texts, bits and nulls
    # join the first thread's at a row that is no file's first.
    sys.path.insert(0, str(REPO / "bench"))
    import generate

    pa = pytest.importorskip("pyarrow", exc_type=ImportError)
    paths = [str(write_file(f"{i}.txt", generate.generate(120_000 + 37_000 * i, seed=i, encoding=encoding)))
             for i, encoding in enumerate(["cp1251", "utf-8", "cp1251"])]
    statements = [varnok.read_file(p) for p in paths]
    counts = [len(s.documents) for s in statements]
    assert sum(counts) >= 256 and counts[0] < sum(counts) // 2 < counts[0] + counts[1]
    native, typed = pa.table(varnok.DocumentTable.from_files(paths)), pa.table(varnok.DocumentTable(statements))
    assert native.cast(typed.schema).equals(typed)


def test_native_fingerprints_at_every_block_boundary(write_file):
    # Purposes of 136 consecutive lengths: every remainder of BLAKE2b's 128-byte block, and
    # messages of different block counts hashed side by side.
    docs = [document(str(i), НазначениеПлатежа="ж" * (i % 3) + "x" * (100 + i)) for i in range(136)]
    path = str(write_file("lengths.txt", statement(account(), *docs), encoding="utf-8"))
    out = io.BytesIO()
    export.export_files("jsonl", [path], out)
    native = [json.loads(line)["fingerprint"] for line in out.getvalue().splitlines()]
    assert native == [d.fingerprint for d in varnok.read_file(path).documents]


@pytest.mark.parametrize("fmt", ["csv", "jsonl"])
@pytest.mark.parametrize("encoding", ["cp1251", "utf-8-sig", "utf-16", "utf-8"])
def test_a_text_stream_gets_the_text_in_its_own_encoding(fmt, encoding, statements):
    # (Spreadsheets in Russian locales often want CSV in windows-1251 or with a byte-order mark.)
    def stream():
        return io.TextIOWrapper(io.BytesIO(), encoding=encoding, errors="replace", newline="")

    python, native = stream(), stream()
    export.WRITERS[fmt][0](statements, python)
    export.export_files(fmt, [s.source for s in statements], native)
    python.flush(), native.flush()
    assert native.buffer.getvalue() == python.buffer.getvalue()


@pytest.mark.parametrize("fmt", ["csv", "jsonl", "xlsx"])
def test_file_objects_of_either_kind_get_what_a_path_gets(fmt, statements, tmp_path):
    write = getattr(varnok, f"to_{fmt}")
    write(statements, tmp_path / "out")
    expected = (tmp_path / "out").read_bytes()
    binary = io.BytesIO()
    write(statements, binary)  # text formats as UTF-8; the caller's file stays open
    text = io.TextIOWrapper(io.BytesIO(), encoding="utf-8", newline="")
    write(statements, text)  # xlsx through the stream's buffer, as for sys.stdout
    text.flush()

    def content(data):  # of an xlsx, its sheet
        return zipfile.ZipFile(io.BytesIO(data)).read("xl/worksheets/sheet1.xml") if fmt == "xlsx" else data

    assert [content(binary.getvalue()), content(text.buffer.getvalue())] == [content(expected)] * 2
    if fmt == "xlsx":
        with pytest.raises(TypeError, match="xlsx is binary"):
            write(statements, io.StringIO())


@pytest.mark.parametrize("call", [varnok.reconcile, varnok.validate, lambda s: varnok.to_csv(s, io.StringIO()),
                                  lambda s: varnok.to_jsonl([s], io.StringIO())])
def test_a_parsed_statement_where_the_typed_view_belongs_is_named(call, statements):
    with pytest.raises(TypeError, match="a varnok.TypedStatement, as varnok.read gives it"):
        call(statements[0].raw)


@pytest.mark.parametrize("fmt", ["csv", "jsonl"])
def test_documents_are_written_as_the_files_are_read(write_file, monkeypatch, fmt):
    """Not every file held first: an export of tens of thousands took gigabytes."""
    pytest.importorskip("varnok._native")
    paths = [str(write_file(f"s{i}.txt", clean_statement())) for i in range(3)] + ["missing.txt"]
    out, written_before, failed = io.BytesIO(), [], []
    parse = export.parse_native_file
    monkeypatch.setattr(export, "parse_native_file", lambda path: (written_before.append(len(out.getvalue())),
                                                                   parse(path))[1])
    assert export.export_files(fmt, paths, out, left_out=failed.extend) == failed
    assert written_before[1] > 0 and written_before == sorted(written_before)
    assert [f.source for f in failed] == ["missing.txt"]
    whole = io.StringIO()
    export.WRITERS[fmt][0]([varnok.read_file(p) for p in paths[:3]], whole)
    assert out.getvalue().decode() == whole.getvalue()


@pytest.mark.parametrize("route", ["export_files", "to_xlsx"])
def test_intervals_to_xlsx_refuse_an_account_longer_than_a_cell(route, write_file):
    path = str(write_file("long.txt", statement(account(number="4" * 40_000), document("1")), "utf-8"))
    with pytest.raises(_xlsx.CellTooLong, match="account holds 40,000"):
        if route == "export_files":
            export.export_files("xlsx", [path], io.BytesIO(), intervals=True)
        else:
            export.to_xlsx(varnok.read_file(path), io.BytesIO(), intervals=True)


# A date no datetime.date holds leaves a file out only of the exports that hold it.
@pytest.mark.parametrize("fmt", ["csv", "jsonl", "xlsx"])
def test_intervals_export_keeps_a_file_with_a_year_0_document_date(fmt, write_file):
    path = str(write_file("y0.txt", statement(account(), document("1", ДатаСписано="01.01.0000")), "utf-8"))
    out = io.BytesIO() if fmt == "xlsx" else io.StringIO()
    assert export.export_files(fmt, [path], out, intervals=True) == [] and out.getvalue()


def test_document_table_keeps_a_file_with_a_year_0_interval_date(write_file):
    path = write_file("y0.txt", statement(account(start="01.01.0000"), document("1")), "utf-8")
    table = varnok.DocumentTable.from_files(path)  # (a ReadFailure for the interval's date)
    pyarrow = pytest.importorskip("pyarrow")
    assert pyarrow.table(table)["doc_number"].to_pylist() == ["1"]
