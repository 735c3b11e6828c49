"""Exports of the documents (or the account intervals) of many statements as one table:
CSV, JSON Lines, xlsx, a pandas DataFrame and an Arrow stream.

CSV and JSON carry the values exactly as the varnok_py.Document attributes give them
(amounts as their decimal text, dates as YYYY-MM-DD; absent: empty in CSV, null in JSON);
xlsx, pandas and Arrow carry typed values (exact decimals, dates). pandas and pyarrow are
imported only when used."""
from __future__ import annotations

import codecs
import csv
import datetime
import functools
import io
import json
import os
import sys
from collections.abc import Callable, Iterable, Iterator, Sequence
from dataclasses import dataclass
from decimal import Decimal
from importlib import import_module
from typing import IO, Any, cast

from varnok._atomic import atomic_output
from varnok._fields import DOCUMENT_FIELDS
from varnok._line_scans import header_lines, section_lines
from varnok._unread_keys import ACCOUNT_KEY_LOST, Unread, unread
from varnok.writer import to_statement
from varnok.typed import (FIELD_NAMES, ReadFailure, TypedStatement, file_path, parse_source, read_or_failure, read_path,
                          require_typed, typed_statement)

DOCUMENT_COLUMNS: tuple[str, ...] = ("file", "line", *FIELD_NAMES, "direction", "fingerprint")
INTERVAL_COLUMNS: tuple[str, ...] = (
    "file", "account", "date_start", "date_end", "start_amount", "end_amount", "total_income", "total_expense",
)
INTERVAL_AMOUNTS = INTERVAL_COLUMNS[4:]
# The kind of every column: "text", "int", "date" or "amount".
DOCUMENT_KINDS: tuple[str, ...] = ("text", "int", *(f.kind for f in DOCUMENT_FIELDS), "text", "text")
INTERVAL_KINDS: tuple[str, ...] = ("text", "text", "date", "date", "amount", "amount", "amount", "amount")

Statements = TypedStatement | Iterable[TypedStatement]
Output = str | os.PathLike[str] | IO[Any]

_INSTALL_HINTS = {
    "pandas": "python3-pandas (Debian) or `pip install pandas`",
    "pyarrow": "python3-pyarrow (Debian) or `pip install pyarrow`",
    "dask.dataframe": "python3-dask (Debian) or `pip install \"dask[dataframe]\"`",
}


def require(module: str, feature: str) -> Any:
    """Imports an optional library, or raises ImportError saying what to install."""
    try:
        return import_module(module)
    except ImportError as exc:
        hint = _INSTALL_HINTS.get(module, f"`pip install {module.partition('.')[0]}`")
        raise ImportError(f"varnok: {feature} needs {module}; install {hint}") from exc


def _listed(statements: Statements) -> list[TypedStatement]:
    require_typed(statements, "the exports take")
    listed = [statements] if isinstance(statements, TypedStatement) else list(statements)
    for statement in listed:
        require_typed(statement, "the exports take")
    return listed


def file_column(source: str | None) -> str | None:
    """A statement's path as the exports' file column. A name's bytes that are not UTF-8
    come from os.fsdecode as lone surrogates, which no UTF-8 output can hold: each shows as
    U+FFFD, as a terminal shows it."""
    if source is None or source.isascii():
        return source
    try:
        encoded = source.encode("utf-8", "surrogateescape")
    except UnicodeEncodeError:  # a lone surrogate that is not an escaped byte
        encoded = source.encode("utf-8", "surrogatepass")
    return encoded.decode("utf-8", "replace")


def document_rows(statements: Statements) -> Iterator[tuple[Any, ...]]:
    """One row per document, in DOCUMENT_COLUMNS order: the file (or None), the section's
    line, the 53 texts as varnok_py gives them, direction and fingerprint."""
    for statement in _listed(statements):
        file = file_column(statement.source)
        for raw, doc in zip(statement.raw.documents, statement.documents, strict=True):
            yield (file, doc.line, *(getattr(raw, n) for n in FIELD_NAMES), doc.direction, doc.fingerprint)


def interval_rows(statements: Statements) -> Iterator[tuple[Any, ...]]:
    """One row per account interval, in INTERVAL_COLUMNS order, with the texts varnok_py gives."""
    for statement in _listed(statements):
        file = file_column(statement.source)
        for number, account in statement.raw.accounts.items():
            for i in account.intervals:
                yield (file, number, i.date_start, i.date_end, i.start_amount, i.end_amount,
                       i.total_income, i.total_expense)


