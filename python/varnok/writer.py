"""Writing statements and payment order files that read back exactly: write() and
write_file(), which refuse, before writing anything, what the reader would not read back."""
from __future__ import annotations

import codecs
import os
from collections.abc import Callable, Iterable, Mapping, Sequence
from datetime import date
from operator import attrgetter
from typing import IO, Any

import varnok_py

from varnok import _write_encoding as encoding_
from varnok import _write_values as values
from varnok._atomic import atomic_output
from varnok._fields import ACCOUNT_NUMBER, DOCUMENT_FIELDS, INTERVAL_FIELDS, Field
from varnok._write_encoding import Check
from varnok._white_space import WHITE_SPACE
from varnok._write_values import Problem

try:
    from varnok import _native
except ImportError:  # a source tree without the built module: the Python path alone
    _native = None  # type: ignore[assignment]

ENCODING_KEY = "Кодировка"
ENCODING_LABELS = {"cp1251": "Windows", "utf-8": "UTF-8"}
NEWLINES = ("\r\n", "\n")
_DOCUMENT_END = "КонецДокумента"
_FILE_END = "КонецФайла"

# The document's kind goes on its first line; the other fields follow in the table's order.
_KIND = next(field for field in DOCUMENT_FIELDS if field.key == values.DOCUMENT_MARKER)
_BODY = tuple(field for field in DOCUMENT_FIELDS if field is not _KIND)
_BODY_VALUES = attrgetter(*(field.name for field in _BODY))
_DOCUMENT_NAMES = frozenset(field.name for field in DOCUMENT_FIELDS)
_DOCUMENT_KEYS = frozenset(field.key for field in DOCUMENT_FIELDS)
_ACCOUNT_OWN_NAMES = frozenset({"number", "intervals"})
_INTERVAL_NAMES = frozenset({"number", *(field.name for field in INTERVAL_FIELDS)})
_ACCOUNT_NAMES = _ACCOUNT_OWN_NAMES | _INTERVAL_NAMES
_FORMAT: dict[str, Callable[[object], str]] = {
    "text": values.text, "date": values.date_text, "amount": values.amount_text}

class WriteError(ValueError):
    """A statement the writer refuses, because the reader would not read it back as given.

    `section` is "header", "accounts", "documents" or None (the statement as a whole),
    `index` the position in that section, `number` the document's or account's number,
    `field` the attribute name (or header key) and `problem` what is wrong; when several
    statements are written as one (to_statement), `source` and `line` name the file the
    place comes from and where in it (either may be None)."""

    def __init__(self, problem: str, *, section: str | None = None, index: int | None = None,
                 number: str | None = None, field: str | None = None, key: str | None = None,
                 source: str | None = None, line: int | None = None) -> None:
        self.problem, self.section, self.index = problem, section, index
        self.number, self.field, self.key = number, field, key
        self.source, self.line = source, line
        where = ""
        if section == "header":
            where = f"header[{field!r}]"
        elif section is not None:
            label = "Номер" if section == "documents" else ACCOUNT_NUMBER.key
            where = f"{section}[{index}]" + (f" ({label} {number!r})" if isinstance(number, str) else "")
            if field is not None:
                where += f", {field}" + (f" ({key})" if key else "")
        self._what = f"{where}: {problem}" if where else problem
        super().__init__(self.located(source))

    def located(self, name: str | None) -> str:
        """The message with the source file shown as `name` ("name:line: ..."), or none."""
        origin = "" if name is None else f"{name}:{self.line}: " if self.line else f"{name}: "
        return origin + self._what


