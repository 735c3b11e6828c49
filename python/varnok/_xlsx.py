"""A minimal xlsx (SpreadsheetML) writer for one sheet of texts, exact numbers and dates.
Numbers are written as their decimal text, so an amount never passes through float."""
from __future__ import annotations

import datetime
import os
import re
import stat
import zipfile
from collections.abc import Callable, Iterable, Sequence
from decimal import Decimal
from typing import IO, Any
from xml.sax.saxutils import escape

# A date's day number counts from here from 1900-03-01 on; the spreadsheet also counts a
# 29 February 1900 that never was, so the days of 1900 before it are one less.
_EPOCH = datetime.date(1899, 12, 30)
# The rows a sheet holds, its header's among them: spreadsheet programs load no more.
MAX_ROWS = 1_048_576


# The characters (UTF-16 code units) a cell holds: spreadsheet programs cut or refuse longer.
MAX_CELL = 32_767


class CellTooLong(ValueError):
    """An export with a text longer than a cell holds; nothing is written."""

    def __init__(self, source: str | None, line: int | None, column: str, length: int) -> None:
        self.source, self.line, self.column, self.length = source, line, column, length
        super().__init__(self.located(source))

    def located(self, name: str | None) -> str:
        """The message with the file shown as `name`."""
        origin = f"{name or '<input>'}:{self.line}: " if self.line else f"{name}: " if name else ""
        return (f"{origin}{self.column} holds {self.length:,} characters, and a spreadsheet cell at most "
                f"{MAX_CELL:,}: use CSV or JSON Lines")

    def __reduce__(self) -> tuple[Any, ...]:
        return type(self), (self.source, self.line, self.column, self.length)


def utf16_length(text: str) -> int:
    return len(text.encode("utf-16-le", "surrogatepass")) // 2


class TooManyRows(ValueError):
    """An export with more rows than a sheet holds; nothing is written."""

    def __init__(self, rows: int) -> None:
        super().__init__(f"a sheet holds at most {MAX_ROWS - 1:,} rows under its header, and this export"
                         f" has {rows:,}: use CSV or JSON Lines, or fewer files")
        self.rows = rows

    def __reduce__(self) -> tuple[Any, ...]:
        return type(self), (self.rows,)  # (crosses processes as itself)


# Characters XML 1.0 cannot hold are written the way spreadsheet programs escape them.
_ILLEGAL = re.compile("[\x00-\x08\x0b\x0c\x0e-\x1f\ufffe\uffff]|_(?=x[0-9A-Fa-f]{4}_)")

_CONTENT_TYPES = """<?xml version="1.0" encoding="UTF-8" standalone="yes"?>
<Types xmlns="http://schemas.openxmlformats.org/package/2006/content-types">
<Default Extension="rels" ContentType="application/vnd.openxmlformats-package.relationships+xml"/>
<Default Extension="xml" ContentType="application/xml"/>
<Override PartName="/xl/workbook.xml" ContentType="application/vnd.openxmlformats-officedocument.spreadsheetml.sheet.main+xml"/>
<Override PartName="/xl/worksheets/sheet1.xml" ContentType="application/vnd.openxmlformats-officedocument.spreadsheetml.worksheet+xml"/>
<Override PartName="/xl/styles.xml" ContentType="application/vnd.openxmlformats-officedocument.spreadsheetml.styles+xml"/>
</Types>"""
_ROOT_RELS = """<?xml version="1.0" encoding="UTF-8" standalone="yes"?>
<Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships">
<Relationship Id="rId1" Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/officeDocument" Target="xl/workbook.xml"/>
</Relationships>"""
_WORKBOOK = """<?xml version="1.0" encoding="UTF-8" standalone="yes"?>
<workbook xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main" xmlns:r="http://schemas.openxmlformats.org/officeDocument/2006/relationships">
<sheets><sheet name="{name}" sheetId="1" r:id="rId1"/></sheets>
</workbook>"""
_WORKBOOK_RELS = """<?xml version="1.0" encoding="UTF-8" standalone="yes"?>
<Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships">
<Relationship Id="rId1" Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/worksheet" Target="worksheets/sheet1.xml"/>
<Relationship Id="rId2" Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/styles" Target="styles.xml"/>
</Relationships>"""
# Style 0: general; style 1: the built-in date format (numFmtId 14).
_STYLES = """<?xml version="1.0" encoding="UTF-8" standalone="yes"?>
<styleSheet xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main">
<fonts count="1"><font><sz val="11"/><name val="Calibri"/></font></fonts>
<fills count="1"><fill><patternFill patternType="none"/></fill></fills>
<borders count="1"><border/></borders>
<cellStyleXfs count="1"><xf numFmtId="0" fontId="0" fillId="0" borderId="0"/></cellStyleXfs>
<cellXfs count="2"><xf numFmtId="0" fontId="0" fillId="0" borderId="0" xfId="0"/><xf numFmtId="14" fontId="0" fillId="0" borderId="0" xfId="0" applyNumberFormat="1"/></cellXfs>
<cellStyles count="1"><cellStyle name="Normal" xfId="0" builtinId="0"/></cellStyles>
</styleSheet>"""


def _column_letters(count: int) -> list[str]:
    letters = []
    for i in range(count):
        name, n = "", i + 1
        while n:
            n, r = divmod(n - 1, 26)
            name = chr(65 + r) + name
        letters.append(name)
    return letters


def _text(value: str) -> str:
    # A CR as a character reference: as itself, a reader of the XML would give LF for it.
    return escape(_ILLEGAL.sub(lambda m: f"_x{ord(m.group()):04X}_", value), {"\r": "&#13;"})