def table(statements: Statements, intervals: bool = False) -> tuple[tuple[str, ...], tuple[str, ...], Iterator[tuple[Any, ...]]]:
    """(columns, kinds, rows) of the documents or of the intervals."""
    if intervals:
        return INTERVAL_COLUMNS, INTERVAL_KINDS, interval_rows(statements)
    return DOCUMENT_COLUMNS, DOCUMENT_KINDS, document_rows(statements)


def typed_rows(kinds: Sequence[str], rows: Iterable[Sequence[Any]]) -> Iterator[list[Any]]:
    """The rows with amounts as Decimal and dates as datetime.date."""
    converters = [(i, Decimal if k == "amount" else datetime.date.fromisoformat) for i, k in enumerate(kinds)
                  if k in ("amount", "date")]
    for row in rows:
        typed = list(row)
        for i, convert in converters:
            if typed[i] is not None:
                typed[i] = convert(typed[i])
        yield typed


def path_list(paths: str | os.PathLike[str] | Iterable[str | os.PathLike[str]]) -> list[str]:
    """One path or many, as a list of str: a single path is not taken for its characters."""
    return [os.fspath(paths)] if isinstance(paths, (str, os.PathLike)) else [os.fspath(p) for p in paths]


def _is_binary(f: Any) -> bool:
    if isinstance(f, io.TextIOBase):
        return False
    mode = getattr(f, "mode", None)
    return isinstance(f, (io.RawIOBase, io.BufferedIOBase)) or (isinstance(mode, str) and "b" in mode)


def takes_utf8_bytes(out: Any) -> Any:
    """The binary buffer of text stream `out` when UTF-8 bytes written there are what writing
    their text to `out` would give (UTF-8 without a byte-order mark, no newline translation),
    else None (a cp1251 or utf-8-sig stream, an io.StringIO)."""
    try:
        utf8 = codecs.lookup(getattr(out, "encoding", None) or "").name == "utf-8"
    except LookupError:
        utf8 = False
    return getattr(out, "buffer", None) if utf8 and os.linesep == "\n" else None


def _write(out: Output, binary: bool, body: Any) -> None:
    """body(f) on the path (atomically) or file object `out`. Text goes to a binary file
    object as UTF-8 (sys.stdout.buffer, a BytesIO, a file opened "wb"); a binary format goes
    to a text stream's underlying buffer when it has one (sys.stdout)."""
    if isinstance(out, (str, os.PathLike)):
        if binary:
            with atomic_output(out, "wb") as f:
                body(f)
        else:
            with atomic_output(out, "w", encoding="utf-8", newline="") as f:
                body(f)
    elif binary and isinstance(cast(Any, out), io.TextIOBase):  # (not an IO[Any] to a type checker)
        buffer = getattr(out, "buffer", None)
        if buffer is None:
            raise TypeError("xlsx is binary: give a path or a file object opened in binary mode, not a text stream")
        out.flush()
        body(buffer)
        buffer.flush()
    elif not binary and _is_binary(out):
        text = io.TextIOWrapper(out, encoding="utf-8", newline="", write_through=True)
        done = False
        try:
            body(text)
            done = True
        finally:
            try:
                text.detach()  # the caller's file stays open (the wrapper would close it)
            except Exception:
                if done:
                    raise
    else:
        body(out)


def to_csv(statements: Statements, out: Output, *, intervals: bool = False) -> None:
    """Writes a header row and one row per document (or interval) as UTF-8 CSV to a path
    (atomically) or a file object (text, or binary)."""
    columns, _, rows = table(statements, intervals)

    def body(f: IO[str]) -> None:
        writer = csv.writer(f, lineterminator="\n")
        writer.writerow(columns)
        writer.writerows(rows)

    _write(out, False, body)


def to_jsonl(statements: Statements, out: Output, *, intervals: bool = False) -> None:
    """Writes one JSON object per line per document (or interval) to a path (atomically) or
    a file object (text, or binary: UTF-8); absent values are null."""
    columns, _, rows = table(statements, intervals)

    def body(f: IO[str]) -> None:
        encode = json.JSONEncoder(ensure_ascii=False).encode
        for row in rows:
            f.write(encode(dict(zip(columns, row))))
            f.write("\n")

    _write(out, False, body)