def write(statement: Any, *, encoding: str = "cp1251", newline: str = "\r\n",
          extra_keys: Sequence[Sequence[tuple[str, str]]] | None = None) -> bytes:
    """Returns the statement as the bytes of a statement file in `encoding` ("cp1251" or
    "utf-8"), lines ended by `newline` ("\\r\\n" or "\\n").

    `statement` is a varnok_py.Statement, a typed statement of this package, or plain data:
    {"header": {key: value}, "accounts": [{"number": ..., "date_start": ..., ...}],
    "documents": [{attribute: value}]}, values str, Decimal, date or None (absent); the header
    may also be a list of (key, value) pairs, a key then written once for each.
    `extra_keys`, when given, holds for each document in order the (key, value) pairs of
    keys that are not document fields (a bank's own, which the reader passes over), written
    at the end of its section: `varnok convert` keeps those of the file it read so.
    Raises WriteError, before anything is written, for whatever the reader would not read
    back as the same values, and ValueError for a bad encoding or newline."""
    try:
        return _write(statement, encoding, newline, extra_keys)
    except WriteError as exc:
        # Without what it was found among (the texts, the lines: the whole output), so that a
        # kept error costs its message.
        exc.__context__ = None
        failed = exc.with_traceback(None)
    del statement, extra_keys  # (the error's traceback holds this frame)
    raise failed


def _write(statement: Any, encoding: str, newline: str,
           extra_keys: Sequence[Sequence[tuple[str, str]]] | None) -> bytes:
    encoding = _encoding_name(encoding)
    if newline not in NEWLINES:
        raise ValueError(f"newline must be '\\r\\n' or '\\n', not {newline!r}: the reader splits lines at LF")
    lines, documents = _head(statement, encoding)
    if extra_keys is not None and len(extra_keys) != len(documents):
        raise ValueError(f"extra_keys holds {len(extra_keys)} entries for {len(documents)} documents")
    extras = _native_extras(extra_keys)
    fast = None if extras is None else _native_documents(lines, documents, encoding, newline, extras)
    if fast is not None:
        return fast
    _documents(lines, documents, extra_keys=extra_keys)
    try:
        return encoding_.encode(newline.join(lines) + newline, encoding, _locator(statement, encoding, extra_keys))
    except Problem as problem:
        raise WriteError(str(problem)) from None


def write_file(path: str | os.PathLike[str], statement: Any, *, encoding: str = "cp1251",
               newline: str = "\r\n", extra_keys: Sequence[Sequence[tuple[str, str]]] | None = None) -> None:
    """Writes write(statement, ...) to path atomically: path afterwards holds the whole new
    file, or, when anything fails, what it held before; no temporary file is left."""
    _save(path, write(statement, encoding=encoding, newline=newline, extra_keys=extra_keys))


def to_statement(statements: Any, out: str | os.PathLike[str] | IO[bytes], *, intervals: bool = False,
                 encoding: str = "cp1251", extra_keys: Sequence[Sequence[Any] | None] | None = None,
                 header: Mapping[str, Any] | Sequence[tuple[Any, Any]] | None = None) -> None:
    """Writes one statement file (to a path, atomically, or to a binary file object) with the
    account sections and documents of statements (typed or varnok_py, one or many) in order,
    under `header` (as write() takes it), by default the first one's with the accounts later
    ones name only in their headers (_joined_header); with intervals, the
    account sections only. extra_keys: for each statement, write()'s extra_keys of its
    documents (or None)."""
    listed = [statements] if hasattr(statements, "documents") else list(statements)
    raw = [getattr(statement, "raw", statement) for statement in listed]  # the file's own texts
    merged = {
        "header": header if header is not None else _joined_header(listed, raw) if listed else {},
        "accounts": [account for statement in raw for account in statement.accounts.values()],
        "documents": [] if intervals else [document for statement in raw for document in statement.documents],
    }
    extra = None
    if extra_keys is not None and not intervals:
        extra = [pairs for statement, held in zip(raw, extra_keys, strict=True)
                 for pairs in (held if held is not None else [()] * len(statement.documents))]
    try:
        data = write(merged, encoding=encoding, extra_keys=extra)
    except WriteError as exc:
        failed = _in_its_statement(exc.with_traceback(None), listed)
    else:
        _save(out, data)
        return
    del statements, listed, raw, merged, extra, extra_keys, header  # (the error's traceback holds this frame)
    raise failed


