"""Typed reading: a statement as immutable records of Decimal, date, direction, section
line and fingerprint, built over varnok_py.parse."""
from __future__ import annotations

import dataclasses
import datetime
import hashlib
import operator
import os
import pathlib
import re
from collections.abc import Mapping, Sequence
from dataclasses import dataclass
from decimal import Decimal
from types import MappingProxyType
from typing import IO, Any, Union

import varnok_py

from varnok._fields import DOCUMENT_FIELDS
from varnok._white_space import WHITE_SPACE, white_run
from varnok._write_encoding import CP1251_ERRORS

FIELD_NAMES: tuple[str, ...] = tuple(f.name for f in DOCUMENT_FIELDS)
DIRECTIONS = ("income", "expense", "internal", "unrelated")

Source = Union[str, bytes, bytearray, memoryview, "os.PathLike[str]", IO[bytes]]


@dataclass(frozen=True, slots=True)
class TypedInterval:
    """One account section: the balance and turnover of one account over [date_start, date_end]."""

    date_start: datetime.date
    date_end: datetime.date | None
    start_amount: Decimal
    end_amount: Decimal | None
    total_income: Decimal | None
    total_expense: Decimal | None


@dataclass(frozen=True, slots=True)
class TypedAccount:
    number: str
    intervals: tuple[TypedInterval, ...]


@dataclass(frozen=True, slots=True)
class StatementWarning:
    """A document section the reader dropped; line is that of its КонецДокумента."""

    line: int
    message: str


def _field_type(kind: str, required: bool) -> Any:
    base = {"text": str, "date": datetime.date, "amount": Decimal}[kind]
    return base if required else base | None


# One attribute per field of the core's table, in its order, between the section's start
# line and the two values derived from the statement.
TypedDocument: Any = dataclasses.make_dataclass(
    "TypedDocument",
    [("line", int | None)]
    + [(f.name, _field_type(f.kind, f.required)) for f in DOCUMENT_FIELDS]
    + [("direction", str), ("fingerprint", str)],
    frozen=True,
    slots=True,
    module=__name__,
)
TypedDocument.__doc__ = (
    "A payment document: the 53 fields typed (Decimal amount, date dates, str or None texts), "
    "line (where its section starts, None if it cannot be located), direction "
    "(income, expense, internal or unrelated) and fingerprint (stable hash of its fields)."
)


@dataclass(frozen=True, slots=True, repr=False)
class TypedStatement:
    """The typed view of one statement. `raw` is the varnok_py.Statement it was built from,
    whose texts are exactly those of the file."""

    source: str | None
    encoding: str
    header: Mapping[str, str]
    accounts: Mapping[str, TypedAccount]
    documents: tuple[Any, ...]
    warnings: tuple[StatementWarning, ...]
    raw: varnok_py.Statement = dataclasses.field(repr=False, compare=False)
    own_accounts: frozenset[str] = dataclasses.field(default=frozenset(), repr=False, compare=False)
    # The header as the file has it: a key given twice (РасчСчет of each of several accounts)
    # is there twice, where `header` keeps its last value. What the writer writes.
    header_lines: tuple[tuple[str, str], ...] = dataclasses.field(default=(), repr=False, compare=False)

    def __reduce__(self) -> tuple[Any, ...]:
        # For process pools. `raw` (a varnok_py.Statement, which does not pickle) goes as the
        # statement file the writer makes of it, in its encoding if it can, and is read again
        # on the other side: the same header, accounts and documents (its warnings are gone,
        # and its Кодировка may say UTF-8; the typed fields go as they are).
        from varnok.writer import WriteError, write

        raw = {"header": self.header_lines or self.raw.header, "accounts": self.raw.accounts,
               "documents": self.raw.documents}
        data: bytes | None = None
        if self.raw.accounts or self.raw.documents:  # (else the writer has no statement to write)
            try:
                data = write(raw, encoding=self.raw.encoding, newline="\n")
            except WriteError:
                data = write(raw, encoding="utf-8", newline="\n")
        fields = (self.source, self.encoding, dict(self.header), dict(self.accounts), self.documents, self.warnings)
        return _unpickled_statement, (*fields, data, self.own_accounts, self.header_lines, dict(self.raw.header))

    def __repr__(self) -> str:
        # Counts, as varnok_py.Statement shows them: every document in full would make a
        # large statement's repr (in a notebook, say) tens of megabytes.
        return (f"TypedStatement(source={self.source!r}, encoding={self.encoding!r}, "
                f"accounts=[...{len(self.accounts)}], documents=[...{len(self.documents)}], "
                f"warnings=[...{len(self.warnings)}])")


