"""Helpers for the varnok package's tests: small made-up statements with valid requisites."""
import sys
from pathlib import Path

import pytest

REPO = Path(__file__).resolve().parents[2]
sys.path.insert(0, str(REPO / "python" / "tests"))

from statements import account_section, document_section, statement_text  # noqa: E402

OWN = "40702810938000000001"      # at BIC 044525225
OTHER = "40817810600000000002"    # at BIC 044525593
THIRD = "40702810300000000003"    # at BIC 044525187
SAMPLES = REPO.parent / "shared" / "samples" / "real"
HEADER = {"ВерсияФормата": "1.03", "Кодировка": "Windows", "РасчСчет": OWN}


def document(number="1", amount="100.00", date="05.03.2024", payer=OTHER, payee=OWN, **extra):
    fields = {
        "Номер": number, "Дата": date, "Сумма": amount, "НазначениеПлатежа": f"Оплата {number}",
        "ПлательщикСчет": payer, "ПлательщикИНН": "7728168971", "ПлательщикКПП": "770801001",
        "ПлательщикБИК": "044525593" if payer == OTHER else "044525225" if payer == OWN else "044525187",
        "ПлательщикБанк1": "Банк А",
        "ПолучательСчет": payee, "ПолучательИНН": "7707083893", "ПолучательКПП": "773601001",
        "ПолучательБИК": "044525225" if payee == OWN else "044525593" if payee == OTHER else "044525187",
        "ПолучательБанк1": "Банк Б",
    }
    fields.update(extra)
    return document_section({k: v for k, v in fields.items() if v is not None})


def account(start="01.03.2024", end="31.03.2024", opening="1000.00", income=None, expense=None, closing=None,
            number=OWN):
    fields = {"ДатаНачала": start, "ДатаКонца": end, "РасчСчет": number, "НачальныйОстаток": opening,
              "ВсегоПоступило": income, "ВсегоСписано": expense, "КонечныйОстаток": closing}
    return account_section({k: v for k, v in fields.items() if v is not None})


def statement(*sections, header=None):
    return statement_text(*sections, header=HEADER if header is None else header)


def clean_statement():
    """One account, two documents, totals that add up, every requisite valid."""
    return statement(
        account(income="250.00", expense="40.50", closing="1209.50"),
        document("1", "250.00", payer=OTHER, payee=OWN),
        document("2", "40.50", payer=OWN, payee=THIRD),
    )


@pytest.fixture
def write_file(tmp_path):
    def write(name, text, encoding="cp1251"):
        path = tmp_path / name
        path.parent.mkdir(parents=True, exist_ok=True)
        path.write_bytes(text.encode(encoding) if isinstance(text, str) else text)
        return path

    return write