def to_xlsx(statements: Statements, out: Output, *, intervals: bool = False) -> None:
    """Writes one sheet to a path (atomically) or a binary file object (or a text stream's
    buffer, as sys.stdout's): amounts as numbers written from their exact decimal text,
    dates as dates, texts as texts."""
    from varnok._xlsx import write_xlsx

    columns, kinds, rows = table(statements, intervals)
    _write(out, True, lambda f: write_xlsx(f, columns, typed_rows(kinds, rows),
                                           "intervals" if intervals else "documents"))


def _amount_scale(values: Iterable[str | None]) -> int:
    scale = 0
    for v in values:
        if v is not None and "." in v:
            scale = max(scale, len(v) - v.index(".") - 1)
    return scale


def arrow_table(statements: Statements, *, intervals: bool = False, amount_scale: int | None = None) -> Any:
    """A pyarrow.Table: texts as utf8, line as int64, dates as date32 and amounts as
    decimal128(38, s) with s = amount_scale, or when None the largest scale among the
    column's own values (an interval column of "0" alone is decimal128(38, 0)).
    Values are exact: an amount that does not fit the scale raises pyarrow.ArrowInvalid."""
    pa = require("pyarrow", "Arrow export")
    if amount_scale is not None and not 0 <= amount_scale <= 38:
        raise ValueError(f"amount_scale must be from 0 to 38 (decimal128's digits), not {amount_scale}")
    columns, kinds, rows = table(statements, intervals)
    data = list(zip(*rows)) or [() for _ in columns]
    arrays = []
    for kind, values in zip(kinds, data):
        if kind == "amount":
            scale = _amount_scale(values) if amount_scale is None else amount_scale
            try:
                arrays.append(pa.array([None if v is None else Decimal(v) for v in values], pa.decimal128(38, scale)))
            except pa.ArrowInvalid as exc:  # (pyarrow's words name neither the amount nor its place)
                raise pa.ArrowInvalid(_unfit_amount(columns, data, values, scale, amount_scale is None)
                                      or str(exc)) from exc
        elif kind == "date":
            arrays.append(pa.array([None if v is None else datetime.date.fromisoformat(v) for v in values], pa.date32()))
        elif kind == "int":
            arrays.append(pa.array(values, pa.int64()))
        else:
            arrays.append(pa.array(values, pa.string()))
    return pa.Table.from_arrays(arrays, names=list(columns))


def _unfit_amount(columns: Sequence[str], data: Sequence[Sequence[Any]], values: Sequence[str | None], scale: int,
                  batch: bool) -> str | None:
    """"FILE:LINE: the amount ... does not fit decimal128(38, scale)" for the first of
    `values` (a column of `data`, the table's columns) that does not, or None."""
    files = data[columns.index("file")] if "file" in columns else [None] * len(values)
    lines = data[columns.index("line")] if "line" in columns else [None] * len(values)
    for file, line, value in zip(files, lines, values):
        if value is None:
            continue
        _, digits, exponent = Decimal(value).as_tuple()
        assert isinstance(exponent, int)  # (the reader's amounts are finite)
        if -exponent <= scale and max(len(digits) + exponent, 0) + scale <= 38:
            continue
        return (f"{file or '<input>'}" + (f":{line}" if line else "") + f": the amount {value} does not fit "
                f"decimal128(38, {scale})" + (", the scale of the finest amount of the batch" if batch else ""))
    return None


def to_dataframe(statements: Statements, *, intervals: bool = False, amount_scale: int | None = None) -> Any:
    """A pandas DataFrame of the documents (or intervals). With pyarrow, its columns are
    Arrow-backed: exact decimals (see arrow_table), dates, strings; without it, Decimal and
    date objects."""
    pd = require("pandas", "DataFrame export")
    try:
        import pyarrow  # type: ignore[import-untyped, unused-ignore]  # noqa: F401
    except ImportError:
        columns, kinds, rows = table(statements, intervals)
        return pd.DataFrame(list(typed_rows(kinds, rows)), columns=list(columns))
    return arrow_backed_frame(pd, arrow_table(statements, intervals=intervals, amount_scale=amount_scale))


def arrow_backed_frame(pd: Any, table: Any) -> Any:
    """The DataFrame table.to_pandas(types_mapper=pd.ArrowDtype) gives (Arrow-backed
    columns, a RangeIndex), made column by column: pyarrow's general conversion costs
    about 15 µs per column, most of the time a small statement's frame takes."""
    arrays = (pd.arrays.ArrowExtensionArray(column) for column in table.columns)
    return pd.DataFrame(dict(zip(table.column_names, arrays)), copy=False)


def intervals_dataframe(statements: Statements) -> Any:
    """to_dataframe(statements, intervals=True)."""
    return to_dataframe(statements, intervals=True)


