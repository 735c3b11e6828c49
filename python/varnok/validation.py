"""Field validation: the checks Russian payment requisites carry in themselves (INN control
digits, KPP and BIC formats, an account number's control key against its bank's BIC)."""
from __future__ import annotations

import dataclasses
import sys
from collections.abc import Iterable
from dataclasses import dataclass
from typing import Any

_INN10_WEIGHTS = (2, 4, 10, 3, 5, 9, 4, 6, 8)
_INN11_WEIGHTS = (7, 2, 4, 10, 3, 5, 9, 4, 6, 8)
_INN12_WEIGHTS = (3, 7, 2, 4, 10, 3, 5, 9, 4, 6, 8)
# The account key: 23 digits (3 from the BIC, then the 20 of the account) weighted 7, 1, 3
# repeated; the sum's last digit must be 0.
_ACCOUNT_WEIGHTS = (7, 1, 3) * 8


# Plain str tests rather than shared compiled patterns: on the free-threaded build every
# match takes and drops a reference to its pattern, which threads checking files in parallel
# then contend for.
def _digits(text: str, count: int) -> bool:
    """`count` ASCII digits (str.isdigit alone also takes other scripts' digits)."""
    return len(text) == count and text.isascii() and text.isdigit()


def _control(digits: str, weights: tuple[int, ...]) -> int:
    return sum(int(d) * w for d, w in zip(digits, weights)) % 11 % 10


def inn_problem(inn: str) -> str | None:
    """Why `inn` is not a valid INN (10 digits for an organisation, 12 for a person, with
    their control digits; 5 digits is a foreign organisation's code), or None."""
    if len(inn) == 5 and _digits(inn, 5):
        return None
    if _digits(inn, 10):
        return None if _control(inn, _INN10_WEIGHTS) == int(inn[9]) else "INN control digit does not match"
    if _digits(inn, 12):
        ok = _control(inn, _INN11_WEIGHTS) == int(inn[10]) and _control(inn, _INN12_WEIGHTS) == int(inn[11])
        return None if ok else "INN control digits do not match"
    return "INN must be 10 or 12 digits"


def kpp_problem(kpp: str) -> str | None:
    """Why `kpp` is not a KPP (4 digits, 2 digits or capital Latin letters, 3 digits), or None."""
    ok = (len(kpp) == 9 and _digits(kpp[:4], 4) and _digits(kpp[6:], 3)
          and all(c.isascii() and (c.isdigit() or c.isupper()) for c in kpp[4:6]))
    return None if ok else "KPP must be 9 characters: 4 digits, 2 digits or letters A-Z, 3 digits"


def bic_problem(bic: str) -> str | None:
    return None if _digits(bic, 9) else "BIC must be 9 digits"


def account_problem(account: str, bic: str, correspondent: bool = False) -> str | None:
    """Why the 20-digit `account` fails its control key against `bic`, or None. A bank's
    correspondent account, and any account of a cash settlement centre (BIC ending in 000,
    001 or 002), is keyed with "0" and the BIC's 5th and 6th digits; others with the BIC's
    last three digits. The Treasury's accounts (03...) carry no key."""
    if not _digits(account, 20):
        return "account number must be 20 digits"
    if not _digits(bic, 9) or account.startswith("03"):
        return None  # a bad BIC is reported as the BIC's own problem
    prefix = "0" + bic[4:6] if correspondent or bic[6:] in ("000", "001", "002") else bic[6:]
    total = sum(int(d) * w for d, w in zip(prefix + account, _ACCOUNT_WEIGHTS))
    return None if total % 10 == 0 else f"account control key does not match BIC {bic}"


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


_KEYS = {
    "counterparty_inn": "ПлательщикИНН",
    "counterparty_kpp": "ПлательщикКПП",
    "counterparty_bic": "ПлательщикБИК",
    "counterparty_account": "ПлательщикСчет",
    "counterparty_ras_account": "ПлательщикРасчСчет",
    "counterparty_cor_account": "ПлательщикКорсчет",
    "payee_inn": "ПолучательИНН",
    "payee_kpp": "ПолучательКПП",
    "payee_bic": "ПолучательБИК",
    "payee_account": "ПолучательСчет",
    "payee_ras_account": "ПолучательРасчСчет",
    "payee_cor_account": "ПолучательКорсчет",
}


def _absent(value: str | None) -> bool:
    # Payment orders write 0 for a requisite the party does not have.
    return value is None or value in ("", "0")


def _account_check(value: str, bic: str) -> str | None:
    return account_problem(value, bic)


def _correspondent_check(value: str, bic: str) -> str | None:
    return account_problem(value, bic, correspondent=True)


# Per side: its BIC's attribute, then (attribute, check of (value, BIC), whether the check
# needs the BIC) for each requisite. Made once, with interned names: a name built per call
# would miss the class's attribute cache, and a lambda per call is a new object each time.
_SIDE_CHECKS = tuple(
    (
        sys.intern(f"{side}_bic"),
        tuple(
            (sys.intern(f"{side}_{name}"), check, name.endswith("account"))
            for name, check in (
                ("inn", lambda value, _bic: inn_problem(value)),
                ("kpp", lambda value, _bic: kpp_problem(value)),
                ("bic", lambda value, _bic: bic_problem(value)),
                ("account", _account_check),
                ("ras_account", _account_check),
                ("cor_account", _correspondent_check),
            )
        ),
    )
    for side in ("counterparty", "payee")
)


def document_problems(doc: Any) -> Iterable[tuple[str, str, str]]:
    """(field, value, message) for each failing requisite of one document."""
    for bic_field, checks in _SIDE_CHECKS:
        bic = getattr(doc, bic_field)
        for field, check, needs_bic in checks:
            value = getattr(doc, field)
            if _absent(value) or (needs_bic and bic is None):
                continue
            message = check(value, bic)
            if message is not None:
                yield field, value, message


def validate(statement: Any) -> list[ValidationProblem]:
    """The failing requisites of every document of a varnok.TypedStatement, in document order."""
    return [
        ValidationProblem(doc.line, doc.doc_number, field, _KEYS[field], value, message)
        for doc in statement.documents
        for field, value, message in document_problems(doc)
    ]