def _unpickled_statement(source: str | None, encoding: str, header: dict[str, str], accounts: dict[str, TypedAccount],
                         documents: tuple[Any, ...], warnings: tuple[StatementWarning, ...], data: bytes | None,
                         own: frozenset[str], lines: tuple[tuple[str, str], ...] = (),
                         raw_header: dict[str, str] | None = None) -> TypedStatement:
    if data is None:
        # No section to write (every document dropped): the header and one empty document
        # section, which the reader drops (raw's warnings are not those of the file anyway).
        pairs = lines or tuple((raw_header or {}).items())
        data = "\n".join(["1CClientBankExchange", *(f"{k}={v}" for k, v in pairs),
                          "СекцияДокумент=", "КонецДокумента", "КонецФайла", ""]).encode("utf-8", "surrogatepass")
    raw = varnok_py.parse(data)
    return TypedStatement(source, encoding, MappingProxyType(header), MappingProxyType(accounts), documents, warnings,
                          raw, own, lines)


class ReadFailure(Exception):
    """A statement that could not be read: the file, the line (or None) and the cause, which
    is a varnok_py.ParseError or an OSError."""

    def __init__(self, source: str | None, line: int | None, cause: BaseException) -> None:
        self.source = source
        self.line = line
        self.cause = cause
        super().__init__(self.located(source or "<input>"))

    def __reduce__(self) -> tuple[Any, ...]:
        # Rebuilt from its parts, so that it crosses to another process (a process pool's
        # worker hands it back) as itself.
        return type(self), (self.source, self.line, self.cause)

    def located(self, name: str) -> str:
        """The message with the file shown as `name`: "name:line: cause" or "name: cause"."""
        return f"{name}:{self.line}: {self.cause}" if self.line else f"{name}: {self.cause}"


def load(source: Source) -> tuple[bytes | str, str | None]:
    """The statement's content and its path (None when not given as a file path). A str with
    no line break can never be a statement: unless it is empty, or starts with the format's
    marker and names no file, it is taken as a path."""
    if isinstance(source, (bytes, bytearray, memoryview)):
        return bytes(source), None
    if isinstance(source, str):
        if _looks_like_path(source):
            return _read_path(source), source
        return source, None
    if isinstance(source, os.PathLike):
        path = os.fspath(source)  # (bytes for some: the name is then decoded as the OS does)
        return _read_path(path), os.fsdecode(path)
    if hasattr(source, "read"):
        data = source.read()
        if not isinstance(data, (bytes, bytearray)):
            raise TypeError("varnok.read: the file object must be opened in binary mode")
        name = getattr(source, "name", None)
        return bytes(data), name if isinstance(name, str) else None
    raise TypeError(f"varnok.read: expected a path, bytes, str or binary file, not {type(source).__name__}")


def _looks_like_path(text: str) -> bool:
    # A statement has several lines and starts with its marker; anything else that is not
    # empty is taken as a path, so that a mistyped name reports the missing file. Files are
    # often named after the marker ("1CClientBankExchange.txt"): such a name is a path if it
    # names a file.
    if not text or "\n" in text:
        return False
    return not text.lstrip("\ufeff \t").startswith("1CClientBankExchange") or os.path.exists(text)


def _read_path(path: str | bytes) -> bytes:
    with open(path, "rb") as f:
        return f.read()


def error_line(exc: BaseException) -> int | None:
    detail = getattr(exc, "detail", None)
    line = getattr(detail, "lineno", None)
    return line if isinstance(line, int) else None