class DocumentTable:
    """The documents (or intervals) of a batch of statements for any Arrow consumer:
    pyarrow.table(t), polars.from_arrow(t), duckdb and pandas read it through the Arrow
    PyCapsule stream interface. Built with from_files or from_bytes, the columns are made
    straight from the reader's records (no Python object per value, no pyarrow needed);
    built from typed statements, through pyarrow."""

    def __init__(self, statements: Statements, *, intervals: bool = False) -> None:
        self._statements = _listed(statements)
        self._intervals = intervals
        self._parsed: list[Any] | None = None

    @classmethod
    def from_files(cls, paths: str | os.PathLike[str] | Iterable[str | os.PathLike[str]], *,
                   jobs: int = 1) -> DocumentTable:
        """The documents of the statement files at `paths` (one path or many), read on `jobs`
        threads. Raises varnok.ReadFailure for the first file that fails to read."""
        from varnok.batch import run_all

        paths = path_list(paths)
        return cls._from_parsed(_files_dates_held(paths, run_all(parse_native_file, paths, jobs)))

    @classmethod
    def from_bytes(cls, data: bytes | bytearray | memoryview, file: str | None = None) -> DocumentTable:
        """The documents of one statement given as bytes; `file` names it (in the file
        column, and in a ReadFailure)."""
        data = bytes(data)
        try:
            return cls._from_parsed([_dates_held(parse_native(data, file), lambda: _typed(data, file))])
        except ReadFailure as failure:
            del data  # (the failure's frames would keep a copy of the input)
            raise failure.with_traceback(None)

    @classmethod
    def _from_parsed(cls, results: list[Any]) -> DocumentTable:
        if failure := next((r for r in results if isinstance(r, ReadFailure)), None):
            del results  # (the failure's frames would keep every file read)
            raise failure
        if any(isinstance(r, TypedStatement) for r in results):
            return cls(results)  # no native module: the typed route
        table = cls([])
        table._parsed = results
        return table

    def __arrow_c_stream__(self, requested_schema: Any = None) -> Any:
        if self._parsed is not None:
            from varnok import _native

            return _native.document_stream(self._parsed)
        return arrow_table(self._statements, intervals=self._intervals).__arrow_c_stream__(requested_schema)

    def to_pandas(self) -> Any:
        """A pandas DataFrame with Arrow-backed columns (exact decimals, dates, strings)."""
        if self._parsed is None:
            return to_dataframe(self._statements, intervals=self._intervals)
        pd = require("pandas", "DataFrame export")
        pa = require("pyarrow", "DataFrame export")
        return arrow_backed_frame(pd, pa.table(self))


def _native_module() -> Any:
    try:
        from varnok import _native
    except ImportError:
        return None
    return _native


def parse_native(data: bytes, file: str | None) -> Any:
    """A native parsed file, or (without the native module) the typed statement. A read
    that fails is read again through varnok_py for its exact error: ReadFailure."""
    native = _native_module()
    parsed = None if native is None else native.parse(data, file_column(file))
    return parsed if parsed is not None else _typed(data, file)


def _typed(data: bytes, file: str | None) -> TypedStatement:
    """The typed statement of `data`; ReadFailure naming `file`."""
    try:
        raw, read, _ = parse_source(data)
    except ReadFailure as exc:
        failure = ReadFailure(file, exc.line, exc.cause)
    else:
        return typed_statement(raw, read, file)
    raise failure from failure.cause  # (raised in the except, it would keep exc and its frames)


def _dates_held(parsed: Any, typed: Callable[[], Any], intervals: bool = False) -> Any:
    """`parsed` (a native parsed file, or what else a read gave), or, when a date of its
    documents (or of its intervals: what is exported) is one datetime.date cannot hold (year
    0), what the typed read `typed` gives: a ReadFailure that names the file and line, as the
    typed routes do, instead of an Arrow column or sheet that fails later without a word of
    where."""
    if isinstance(parsed, (ReadFailure, TypedStatement)):
        return parsed
    from varnok import _native

    return parsed if _native.dates_fit(parsed, intervals) else typed()


def _files_dates_held(paths: Sequence[str], results: list[Any], intervals: bool = False) -> list[Any]:
    """_dates_held of the reads of files `paths`."""
    return [_dates_held(r, functools.partial(_read_or_failure, p), intervals) for p, r in zip(paths, results)]


