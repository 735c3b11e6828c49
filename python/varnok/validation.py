"""Field validation: the checks Russian payment requisites carry in themselves (INN control
digits, KPP and BIC formats, an account number's control key against its bank's BIC)."""
from __future__ import annotations

import dataclasses
import operator
from collections.abc import Iterable
from dataclasses import dataclass
from typing import Any

from varnok import _native
from varnok._fields import DOCUMENT_FIELDS
from varnok.typed import require_typed

# The rules themselves are varnok._native's, which varnok check's native path uses too.


def inn_problem(inn: str) -> str | None:
    """Why `inn` is not a valid INN (10 digits for an organisation, 12 for a person, with
    their control digits; 5 digits is a foreign organisation's code), or None."""
    return _native.requisite_problem("inn", inn, "")


def kpp_problem(kpp: str) -> str | None:
    """Why `kpp` is not a KPP (4 digits, 2 digits or capital Latin letters, 3 digits), or None."""
    return _native.requisite_problem("kpp", kpp, "")


def bic_problem(bic: str) -> str | None:
    return _native.requisite_problem("bic", bic, "")


def account_problem(account: str, bic: str, correspondent: bool = False) -> str | None:
    """Why the 20-digit `account` fails its control key against `bic`, or None. A bank's
    correspondent account, and any account of a cash settlement centre (BIC ending in 000,
    001 or 002), is keyed with "0" and the BIC's 5th and 6th digits; others with the BIC's
    last three digits. The Treasury's accounts (03...) carry no key; a bad BIC is the BIC's
    own problem."""
    return _native.requisite_problem("correspondent_account" if correspondent else "account", account, bic)


@dataclass(frozen=True, slots=True)
class ValidationProblem:
    """A requisite of a document that fails its own check."""

    line: int | None
    document: str
    field: str
    key: str
    value: str
    message: str

    def to_json(self) -> dict[str, Any]:
        return dataclasses.asdict(self)

    def __str__(self) -> str:
        return f"document {self.document}: {self.key} {self.value!r}: {self.message}"


# The requisites checked, in the native rules' order, with their keys in the file.
_FIELDS: tuple[str, ...] = _native.requisite_fields()
_KEYS = {f.name: f.key for f in DOCUMENT_FIELDS if f.name in (*_FIELDS, "amount")}
_requisites = operator.attrgetter(*_FIELDS)


def document_problems(doc: Any, amount: str | None = None) -> Iterable[tuple[str, str, str]]:
    """(field, value, message) for each failing requisite of one document (one that is
    absent, empty or "0" is not checked; an account not without its side's BIC), then for
    its `amount` (the file's text of it) when that is below zero."""
    values = _requisites(doc)
    for position, message in _native.requisite_problems(values):
        yield _FIELDS[position], values[position], message
    if amount is not None and (problem := _native.requisite_problem("amount", amount, "")):
        yield "amount", amount, problem


def validate(statement: Any) -> list[ValidationProblem]:
    """The failing requisites, and the amounts below zero, of every document of a
    varnok.TypedStatement, in document order."""
    require_typed(statement, "varnok.validate takes")
    return [
        ValidationProblem(doc.line, doc.doc_number, field, _KEYS[field], value, message)
        for doc, raw in zip(statement.documents, statement.raw.documents, strict=True)
        for field, value, message in document_problems(doc, raw.amount)
    ]
