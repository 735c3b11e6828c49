"""Repair common deviations in a statement with a section hook, before records are built.

    python3 examples/normalise_hook.py STATEMENT

Some exporters write amounts with a decimal comma or grouped digits (1 500,00) and
dates with slashes or dashes (05/01/2024). varnok_py reads the format strictly, so such
a document section is dropped with a warning and such an account section stops the
read. A hook sees every section's attributes as a dict before the section is built and
may rewrite them; this one normalises those values. The script parses the file without
and with the hook and prints what changed.
"""

import re
import sys
from pathlib import Path

import varnok_py

DOCUMENT_AMOUNTS: tuple[str, ...] = ("Сумма",)
DOCUMENT_DATES: tuple[str, ...] = ("Дата", "ДатаСписано", "ДатаПоступило")
ACCOUNT_AMOUNTS: tuple[str, ...] = ("НачальныйОстаток", "КонечныйОстаток", "ВсегоПоступило", "ВсегоСписано")
ACCOUNT_DATES: tuple[str, ...] = ("ДатаНачала", "ДатаКонца")

# Spaces used to group digits: space, no-break space, thin and narrow no-break space.
GROUPING = re.compile("[ \u00a0\u2009\u202f]")
DAY_FIRST = re.compile(r"(\d{1,2})[/-](\d{1,2})[/-](\d{4})")
YEAR_FIRST = re.compile(r"(\d{4})-(\d{1,2})-(\d{1,2})")


def normalise_amount(text: str) -> str:
    return GROUPING.sub("", text).replace(",", ".")


def normalise_date(text: str) -> str:
    if m := DAY_FIRST.fullmatch(text):
        return f"{m[1]}.{m[2]}.{m[3]}"
    if m := YEAR_FIRST.fullmatch(text):
        return f"{m[3]}.{m[2]}.{m[1]}"
    return text


def normalise(section_type: varnok_py.SectionType, attrs: dict[str, str], header: dict[str, str]) -> None:
    # SectionType members are unhashable (no dict keys), but `is` and == work.
    if section_type is varnok_py.SectionType.Document:
        amounts, dates = DOCUMENT_AMOUNTS, DOCUMENT_DATES
    else:
        amounts, dates = ACCOUNT_AMOUNTS, ACCOUNT_DATES
    # Assigning to an existing key keeps its position; only values change here.
    for key in amounts:
        if key in attrs:
            attrs[key] = normalise_amount(attrs[key])
    for key in dates:
        if key in attrs:
            attrs[key] = normalise_date(attrs[key])


def main(argv: list[str]) -> int:
    if len(argv) != 2:
        print(__doc__, file=sys.stderr)
        return 2
    try:
        data = Path(argv[1]).read_bytes()
    except OSError as exc:
        print(f"{argv[1]}: {exc.strerror}", file=sys.stderr)
        return 1
    try:
        strict = varnok_py.parse(data)
        print(f"without the hook: documents {len(strict.documents)}, warnings {len(strict.warnings)}")
    except varnok_py.ParseError as exc:
        print(f"without the hook: {exc}")
    try:
        repaired = varnok_py.parse(data, hooks=[normalise])
    except varnok_py.ParseError as exc:
        print(f"with the hook: {exc}")
        return 1
    print(f"with the hook: documents {len(repaired.documents)}, warnings {len(repaired.warnings)}")
    for document in repaired.documents:
        print(f"  {document.doc_date}  {document.amount:>14}  {document.doc_type} {document.doc_number}")
    for lineno, message in repaired.warnings:
        print(f"  line {lineno}: {message}")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
