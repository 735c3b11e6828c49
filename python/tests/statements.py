"""Builders of small statement texts for the tests, and a document with every required key."""

DOCUMENT = {
    "Номер": "17",
    "Дата": "05.01.2024",
    "Сумма": "1500.00",
    "ПлательщикСчет": "40702810000000000002",
    "Плательщик": "ООО Ромашка",
    "ПлательщикИНН": "7700000001",
    "ПлательщикБИК": "044525225",
    "ПлательщикБанк1": "ПАО Сбербанк",
    "ПолучательСчет": "40702810000000000001",
    "ПолучательИНН": "7700000002",
    "ПолучательБИК": "044525974",
    "ПолучательБанк1": "АО Банк",
    "НазначениеПлатежа": "Оплата по счёту 5",
}


def account_section(fields):
    return ["СекцияРасчСчет", *(f"{k}={v}" for k, v in fields.items()), "КонецРасчСчет"]


def document_section(fields, kind="Платежное поручение"):
    return [f"СекцияДокумент={kind}", *(f"{k}={v}" for k, v in fields.items()), "КонецДокумента"]


def statement_text(*sections, header):
    """The marker, the header lines, the sections and the end marker, LF-terminated."""
    lines = ["1CClientBankExchange", *(f"{k}={v}" for k, v in header.items())]
    for section in sections:
        lines += section
    lines.append("КонецФайла")
    return "\n".join(lines) + "\n"