def _header_pairs(header: Any) -> list[tuple[Any, Any]]:
    """A header given as a mapping or as (key, value) pairs, as pairs."""
    return list(header.items()) if isinstance(header, Mapping) else list(header)


def _first_header(statement: Any) -> Any:
    """What to_statement writes as the header of statements joined: the first one's, as the
    file has it when it is a typed statement."""
    return getattr(statement, "header_lines", None) or dict(getattr(statement, "raw", statement).header)


def _joined_header(listed: list[Any], raw: list[Any]) -> Any:
    """The first statement's header, with a РасчСчет line for each account a later one's
    header names that neither that header nor an account section joined has: its documents
    then read back with the same direction (income or expense against it). Put before the
    first one's own РасчСчет lines, so that the header dict keeps that one's. Every account
    of a typed statement's header; of a varnok_py.Statement's, the one its dict keeps."""
    first = _first_header(listed[0])
    pairs = _header_pairs(first)
    named = {value for key, value in pairs if key == ACCOUNT_NUMBER.key} | {n for s in raw for n in s.accounts}
    added = []
    for statement in listed[1:]:
        for key, value in _header_pairs(_first_header(statement)):
            if key == ACCOUNT_NUMBER.key and value and value not in named:
                named.add(value)
                added.append((key, value))
    if not added:
        return first
    at = next((i for i, (key, _) in enumerate(pairs) if key == ACCOUNT_NUMBER.key), len(pairs))
    return pairs[:at] + added + pairs[at:]


def _in_its_statement(exc: WriteError, statements: list[Any]) -> WriteError:
    """exc, raised for the merged accounts or documents of `statements`, for the place in
    the statement it comes from: its file, the document's line and its index there."""
    if exc.section == "header" and statements:  # (the first one's)
        return WriteError(exc.problem, section=exc.section, field=exc.field,
                          source=getattr(statements[0], "source", None))
    if exc.section not in ("accounts", "documents") or exc.index is None:
        return exc
    index = exc.index
    for statement in statements:
        raw = getattr(statement, "raw", statement)
        items = raw.documents if exc.section == "documents" else list(raw.accounts.values())
        if index < len(items):
            line = None
            if exc.section == "documents":  # (a typed document knows its line; else the statement may)
                lines = getattr(statement, "document_lines", None)
                line = lines[index] if lines is not None else getattr(statement.documents[index], "line", None)
            return WriteError(exc.problem, section=exc.section, index=index, number=exc.number, field=exc.field,
                              key=exc.key, source=getattr(statement, "source", None), line=line)
        index -= len(items)
    return exc


def _save(out: str | os.PathLike[str] | IO[bytes], data: bytes) -> None:
    if isinstance(out, (str, os.PathLike)):
        with atomic_output(out, "wb") as f:
            f.write(data)
    else:
        out.write(data)


def _encoding_name(encoding: str) -> str:
    try:
        name = codecs.lookup(encoding).name
    except LookupError:
        name = ""
    if name not in ENCODING_LABELS:
        raise ValueError(f"encoding must be 'cp1251' or 'utf-8', not {encoding!r}")
    return name


def _part(data: Any, name: str) -> Any:
    return data.get(name) if isinstance(data, Mapping) else getattr(data, name, None)


def _lines(statement: Any, encoding: str, check: Check | None = None,
           extra_keys: Sequence[Sequence[tuple[str, str]]] | None = None) -> list[str]:
    """The statement's lines. check, when given, is called on every text written and may
    raise Problem (used to find the field behind a failure of the whole output)."""
    lines, documents = _head(statement, encoding, check)
    _documents(lines, documents, check, extra_keys)
    return lines


