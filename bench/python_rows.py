"""The pure-Python baseline of the end-to-end rows: a statement read straight into rows.

What a competent user writes without varnok_py to get every value out: decode (UTF-8,
then windows-1251), split lines, partition on "=", a dict per section, and at each end
line a row: the 53 document values in FIELDS order (absent optional ones None, dates as
ISO text, amounts validated with Decimal) and the six values of each account interval.
`typed=True` gives the document's date as a `date` and its amount as a `Decimal`.
A document lacking a required key is dropped with a warning, like varnok_py does.
It is no reference for exact behaviour: bench.py checks that both give the same rows
on the generated statements before timing them.
"""

from __future__ import annotations

import datetime as dt
import importlib.util
from decimal import Decimal
from pathlib import Path

from python_parser import StatementError, statement_lines

def _document_fields() -> tuple:
    """The project's one field list (key, attribute, kind, required), read from its file so
    that the baseline needs neither varnok_py nor the varnok package."""
    path = Path(__file__).resolve().parents[1] / "python" / "varnok" / "_fields.py"
    spec = importlib.util.spec_from_file_location("_bench_document_fields", path)
    module = importlib.util.module_from_spec(spec)
    spec.loader.exec_module(module)
    return tuple((f.key, f.name, f.required) for f in module.DOCUMENT_FIELDS)


# (statement key, varnok_py.Document attribute, required): the rows' column order.
FIELDS = _document_fields()
DOCUMENT_NAMES = tuple(name for _, name, _ in FIELDS)
INTERVAL_NAMES = ("date_start", "date_end", "start_amount", "end_amount", "total_income", "total_expense")

_KEYS = tuple(key for key, _, _ in FIELDS)
_REQUIRED = frozenset(key for key, _, required in FIELDS if required)
_DATE, _AMOUNT = _KEYS.index("Дата"), _KEYS.index("Сумма")
_OPTIONAL_DATES = (_KEYS.index("ДатаСписано"), _KEYS.index("ДатаПоступило"))
_INTERVAL_KEYS = ("ДатаНачала", "ДатаКонца", "НачальныйОстаток", "КонечныйОстаток", "ВсегоПоступило",
                  "ВсегоСписано")


def _date(text: str) -> dt.date:
    day, month, year = text.split(".")
    if len(day) != 2 or len(month) != 2 or len(year) != 4:
        raise ValueError(f"bad date {text!r}")
    return dt.date(int(year), int(month), int(day))


def _iso(text: str | None) -> str | None:
    return _date(text).isoformat() if text else None


def _amount(text: str) -> str:
    Decimal(text)  # validates; the text keeps its scale, as varnok_py's does
    return text


def _document_row(section: dict[str, str], typed: bool) -> tuple:
    row = list(map(section.get, _KEYS))
    if typed:
        row[_DATE] = _date(row[_DATE])
        row[_AMOUNT] = Decimal(row[_AMOUNT])
    else:
        row[_DATE] = _iso(row[_DATE]) or ""
        row[_AMOUNT] = _amount(row[_AMOUNT])
    for i in _OPTIONAL_DATES:
        if row[i] is not None:
            row[i] = _iso(row[i])
    return tuple(row)


def _interval_row(section: dict[str, str]) -> tuple:
    start, end, opening, closing, income, expense = map(section.get, _INTERVAL_KEYS)
    if not start or opening is None:
        raise StatementError("incomplete account section")
    return (_iso(start), _iso(end), _amount(opening), closing and _amount(closing),
            income and _amount(income), expense and _amount(expense))


def rows(data: bytes, typed: bool = False) -> tuple[list[tuple], list[tuple], list[tuple[int, str]]]:
    """The document rows, the interval rows (by account in order of appearance, each
    account's intervals by start date, duplicates dropped) and the warnings."""
    lines, _ = statement_lines(data)
    documents: list[tuple] = []
    accounts: dict[str, dict[tuple, None]] = {}
    warnings: list[tuple[int, str]] = []
    section: dict[str, str] = {}
    kind: str | None = None  # the document kind; "" in an account section
    where = "header"
    for lineno, raw in enumerate(lines[1:], 2):
        line = raw.strip()
        if not line:
            continue
        key, sep, value = line.partition("=")
        if sep:
            key = key.strip()
            if key == "СекцияДокумент" and where != "section":
                section, kind, where = {}, value.strip(), "section"
            elif where == "section" or where == "header":
                section[key] = value.strip()
            else:
                raise StatementError(f"line {lineno}: attribute outside a section")
        elif line == "СекцияРасчСчет" and where != "section":
            section, kind, where = {}, "", "section"
        elif line == "КонецРасчСчет" and where == "section" and kind == "":
            interval = _interval_row(section)
            accounts.setdefault(section["РасчСчет"], {})[interval] = None
            where = "between"
        elif line == "КонецДокумента" and where == "section" and kind:
            section["СекцияДокумент"] = kind
            if _REQUIRED <= section.keys():
                documents.append(_document_row(section, typed))
            else:
                missing = next(k for k in _KEYS if k in _REQUIRED and k not in section)
                warnings.append((lineno, f"missing field `{missing}`"))
            where = "between"
        elif line == "КонецФайла" and where == "between":
            where = "finished"
        else:
            raise StatementError(f"line {lineno}: unexpected line {line!r}")
    if where != "finished":
        raise StatementError("Statement is not finished")
    intervals = [row for held in accounts.values() for row in sorted(held, key=lambda r: r[0])]
    return documents, intervals, warnings