def parse_source(source: Source) -> tuple[varnok_py.Statement, bytes | str, str | None]:
    """Reads and parses; failures come as ReadFailure naming the file and line."""
    try:
        data, path = load(source)
    except (OSError, ValueError) as exc:  # (ValueError: a NUL in the path)
        raise ReadFailure(os.fspath(source) if isinstance(source, (str, os.PathLike)) else None, None, exc) from exc
    try:
        return varnok_py.parse(data), data, path
    except varnok_py.ParseError as exc:
        raise ReadFailure(path, error_line(exc), exc) from exc
    except TypeError:
        if not isinstance(data, str):
            raise
        try:
            data.encode("utf-8")  # varnok_py says "bytes or str" of a str with a lone surrogate
        except UnicodeEncodeError as exc:
            raise ReadFailure(path, None, exc) from None
        raise


def read(source: Source) -> TypedStatement:
    """The typed view of a statement given as a path (os.PathLike, or a str of one line),
    bytes, str (the statement's text) or binary file object. Raises
    ReadFailure (with .source, .line and .cause, a varnok_py.ParseError or OSError)."""
    raw, data, path = parse_source(source)
    return typed_statement(raw, data, path)


def read_file(path: str | os.PathLike[str]) -> TypedStatement:
    """varnok.read for a path given as any str (even one that does not exist: OSError)."""
    return read(pathlib.Path(path))


def require_typed(statement: Any, taker: str) -> None:
    """A varnok_py.Statement given where a TypedStatement belongs would fail deep inside with a
    puzzling message: say what to pass instead. `taker`: "varnok.reconcile takes", say."""
    if isinstance(statement, varnok_py.Statement):
        raise TypeError(f"{taker} a varnok.TypedStatement, as varnok.read gives it (from a path, "
                        "the bytes or the text), not a varnok_py.Statement")


def own_accounts(statement: varnok_py.Statement, lines: Sequence[tuple[str, str]] = ()) -> frozenset[str]:
    """The statement's own accounts: those of its account sections and the header's РасчСчет;
    with the header's `lines` (header_lines), every РасчСчет line of the header with an ASCII
    value, as a statement of several accounts lists them (the header dict keeps the last);
    varnok._native finds the same."""
    numbers = set(statement.accounts)
    header_account = statement.header.get("РасчСчет")
    if header_account:
        numbers.add(header_account)
    numbers.update(value for key, value in lines if key == "РасчСчет" and value and value.isascii())
    return frozenset(numbers)


def header_lines(data: bytes | str, statement: varnok_py.Statement) -> list[tuple[str, str]]:
    """The header's key=value lines of `data` (as read into `statement`) in file order,
    trimmed as the reader trims them: a key given twice (a statement of several accounts
    lists each with РасчСчет) is there twice, where the header dict keeps its last value.
    The header dict's items when the two do not agree."""
    data, encoding = scanned_bytes(data, statement)
    section = _FIRST_SECTION[encoding].search(data)
    head = data[:section.start() if section else len(data)].decode(encoding, CP1251_ERRORS if encoding == "cp1251"
                                                                   else "replace")
    pairs = []
    for line in head.split("\n")[1:]:  # (line 1 is the marker)
        key, equals, value = line.partition("=")
        if equals:
            pairs.append((key.strip(WHITE_SPACE), value.strip(WHITE_SPACE)))
    header = list(statement.header.items())
    return pairs if list(dict(pairs).items()) == header else header


def direction(document: Any, own: frozenset[str]) -> str:
    """income when the payee account is one of `own`, expense when the payer's is, internal
    when both are, unrelated when neither is."""
    incoming = document.payee_account in own
    outgoing = document.counterparty_account in own
    if incoming and outgoing:
        return "internal"
    return "income" if incoming else "expense" if outgoing else "unrelated"


def _normal_amount(text: str) -> str:
    # 1500, 1500.0 and 1500.00 are one amount; the fingerprint must not see the scale.
    if "." in text:
        text = text.rstrip("0").rstrip(".")
    return text


def fingerprint(document: Any) -> str:
    """A stable hash of a document's 53 fields (the texts the reader gives, the amount without
    trailing zeros): BLAKE2b-128 in 32 hex digits, the same across files, runs and machines."""
    return _fingerprint_of(_field_texts(document))