def _head(statement: Any, encoding: str,
          check: Check | None = None) -> tuple[list[str], Sequence[Any]]:
    """The lines up to the first document section, and the documents."""
    if isinstance(statement, Mapping):
        unknown = set(statement) - {"header", "accounts", "documents"}
        if unknown:
            raise WriteError(f"unknown part {sorted(unknown)[0]!r}; a statement has header, accounts and documents")
    elif not any(hasattr(statement, part) for part in ("header", "accounts", "documents")):
        # (else None or a list would read as a statement with nothing in it)
        raise TypeError("expected a varnok_py.Statement, a varnok.TypedStatement or a mapping of header, "
                        f"accounts and documents, not {type(statement).__name__}")
    # A typed statement's header_lines keep a key the file gives twice; its header, the last.
    header = (None if isinstance(statement, Mapping) else _part(statement, "header_lines")) or \
        _part(statement, "header") or {}
    accounts = _part(statement, "accounts") or ()
    documents = _part(statement, "documents") or ()
    if isinstance(accounts, Mapping):
        accounts = accounts.values()
    if not isinstance(documents, Sequence):
        documents = tuple(documents)
    lines = ["1CClientBankExchange"]
    _header(lines, header, encoding, check)
    sections = len(lines)
    for index, account in enumerate(accounts):
        _account(lines, index, account, check)
    if len(lines) == sections and not documents:
        raise WriteError("the statement has no account and no document section; the reader needs at least one")
    return lines, documents


def _documents(lines: list[str], documents: Sequence[Any], check: Check | None = None,
               extra_keys: Sequence[Sequence[tuple[str, str]]] | None = None) -> None:
    for index, document in enumerate(documents):
        _document(lines, index, document, check, () if extra_keys is None else extra_keys[index])
    lines.append(_FILE_END)


def _header(lines: list[str], header: Mapping[str, Any] | Iterable[tuple[Any, Any]], encoding: str,
            check: Check | None) -> None:
    items = _header_pairs(header)
    label = ENCODING_LABELS[encoding]
    if any(key == ENCODING_KEY for key, _ in items):
        items = [(key, label if key == ENCODING_KEY else value) for key, value in items]
    else:
        after = next((i + 1 for i, (key, _) in enumerate(items) if key == "ВерсияФормата"), 0)
        items.insert(after, (ENCODING_KEY, label))
    for key, value in items:
        if value is not None:
            _key_line(lines, key, value, check, section="header")


def _key_line(lines: list[str], key: Any, value: Any, check: Check | None, **where: Any) -> None:
    """A line "key=value" outside the field table: a header entry, or a key of a document
    that is not a field (where says which, for the WriteError). A date value is written as
    dd.mm.yyyy."""
    try:
        key = _extra_key(key) if where["section"] == "documents" else values.key(key)
    except Problem as problem:
        raise WriteError(f"the key {problem}", field=key, **where) from None
    try:
        value = _key_value(value)
        if check is not None:
            check(key)
            check(value)
    except Problem as problem:
        raise WriteError(str(problem), field=key, **where) from None
    lines.append(f"{key}={value}")


def _account(lines: list[str], index: int, account: Any, check: Check | None) -> None:
    number = _part(account, "number")
    intervals = _part(account, "intervals")
    # With intervals, an interval's fields on the account itself would be passed over.
    _known(account, _ACCOUNT_NAMES if intervals is None else _ACCOUNT_OWN_NAMES, index, number)
    for interval in (account,) if intervals is None else intervals:
        if intervals is not None:
            _known(interval, _INTERVAL_NAMES, index, number)
            if isinstance(interval, Mapping) and interval.get("number", number) != number:
                raise WriteError(f"an interval's number {interval['number']!r} is not its account's",
                                 section="accounts", index=index, number=number)
        fields = [(ACCOUNT_NUMBER, number), *((field, _part(interval, field.name)) for field in INTERVAL_FIELDS)]
        lines.append("СекцияРасчСчет")
        _fields(lines, fields, check, "accounts", index, number)
        lines.append("КонецРасчСчет")


def _known(data: Any, names: frozenset[str], index: int, number: Any) -> None:
    if isinstance(data, Mapping) and not names.issuperset(data):
        unknown = sorted(set(data) - names)[0]
        raise WriteError(f"unknown field {unknown!r}", section="accounts", index=index, number=number)