def parse_native_file(path: str) -> Any:
    """parse_native of a file's bytes; failures (OSError too) are returned as ReadFailure."""
    native = _native_module()
    if native is not None and os.sep == "/" and sys.getfilesystemencoding() == "utf-8":
        parsed = native.parse_path(path)  # read without a bytes object in between
        if parsed is not None:
            return parsed
    try:
        return parse_native(read_path(path), path)
    except (OSError, ValueError) as exc:  # (ValueError: a NUL in the path)
        return ReadFailure(path, None, exc)
    except ReadFailure as exc:
        return ReadFailure(path, exc.line, exc.cause)


# Format name -> (writer of typed statements, binary output).
WRITERS: dict[str, tuple[Any, bool]] = {
    "csv": (to_csv, False),
    "jsonl": (to_jsonl, False),
    "xlsx": (to_xlsx, True),
    "statement": (to_statement, True),  # one windows-1251 statement file (varnok.writer)
}


def export_files(fmt: str, paths: Sequence[str], out: Output, *, intervals: bool = False,
                 jobs: int = 1, left_out: Callable[[list[ReadFailure]], None] | None = None,
                 dropped: Callable[[list[tuple[str, int, str]]], None] | None = None,
                 encoding: str = "cp1251") -> list[ReadFailure]:
    """Exports the documents (or intervals) of the statement files at `paths` as one table
    in format `fmt` (a key of WRITERS) to a path (atomically) or a file object (binary for
    xlsx, text otherwise). Files that fail to read are left out and returned, and given to
    `left_out` before the writing starts (so that they are known when it fails); so are the
    documents the reader dropped, to `dropped` as (path, line, what is not written and why),
    and, in the statement format, the lines of account sections whose keys it cannot keep.
    CSV and JSON Lines are written as the files are read instead (only those read ahead are
    held, whatever the number of files), and each file's failure or dropped documents given
    as it comes. `encoding` is the statement format's ("cp1251" or
    "utf-8"). CSV, JSON Lines and the xlsx sheet are written by the native module, the same
    bytes as to_csv, to_jsonl and to_xlsx, without a Python object per value."""
    from varnok.batch import run_all

    write, binary = WRITERS[fmt]
    native = fmt in ("csv", "jsonl", "xlsx") and _native_module() is not None
    paths = list(paths)
    if native and fmt != "xlsx":
        return _streamed(fmt, paths, out, jobs, left_out, None if intervals else dropped, intervals)
    if fmt == "statement":  # (the typed work after the read is Python's: with the lock, on this thread)
        results = run_all(_parsed_file, paths, jobs, then=_keeping_unread_keys)
    else:
        results = run_all(parse_native_file if native else _read_or_failure, paths, jobs)
    if native and fmt == "xlsx":  # (xlsx holds dates as dates)
        results = _files_dates_held(paths, results, intervals)
        from varnok import _native
        from varnok._xlsx import MAX_CELL, CellTooLong

        for path, r in zip(paths, results):
            if not isinstance(r, (ReadFailure, TypedStatement)) and (long := _native.long_text(r, MAX_CELL, intervals)):
                del results, r  # (the error's frames would keep every file read)
                raise CellTooLong(path, *long)
    failures = [r for r in results if isinstance(r, ReadFailure)]
    good = [r for r in results if not isinstance(r, ReadFailure)]
    if left_out is not None:
        left_out(failures)
    if dropped is not None:
        dropped([lost for path, r in zip(paths, results) if not intervals and not isinstance(r, ReadFailure)
                 for lost in _dropped_documents(path, r)]
                + [(path, line, ACCOUNT_KEY_LOST.format(key=key)) for path, r in zip(paths, results)
                   if isinstance(r, tuple) for line, key in r[1].account_lines])
    if fmt == "statement":
        to_statement([s for s, _ in good], out, intervals=intervals, extra_keys=[kept.documents for _, kept in good],
                     encoding=encoding)
        return failures
    if not native:
        write(good, out, intervals=intervals)
        return failures
    from varnok import _native
    from varnok._xlsx import MAX_ROWS, TooManyRows, write_xlsx_rows

    # xlsx, natively: CSV and JSON Lines went as they were read
    count = sum(map(_native.interval_count if intervals else _native.document_count, good))
    if count >= MAX_ROWS:  # (refused before the sheet is made: it may take gigabytes)
        raise TooManyRows(count)
    rows = _native.interval_rows(good, "xlsx") if intervals else _native.xlsx_rows(good, 2)
    header, sheet = (INTERVAL_COLUMNS, "intervals") if intervals else (DOCUMENT_COLUMNS, "documents")
    _write(out, True, lambda f: write_xlsx_rows(f, header, rows, count, sheet))
    return failures