# All 53 texts of a varnok_py.Document in one call, in FIELD_NAMES order.
_field_texts = operator.attrgetter(*FIELD_NAMES)
_AMOUNT_INDEX = FIELD_NAMES.index("amount")


def _fingerprint_of(texts: tuple[str | None, ...]) -> str:
    parts = []
    for i, value in enumerate(texts):
        if value is None:
            parts.append(b"-")
            continue
        encoded = (_normal_amount(value) if i == _AMOUNT_INDEX else value).encode()
        parts.append(b"%d:" % len(encoded))
        parts.append(encoded)
    return hashlib.blake2b(b"".join(parts), digest_size=16).hexdigest()


def _date(text: str | None) -> datetime.date | None:
    return None if text is None else _iso_date(text)


def _iso_date(text: str) -> datetime.date:
    """The date of a YYYY-MM-DD text; ValueError naming it for one the reader takes but
    datetime.date cannot hold (year 0, or beyond 9999)."""
    try:
        return datetime.date.fromisoformat(text)
    except ValueError:
        raise ValueError(f"date {text} is outside the years 1 to 9999 that Python's date holds") from None


def _amount(text: str | None) -> Decimal | None:
    return None if text is None else Decimal(text)


# (index, converter) of each field that is not a text.
_CONVERSIONS = tuple(
    (i, _date if f.kind == "date" else _amount) for i, f in enumerate(DOCUMENT_FIELDS) if f.kind != "text"
)


def typed_document(raw: Any, line: int | None, own: frozenset[str],
                   known: tuple[str, str] | None = None) -> Any:
    """The typed document of a varnok_py.Document; `known`: its direction and fingerprint,
    when they were found already."""
    # Each attribute of a varnok_py.Document makes a new str: read them once for both the
    # typed values and the fingerprint.
    texts = _field_texts(raw)
    values = list(texts)
    for i, convert in _CONVERSIONS:
        values[i] = convert(values[i])
    if known is not None:
        return TypedDocument(line, *values, *known)
    return TypedDocument(line, *values, direction(raw, own), _fingerprint_of(texts))


def _native_facts(data: bytes | str, count: int) -> tuple[list[int | None], list[str], list[str]] | None:
    """Each document's section line, direction and fingerprint as varnok._native finds them
    (a read of its own of the same bytes, in C++, where the fingerprints cost a tenth of
    hashing in Python); None without the native module."""
    try:
        from varnok import _native
    except ImportError:
        return None
    if isinstance(data, str):
        try:
            data = data.encode("utf-8")
        except UnicodeEncodeError:  # lone surrogates: the Python path's
            return None
    parsed = _native.parse(data, None)
    if parsed is None:
        return None
    facts: tuple[list[int | None], list[str], list[str]] = _native.document_facts(parsed)
    return facts if len(facts[0]) == count else None


def typed_interval(raw: Any) -> TypedInterval:
    return TypedInterval(
        _iso_date(raw.date_start),
        _date(raw.date_end),
        Decimal(raw.start_amount),
        _amount(raw.end_amount),
        _amount(raw.total_income),
        _amount(raw.total_expense),
    )


def typed_statement(raw: varnok_py.Statement, data: bytes | str, path: str | None = None) -> TypedStatement:
    """The typed view of a parsed statement; `data` is what was parsed (for the line numbers).
    Raises ReadFailure for a date the reader takes but datetime.date cannot hold (year 0),
    naming the line of its section."""
    head = tuple(header_lines(data, raw))
    own = own_accounts(raw, head)
    facts = _native_facts(data, len(raw.documents))
    lines = section_lines(data, raw) if facts is None else facts[0]
    known: list[tuple[str, str]] | list[None] = (
        [None] * len(lines) if facts is None else list(zip(facts[1], facts[2], strict=True)))
    try:
        accounts = {
            number: TypedAccount(number, tuple(typed_interval(i) for i in account.intervals))
            for number, account in raw.accounts.items()
        }
    except ValueError as exc:  # a date the reader takes and datetime.date cannot hold
        raise ReadFailure(path, _bad_account_date_line(data, raw), exc) from exc
    documents = []
    for d, line, found in zip(raw.documents, lines, known, strict=True):
        try:
            documents.append(typed_document(d, line, own, found))
        except ValueError as exc:
            raise ReadFailure(path, line, exc) from exc
    return TypedStatement(
        source=path,
        encoding=raw.encoding,
        header=MappingProxyType(dict(raw.header)),
        accounts=MappingProxyType(accounts),
        documents=tuple(documents),
        warnings=tuple(StatementWarning(line, message) for line, message in raw.warnings),
        raw=raw,
        own_accounts=own,
        header_lines=head,
    )