def _document(lines: list[str], index: int, document: Any, check: Check | None,
              extra: Iterable[tuple[str, str]] = ()) -> None:
    number = _part(document, "doc_number")
    if isinstance(document, Mapping):
        if not _DOCUMENT_NAMES.issuperset(document):
            unknown = sorted(set(document) - _DOCUMENT_NAMES)[0]
            raise WriteError(f"unknown field {unknown!r}", section="documents", index=index, number=number)
        body: Iterable[Any] = (document.get(field.name) for field in _BODY)
    else:
        try:
            body = _BODY_VALUES(document)
        except AttributeError:
            body = (getattr(document, field.name, None) for field in _BODY)
    # The kind's line, СекцияДокумент=kind, is the section's first line.
    _fields(lines, [(_KIND, _part(document, _KIND.name)), *zip(_BODY, body)], check, "documents", index, number)
    for key, value in extra:
        _key_line(lines, key, value, check, section="documents", index=index, number=number)
    lines.append(_DOCUMENT_END)


def _fields(lines: list[str], fields: Iterable[tuple[Field, Any]], check: Check | None,
            section: str, index: int, number: Any) -> None:
    for field, value in fields:
        try:
            if value is None:
                if field.required:
                    raise Problem("is missing, and it is required")
                continue
            written = _FORMAT[field.kind](value)
            if check is not None:
                check(written)
        except Problem as problem:
            raise WriteError(str(problem), section=section, index=index, number=number,
                             field=field.name, key=field.key) from None
        lines.append(f"{field.key}={written}")


def _locator(statement: Any, encoding: str,
             extra_keys: Sequence[Sequence[tuple[str, str]]] | None) -> Callable[[Check], None]:
    def locate(check: Check) -> None:
        """Raises the WriteError of the first written text that check refuses (if any)."""
        _lines(statement, encoding, check, extra_keys)

    return locate


def _key_value(value: Any) -> str:
    """The text of a value beside a key outside the field table (a date as dd.mm.yyyy)."""
    return values.date_text(value) if isinstance(value, date) else values.text(value)


def _extra_key(key: Any) -> str:
    """The text of a key written in a document beside its fields; Problem if it is none."""
    text = values.key(key)
    if text in _DOCUMENT_KEYS:
        raise Problem("is a document field's key, so the reader would take it as that field")
    return text


def _native_extras(extra_keys: Sequence[Sequence[tuple[Any, Any]]] | None) -> tuple[Any, ...] | None:
    """extra_keys as the native path takes them, each pair as its two texts (() when there
    are none); None when one of them is at fault, for the Python path to name."""
    if extra_keys is None or not any(extra_keys):
        return ()
    try:
        return tuple(tuple((_extra_key(key), _key_value(value)) for key, value in pairs) for pairs in extra_keys)
    except Problem:
        return None


def _native_documents(lines: list[str], documents: Sequence[Any], encoding: str, newline: str,
                      extras: tuple[Any, ...]) -> bytes | None:
    """The whole file through varnok._native when the documents are varnok_py documents:
    the bytes the Python path would give, or None when anything needs the Python path
    (which then writes it or names what is wrong). lines are the checked lines before them;
    extras, empty or for each document the (key, value) texts written after its fields."""
    write_documents = getattr(_native, "write_documents", None)
    if write_documents is None or not documents or type(documents[0]) is not varnok_py.Document:
        return None
    result: bytes | None = write_documents(
        newline.join(lines) + newline, tuple(documents), varnok_py.Document, _NATIVE_FIELDS,
        _DOCUMENT_END, _FILE_END, newline, WHITE_SPACE, encoding_.CP1251_HIGH if encoding == "cp1251" else None,
        extras)
    return result


# For the native path: each field as ("Key=", attribute, kind number, required), the kind's
# line first.
_NATIVE_FIELDS = tuple((f"{field.key}=", field.name, ("text", "date", "amount").index(field.kind), field.required)
                       for field in (_KIND, *_BODY))
