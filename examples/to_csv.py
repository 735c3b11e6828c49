"""Write the documents of a bank statement as CSV.

    python3 examples/to_csv.py STATEMENT > documents.csv

varnok_py gives dates as texts like 2024-01-05 and amounts as exact decimal texts
like 1500.00; this example turns them into datetime.date and decimal.Decimal values,
then writes one CSV row per document with the standard csv module.
"""

import csv
import sys
from dataclasses import astuple, dataclass, fields
from datetime import date
from decimal import Decimal
from pathlib import Path
from typing import TextIO

import varnok_py


@dataclass(frozen=True)
class Payment:
    number: str
    kind: str
    issued: date
    amount: Decimal
    payer: str | None
    payer_inn: str
    payer_account: str
    payee: str | None
    payee_inn: str
    payee_account: str
    debited: date | None
    credited: date | None
    purpose: str


def optional_date(text: str | None) -> date | None:
    # datetime.date covers the years 1 to 9999; other years raise ValueError.
    return None if text is None else date.fromisoformat(text)


def to_payment(document: varnok_py.Document) -> Payment:
    return Payment(
        number=document.doc_number,
        kind=document.doc_type,
        issued=date.fromisoformat(document.doc_date),
        # Decimal keeps the scale as written: 1500.00 stays 1500.00.
        amount=Decimal(document.amount),
        # Many banks fill only Плательщик1 / Получатель1 with the name.
        payer=document.counterparty or document.counterparty_1,
        payer_inn=document.counterparty_inn,
        payer_account=document.counterparty_account,
        payee=document.payee or document.payee_1,
        payee_inn=document.payee_inn,
        payee_account=document.payee_account,
        debited=optional_date(document.outcome_date),
        credited=optional_date(document.income_date),
        purpose=document.purpose,
    )


def write_csv(payments: list[Payment], out: TextIO) -> None:
    writer = csv.writer(out)
    writer.writerow(f.name for f in fields(Payment))
    for p in payments:
        # A date is written as 2024-01-05, an absent value as an empty cell.
        writer.writerow("" if value is None else value for value in astuple(p))


def main(argv: list[str]) -> int:
    if len(argv) != 2:
        print(__doc__, file=sys.stderr)
        return 2
    try:
        statement = varnok_py.parse(Path(argv[1]).read_bytes())
    except OSError as exc:
        print(f"{argv[1]}: {exc.strerror}", file=sys.stderr)
        return 1
    except varnok_py.ParseError as exc:
        print(f"{argv[1]}: {exc}", file=sys.stderr)
        return 1
    for lineno, message in statement.warnings:
        print(f"{argv[1]}:{lineno}: document skipped: {message}", file=sys.stderr)
    payments = []
    for document in statement.documents:
        try:
            payments.append(to_payment(document))
        except ValueError as exc:  # a year that datetime.date cannot hold (the reader takes 0000)
            print(f"{argv[1]}: document {document.doc_number} skipped: {exc}", file=sys.stderr)
    write_csv(payments, sys.stdout)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