# The scans' patterns are written as str and encoded whole (the format's words hold no
# character a pattern treats specially).
def _markers_pattern(encoding: str) -> re.Pattern[bytes]:
    white = white_run(encoding)
    return re.compile(
        f"(?m)^{white}(?:(СекцияДокумент){white}=|(КонецДокумента){white}$|(КонецФайла){white}$)".encode(encoding))


_PATTERNS = {"cp1251": _markers_pattern("cp1251"), "utf-8": _markers_pattern("utf-8")}


def _first_section_pattern(encoding: str) -> re.Pattern[bytes]:
    white = white_run(encoding)
    return re.compile(f"(?m)^{white}(?:СекцияРасчСчет{white}$|СекцияДокумент{white}=)".encode(encoding))


_FIRST_SECTION = {"cp1251": _first_section_pattern("cp1251"), "utf-8": _first_section_pattern("utf-8")}


def _account_dates_pattern(encoding: str) -> re.Pattern[bytes]:
    # An account section's start (1), its end (2), or one of its dates (3).
    white = white_run(encoding)
    return re.compile(f"(?m)^{white}(?:(СекцияРасчСчет){white}$|(КонецРасчСчет){white}$"
                      f"|(?:ДатаНачала|ДатаКонца){white}=([^\n]*))".encode(encoding))


_ACCOUNT_DATES = {"cp1251": _account_dates_pattern("cp1251"), "utf-8": _account_dates_pattern("utf-8")}


def _bad_account_date_line(data: bytes | str, statement: varnok_py.Statement) -> int | None:
    """The start line of the first account section with a date whose year datetime.date
    cannot hold (the reader's dates are day.month.year), or None."""
    data, encoding = scanned_bytes(data, statement)
    start: int | None = None
    line, position = 1, 0
    for match in _ACCOUNT_DATES[encoding].finditer(data):
        line += data.count(b"\n", position, match.start())
        position = match.start()
        if match.group(1) or match.group(2):
            start = line if match.group(1) else None
        elif start is not None:
            numbers = re.findall(rb"[0-9]+", match.group(3))
            if len(numbers) == 3 and not 1 <= int(numbers[2]) <= 9999:
                return start
    return None


def scanned_bytes(data: bytes | str, statement: varnok_py.Statement) -> tuple[bytes, str]:
    """What a scan of the lines of `data` (as read into `statement`) looks at: bytes in
    "cp1251" or "utf-8", and which."""
    if isinstance(data, bytes) and data.startswith((b"\xff\xfe", b"\xfe\xff")):
        data = data.decode("utf-16", "replace")  # read as UTF-16 with its byte-order mark
    if isinstance(data, str):
        return data.encode("utf-8", "surrogatepass"), "utf-8"
    return data, statement.encoding


def section_lines(data: bytes | str, statement: varnok_py.Statement) -> list[int | None]:
    """The start line of each built document section of `data`, in order: the document
    sections found by their start and end lines, less those dropped with a warning (whose
    line is the section's end). None for all when the two do not line up."""
    data, encoding = scanned_bytes(data, statement)
    dropped = {line for line, _ in statement.warnings}
    lines: list[int | None] = []
    start: int | None = None
    line, position = 1, 0
    for match in _PATTERNS[encoding].finditer(data):
        line += data.count(b"\n", position, match.start())
        position = match.start()
        if match.group(1):
            start = line
        elif match.group(2):
            if start is not None and line not in dropped:
                lines.append(start)
            start = None
        else:
            break
    if len(lines) != len(statement.documents):
        return [None] * len(statement.documents)
    return lines
