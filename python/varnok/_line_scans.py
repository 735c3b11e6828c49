"""Where things are in a statement's own bytes, found by scanning its lines: the header's
lines as the file has them (a key given twice kept), and the line each document section
starts on; what the reader's records do not keep."""
from __future__ import annotations

import re
from collections.abc import Iterator
from typing import TYPE_CHECKING

from varnok._white_space import WHITE_SPACE, white_run
from varnok._write_encoding import CP1251_ERRORS

if TYPE_CHECKING:
    import varnok_py


def header_lines(data: bytes | str, statement: varnok_py.Statement) -> list[tuple[str, str]]:
    """The header's key=value lines of `data` (as read into `statement`) in file order,
    trimmed as the reader trims them: a key given twice (a statement of several accounts
    lists each with РасчСчет) is there twice, where the header dict keeps its last value.
    The header dict's items when the two do not agree."""
    data, encoding = scanned_bytes(data, statement)
    section = _FIRST_SECTION[encoding].search(data)
    head = data[:section.start() if section else len(data)].decode(encoding, DECODE_ERRORS[encoding])
    pairs = []
    for line in head.split("\n")[1:]:  # (line 1 is the marker)
        key, equals, value = line.partition("=")
        if equals:
            pairs.append((key.strip(WHITE_SPACE), value.strip(WHITE_SPACE)))
    header = list(statement.header.items())
    return pairs if list(dict(pairs).items()) == header else header


# The scans' patterns are written as str and encoded whole (the format's words hold no
# character a pattern treats specially).
def _markers_pattern(encoding: str) -> re.Pattern[bytes]:
    white = white_run(encoding)
    return re.compile(
        f"(?m)^{white}(?:(СекцияДокумент){white}=|(КонецДокумента){white}$|(КонецФайла){white}$)".encode(encoding))


_PATTERNS = {"cp1251": _markers_pattern("cp1251"), "utf-8": _markers_pattern("utf-8")}


def _first_section_pattern(encoding: str) -> re.Pattern[bytes]:
    white = white_run(encoding)
    return re.compile(f"(?m)^{white}(?:СекцияРасчСчет{white}$|СекцияДокумент{white}=)".encode(encoding))


_FIRST_SECTION = {"cp1251": _first_section_pattern("cp1251"), "utf-8": _first_section_pattern("utf-8")}


def _account_dates_pattern(encoding: str) -> re.Pattern[bytes]:
    # An account section's start (1), its end (2), or one of its dates (3).
    white = white_run(encoding)
    return re.compile(f"(?m)^{white}(?:(СекцияРасчСчет){white}$|(КонецРасчСчет){white}$"
                      f"|(?:ДатаНачала|ДатаКонца){white}=([^\n]*))".encode(encoding))


_ACCOUNT_DATES = {"cp1251": _account_dates_pattern("cp1251"), "utf-8": _account_dates_pattern("utf-8")}


def bad_account_date_line(data: bytes | str, statement: varnok_py.Statement) -> int | None:
    """The start line of the first account section with a date whose year datetime.date
    cannot hold (the reader's dates are day.month.year), or None."""
    data, encoding = scanned_bytes(data, statement)
    start: int | None = None
    for line, match in numbered_matches(_ACCOUNT_DATES[encoding], data):
        if match.group(1) or match.group(2):
            start = line if match.group(1) else None
        elif start is not None:
            numbers = re.findall(rb"[-+]?[0-9]+", match.group(3))  # (a year may have a sign)
            if len(numbers) == 3 and not 1 <= int(numbers[2]) <= 9999:
                return start
    return None


def scanned_bytes(data: bytes | str, statement: varnok_py.Statement) -> tuple[bytes, str]:
    """What a scan of the lines of `data` (as read into `statement`) looks at: bytes in
    "cp1251" or "utf-8", and which."""
    if isinstance(data, bytes) and data.startswith((b"\xff\xfe", b"\xfe\xff")):
        data = data.decode("utf-16", "replace")  # read as UTF-16 with its byte-order mark
    if isinstance(data, str):
        return data.encode("utf-8", "surrogatepass"), "utf-8"
    return data, statement.encoding


# How a scan decodes the texts it takes from a statement's bytes, as the reader would.
DECODE_ERRORS = {"cp1251": CP1251_ERRORS, "utf-8": "replace"}


def numbered_matches(pattern: re.Pattern[bytes], data: bytes) -> Iterator[tuple[int, re.Match[bytes]]]:
    """Each match of the line pattern `pattern` in `data`, with the number of its line."""
    line, counted = 1, 0
    for match in pattern.finditer(data):
        line += data.count(b"\n", counted, match.start())
        counted = match.start()
        yield line, match


def section_lines(data: bytes | str, statement: varnok_py.Statement) -> list[int | None]:
    """The start line of each built document section of `data`, in order: the document
    sections found by their start and end lines, less those dropped with a warning (whose
    line is the section's end). None for all when the two do not line up."""
    data, encoding = scanned_bytes(data, statement)
    dropped = {line for line, _ in statement.warnings}
    lines: list[int | None] = []
    start: int | None = None
    for line, match in numbered_matches(_PATTERNS[encoding], data):
        if match.group(1):
            start = line
        elif match.group(2):
            if start is not None and line not in dropped:
                lines.append(start)
            start = None
        else:
            break
    if len(lines) != len(statement.documents):
        return [None] * len(statement.documents)
    return lines