# The documents whose CSV or JSON Lines rows are made at once (about 4-8 MB of them).
_RUN_DOCUMENTS = 4096


def _streamed(fmt: str, paths: list[str], out: Output, jobs: int,
              left_out: Callable[[list[ReadFailure]], None] | None,
              dropped: Callable[[list[tuple[str, int, str]]], None] | None, intervals: bool) -> list[ReadFailure]:
    """export_files of the documents (or intervals) in CSV or JSON Lines, each file's rows
    written once it and those before it are read."""
    from varnok import _native
    from varnok.batch import in_order

    failures: list[ReadFailure] = []

    def pieces() -> Iterator[Any]:
        header = fmt == "csv"
        for path, r in zip(paths, in_order(parse_native_file, paths, jobs)):
            if isinstance(r, ReadFailure):
                failures.append(r)
                if left_out is not None:
                    left_out([r])
                continue
            if dropped is not None and (lost := _dropped_documents(path, r)):
                dropped(lost)
            if intervals:
                yield from _native.interval_rows([r], fmt, header)
            else:  # (in runs of documents: a large file's rows are never held whole)
                for begin in range(0, max(_native.document_count(r), 1), _RUN_DOCUMENTS):
                    end = begin + _RUN_DOCUMENTS
                    yield from (_native.csv([r], header and begin == 0, begin, end) if fmt == "csv"
                                else _native.jsonl([r], begin, end))
            header = False
        if header:  # (nothing read: the header alone, as for an empty table)
            yield from _native.interval_rows([], "csv") if intervals else _native.csv([], True)

    _write_pieces(out, pieces())
    return failures


def _write_pieces(out: Output, pieces: Iterable[Any]) -> None:
    """Writes the native module's output: bytes-like pieces, whole rows each, that give
    their memory back for the next export."""
    if isinstance(out, io.TextIOBase) and takes_utf8_bytes(out) is None:
        for piece in pieces:  # as text, which the stream encodes as it was told to
            out.write(str(piece, "utf-8"))
    else:
        def body(f: IO[bytes]) -> None:
            for piece in pieces:  # (write alone: a caller's object may have nothing else)
                f.write(piece)

        _write(out, True, body)


def _dropped_documents(path: str, read: Any) -> list[tuple[str, int, str]]:
    return [(path, line, f"document dropped by the reader, so not exported: {message}")
            for line, message in _warnings(read)]


def _warnings(read: Any) -> list[tuple[int, str]]:
    """The (line, message) of each document dropped in a read of export_files: a native
    parsed file, a typed statement, or one with its unread keys."""
    if isinstance(read, tuple):
        read = read[0]
    if isinstance(read, TypedStatement):
        return [(w.line, w.message) for w in read.warnings]
    if isinstance(read, _StatementFile):
        return [(line, message) for line, message in read.raw.warnings]
    from varnok import _native

    return _native.warnings(read)


def _read_or_failure(path: str) -> TypedStatement | ReadFailure:
    return read_or_failure(file_path(path))


def _parsed_file(path: str) -> tuple[Any, bytes | str, str | None] | ReadFailure:
    """parse_source of a file, or its failure."""
    try:
        return parse_source(file_path(path))
    except ReadFailure as exc:
        return exc.with_traceback(None)  # (its frames hold the file's bytes)


@dataclass(frozen=True, slots=True)
class _StatementFile:
    """What the statement format writes of a file read: its statement as read, under the
    header as the file has it, and where each document starts (for the writer's refusals).
    No typed view: a date Python's date cannot hold (year 0) is written as it was read."""

    raw: Any  # varnok_py.Statement
    source: str | None
    header_lines: list[tuple[str, str]]
    document_lines: list[int | None]


def _keeping_unread_keys(parsed: tuple[Any, bytes | str, str | None] | ReadFailure,
                         ) -> tuple[_StatementFile, Unread] | ReadFailure:
    """A _parsed_file as the statement format writes it, and what else the reader passes
    over (the keys of its documents that varnok does not read), to be written with it."""
    if isinstance(parsed, ReadFailure):
        return parsed
    raw, data, source = parsed
    return _StatementFile(raw, source, header_lines(data, raw), section_lines(data, raw)), unread(data, raw)


def csv_text(statements: Statements, *, intervals: bool = False) -> str:
    """to_csv into a string."""
    buffer = io.StringIO()
    to_csv(statements, buffer, intervals=intervals)
    return buffer.getvalue()
