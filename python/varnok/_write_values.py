"""How the writer turns one value into statement text: texts checked against what the
reader would trim or split, dates as dd.mm.yyyy, amounts as exact decimal text."""
from __future__ import annotations

import re
from datetime import date, datetime
from decimal import Decimal

from varnok._white_space import WHITE_SPACE

DOCUMENT_MARKER = "СекцияДокумент"

# The reader's date range and its amount: a 96-bit mantissa with at most 28 digits after the point.
YEAR_MIN, YEAR_MAX = -262143, 262142
MANTISSA_MAX = 2**96 - 1
SCALE_MAX = 28

_ISO_DATE = re.compile(r"([+-][0-9]{4,}|[0-9]{4})-([0-9]{2})-([0-9]{2})", re.ASCII)
_DECIMAL_TEXT = re.compile(r"[+-]?(?:[0-9]+(?:\.[0-9]*)?|\.[0-9]+)", re.ASCII)


class Problem(Exception):
    """Why a value cannot be written; the writer adds where the value stands."""


def text(value: object) -> str:
    """Returns value when the reader would read it back unchanged as one value; else Problem."""
    if not isinstance(value, str):
        raise Problem(f"expected text (str), got {type(value).__name__}")
    if "\n" in value:
        raise Problem("contains a line break (LF), which would end the line")
    if value and (value[0] in WHITE_SPACE or value[-1] in WHITE_SPACE):
        where, char = ("starts", value[0]) if value[0] in WHITE_SPACE else ("ends", value[-1])
        raise Problem(f"{where} with white space (U+{ord(char):04X}), which the reader trims")
    return value


def key(value: object) -> str:
    """A header key: a text without '=' that does not read as a document start."""
    key_text = text(value)
    if "=" in key_text:
        raise Problem("contains '=', which would end the key there")
    if key_text == DOCUMENT_MARKER:
        raise Problem(f"is {DOCUMENT_MARKER}, so the line would start a document section")
    return key_text


def days_in_month(year: int, month: int) -> int:
    """Proleptic Gregorian, year 0 and negative years included."""
    if month == 2:
        return 29 if year % 4 == 0 and (year % 100 != 0 or year % 400 == 0) else 28
    return 30 if month in (4, 6, 9, 11) else 31


def date_text(value: object) -> str:
    """A date (datetime.date, or year-month-day text as varnok_py gives it) as dd.mm.yyyy."""
    if isinstance(value, datetime):
        raise Problem("a datetime carries a time of day, which the format has no place for; give a date")
    if isinstance(value, date):
        year, month, day = value.year, value.month, value.day
    elif isinstance(value, str):
        match = _ISO_DATE.fullmatch(value)
        if match is None:
            raise Problem(f"{value!r} is not a date (YYYY-MM-DD)")
        year, month, day = (int(part) for part in match.groups())
        if not (1 <= month <= 12 and 1 <= day <= days_in_month(year, month)):
            raise Problem(f"{value!r} is not a day of the calendar")
        if not YEAR_MIN <= year <= YEAR_MAX:
            raise Problem(f"year {year} is outside the years the reader accepts ({YEAR_MIN} to {YEAR_MAX})")
    else:
        raise Problem(f"expected a date (datetime.date or YYYY-MM-DD text), got {type(value).__name__}")
    # Years outside 0..9999 carry their sign: the reader then takes any number of digits.
    year_text = f"{year:04d}" if 0 <= year <= 9999 else f"{year:+05d}"
    return f"{day:02d}.{month:02d}.{year_text}"


def amount_text(value: object) -> str:
    """An amount (Decimal, int or decimal text) as plain decimal text with its scale kept."""
    if isinstance(value, str):
        if _DECIMAL_TEXT.fullmatch(value) is None:
            raise Problem(f"{value!r} is not a decimal amount (digits, an optional sign and one '.')")
        value = Decimal(value)
    elif isinstance(value, bool) or isinstance(value, float):
        raise Problem(f"a {type(value).__name__} cannot hold an amount exactly; give a Decimal or decimal text")
    elif isinstance(value, int):
        value = Decimal(value)
    elif not isinstance(value, Decimal):
        raise Problem(f"expected an amount (Decimal or decimal text), got {type(value).__name__}")
    if not value.is_finite():
        raise Problem(f"{value} is not an amount")
    # Refused by its parts before it is spelled out: 1E+999999999 would take a gigabyte.
    _, parts, exponent = value.as_tuple()
    if -int(exponent) > SCALE_MAX:
        raise Problem(f"{value} has {-int(exponent)} digits after the point; "
                      f"the reader keeps {SCALE_MAX} and would round the rest")
    if any(parts) and len(parts) + max(int(exponent), 0) > len(str(MANTISSA_MAX)):
        raise Problem(f"{value} has more digits than the reader's 96-bit amounts hold")
    written = format(value, "f")  # exact: positional notation, the scale as the exponent gives it
    units = int(written.lstrip("-").replace(".", ""))  # (29 digits at most, checked above)
    if units > MANTISSA_MAX:
        raise Problem(f"{value} has more digits than the reader's 96-bit amounts hold")
    if units == 0:
        written = written.lstrip("-")  # the reader never reads a negative zero
    return written
