"""A competent pure-Python statement reader: what a user would write without varnok_py.

It decodes (UTF-8, then windows-1251), splits lines, partitions each on "=", keeps a dict
per section, converts dates with datetime.strptime and amounts with decimal.Decimal, groups
account sections by number and drops documents that lack a required key with a warning.
It is the baseline of bench.py, not a reference for exact behaviour.
"""

from __future__ import annotations

import datetime as dt
from dataclasses import dataclass, field
from decimal import Decimal, InvalidOperation

REQUIRED = ("Номер", "Дата", "НазначениеПлатежа", "Сумма", "ПлательщикИНН", "ПлательщикБИК",
            "ПлательщикБанк1", "ПлательщикСчет", "ПолучательИНН", "ПолучательСчет", "ПолучательБИК",
            "ПолучательБанк1")
ACCOUNT_DATES = ("ДатаНачала", "ДатаКонца")
ACCOUNT_AMOUNTS = ("НачальныйОстаток", "КонечныйОстаток", "ВсегоПоступило", "ВсегоСписано")


class StatementError(ValueError):
    pass


@dataclass
class PyStatement:
    encoding: str
    header: dict[str, str] = field(default_factory=dict)
    accounts: dict[str, list[dict]] = field(default_factory=dict)
    documents: list[dict] = field(default_factory=list)
    warnings: list[tuple[int, str]] = field(default_factory=list)


def _date(value: str) -> dt.date:
    return dt.datetime.strptime(value, "%d.%m.%Y").date()


def _document(attrs: dict[str, str]) -> dict:
    for key in REQUIRED:
        if key not in attrs:
            raise StatementError(f"missing field `{key}`")
    doc: dict = dict(attrs)
    doc["Дата"] = _date(attrs["Дата"])
    doc["Сумма"] = Decimal(attrs["Сумма"])
    for key in ("ДатаСписано", "ДатаПоступило"):
        value = attrs.get(key)
        if value is not None:
            doc[key] = _date(value) if value else None
    return doc


def _interval(attrs: dict[str, str]) -> tuple[str, dict]:
    interval: dict = {}
    for key in ACCOUNT_DATES:
        value = attrs.get(key)
        interval[key] = _date(value) if value else None
    for key in ACCOUNT_AMOUNTS:
        value = attrs.get(key)
        interval[key] = Decimal(value) if value is not None else None
    if interval["ДатаНачала"] is None or interval["НачальныйОстаток"] is None:
        raise StatementError("incomplete account section")
    return attrs["РасчСчет"], interval


def statement_lines(data: bytes | str) -> tuple[list[str], str]:
    """The lines of a statement (decoded from UTF-8, else windows-1251) and the encoding;
    StatementError unless the first line is the format marker."""
    if isinstance(data, str):
        text, encoding = data, "utf-8"
    else:
        try:
            text, encoding = data.decode("utf-8"), "utf-8"
        except UnicodeDecodeError:
            text, encoding = data.decode("cp1251"), "cp1251"
    lines = text.split("\n")
    if not lines or lines[0].strip() != "1CClientBankExchange":
        raise StatementError("Input is not a 1C statement")
    return lines, encoding


def parse(data: bytes | str) -> PyStatement:
    lines, encoding = statement_lines(data)
    result = PyStatement(encoding)
    section: dict[str, str] | None = None
    kind: str | None = None  # the document kind; None in an account section
    in_header, finished = True, False
    for lineno, raw in enumerate(lines[1:], 2):
        line = raw.strip()
        if not line:
            continue
        key, sep, value = line.partition("=")
        if finished:
            raise StatementError(f"line {lineno}: content after КонецФайла")
        if sep:
            key = key.strip()
            if key == "СекцияДокумент":
                if section is not None:
                    raise StatementError(f"line {lineno}: section inside a section")
                section, kind, in_header = {}, value.strip(), False
            elif section is not None:
                section[key] = value.strip()
            elif in_header:
                result.header[key] = value.strip()
            else:
                raise StatementError(f"line {lineno}: attribute outside a section")
        elif line == "СекцияРасчСчет":
            if section is not None:
                raise StatementError(f"line {lineno}: section inside a section")
            section, kind, in_header = {}, None, False
        elif line == "КонецРасчСчет" and section is not None and kind is None:
            try:
                number, interval = _interval(section)
            except (KeyError, ValueError, InvalidOperation) as e:
                raise StatementError(f"line {lineno}: {e}") from None
            result.accounts.setdefault(number, []).append(interval)
            section = None
        elif line == "КонецДокумента" and section is not None and kind is not None:
            section["СекцияДокумент"] = kind
            try:
                result.documents.append(_document(section))
            except (ValueError, InvalidOperation) as e:
                result.warnings.append((lineno, str(e)))
            section, kind = None, None
        elif line == "КонецФайла" and section is None and not in_header:
            finished = True
        else:
            raise StatementError(f"line {lineno}: unexpected line {line!r}")
    if not finished:
        raise StatementError("Statement is not finished")
    for intervals in result.accounts.values():
        intervals.sort(key=lambda i: i["ДатаНачала"])
    return result