def _cell(ref: str, value: Any) -> str:
    if value is None:
        return ""
    if isinstance(value, bool):
        return f'<c r="{ref}" t="b"><v>{int(value)}</v></c>'
    if isinstance(value, (int, Decimal)):
        return f'<c r="{ref}"><v>{value:f}</v></c>' if isinstance(value, Decimal) else f'<c r="{ref}"><v>{value}</v></c>'
    if isinstance(value, datetime.date):
        days = (value - _EPOCH).days
        serial = days - 1 if days < 61 else days  # (see _EPOCH)
        if serial < 1:  # before 1900, which a spreadsheet has no day for: the date's text
            return _cell(ref, value.isoformat())
        return f'<c r="{ref}" s="1"><v>{serial}</v></c>'
    return f'<c r="{ref}" t="inlineStr"><is><t xml:space="preserve">{_text(str(value))}</t></is></c>'


def write_xlsx(out: IO[bytes], header: Sequence[str], rows: Iterable[Sequence[Any]], sheet: str = "Sheet1") -> None:
    """Writes one sheet: `header` in row 1, then `rows`. A cell is a str (text),
    int or Decimal (a number, written exactly), datetime.date (a date) or None (empty)."""
    letters = _column_letters(len(header))

    def sheet_data(f: IO[bytes]) -> None:
        rest = iter(rows)
        for number, row in enumerate(_chain(header, rest), 1):
            if number > MAX_ROWS:
                raise TooManyRows(number - 1 + sum(1 for _ in rest))
            _check_lengths(header, row)
            f.write(_row(letters, number, row))

    _write_workbook(out, sheet, sheet_data)


def _check_lengths(header: Sequence[str], row: Sequence[Any]) -> None:
    for name, value in zip(header, row):
        if isinstance(value, str) and len(value) > MAX_CELL // 2 and utf16_length(value) > MAX_CELL:
            # (a row of a statement's document or interval starts with its file and line)
            line = row[1] if len(row) > 1 and isinstance(row[1], int) else None
            raise CellTooLong(row[0] if isinstance(row[0], str) else None, line, name, utf16_length(value))


def write_xlsx_rows(out: IO[bytes], header: Sequence[str], rows: Iterable[Any], count: int,
                    sheet: str = "Sheet1") -> None:
    """write_xlsx with the `count` rows after the header given as the sheet's own XML, in
    bytes-like pieces that each hold whole rows numbered from 2 (the native export's)."""
    if count >= MAX_ROWS:
        raise TooManyRows(count)

    def sheet_data(f: IO[bytes]) -> None:
        f.write(_row(_column_letters(len(header)), 1, header))
        for piece in rows:
            f.write(piece)

    _write_workbook(out, sheet, sheet_data)


def _row(letters: Sequence[str], number: int, row: Sequence[Any]) -> bytes:
    cells = "".join(_cell(f"{letter}{number}", value) for letter, value in zip(letters, row))
    return f'<row r="{number}">{cells}</row>'.encode()


def _write_workbook(out: IO[bytes], sheet: str, sheet_data: Callable[[IO[bytes]], None]) -> None:
    with zipfile.ZipFile(_zip_output(out), "w", compression=zipfile.ZIP_DEFLATED) as z:
        z.writestr(_entry("[Content_Types].xml"), _CONTENT_TYPES)
        z.writestr(_entry("_rels/.rels"), _ROOT_RELS)
        z.writestr(_entry("xl/workbook.xml"), _WORKBOOK.format(name=escape(sheet, {'"': "&quot;"})))
        z.writestr(_entry("xl/_rels/workbook.xml.rels"), _WORKBOOK_RELS)
        z.writestr(_entry("xl/styles.xml"), _STYLES)
        with z.open(_entry("xl/worksheets/sheet1.xml"), "w", force_zip64=True) as f:
            f.write(
                b'<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\n'
                b'<worksheet xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main"><sheetData>'
            )
            sheet_data(f)
            f.write(b"</sheetData></worksheet>")


def _entry(name: str) -> zipfile.ZipInfo:
    """An archive entry stamped with a fixed time, not the clock's (which zipfile takes for a
    name alone): the same table gives the same bytes, for checksums and caches."""
    entry = zipfile.ZipInfo(name, date_time=(1980, 1, 1, 0, 0, 0))
    entry.compress_type = zipfile.ZIP_DEFLATED
    entry.external_attr = 0o600 << 16
    return entry


def _chain(first: Sequence[Any], rest: Iterable[Sequence[Any]]) -> Iterable[Sequence[Any]]:
    yield first
    yield from rest


def _zip_output(out: IO[bytes]) -> Any:
    """`out` for zipfile, which seeks back to fill in sizes wherever the output says it can
    seek. A device such as /dev/null says so but keeps no position (the archive's offsets
    came out negative and zipfile failed at its end), so anything that is not a regular
    file is written as a stream, as zipfile writes to a pipe."""
    try:
        regular = stat.S_ISREG(os.fstat(out.fileno()).st_mode)
    except (AttributeError, OSError, ValueError):  # an in-memory file: it keeps positions
        return out
    return out if regular else _Stream(out)


class _Stream:
    """Only write and flush: zipfile then counts the bytes itself and seeks nowhere."""

    def __init__(self, out: IO[bytes]) -> None:
        self._out = out

    def write(self, data: bytes) -> int:
        return self._out.write(data)

    def flush(self) -> None:
        self._out.flush()
