"""Builders of small statement texts for the tests."""


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
