"""What the reader passes over, found in the statement's bytes, so that a statement written
again keeps it: the keys of document sections that varnok_py does not read (a bank's own
additions, such as КвитанцияДата or УсловиеОплаты1); and, as they cannot be kept, the lines
of account sections whose keys are no account field."""
from __future__ import annotations

import re
from typing import Any, NamedTuple

from varnok._fields import ACCOUNT_NUMBER, DOCUMENT_FIELDS, INTERVAL_FIELDS
from varnok._white_space import WHITE_SPACE, white_run
from varnok._write_values import DOCUMENT_MARKER
from varnok._line_scans import DECODE_ERRORS, numbered_matches, scanned_bytes

Pairs = tuple[tuple[str, str], ...]

_READ_KEYS = frozenset(field.key for field in DOCUMENT_FIELDS)
_ACCOUNT_KEYS = frozenset(field.key for field in (ACCOUNT_NUMBER, *INTERVAL_FIELDS))


def _alternatives(words: list[str]) -> str:
    """A regular expression matching exactly `words`, as a tree of their common prefixes
    (a flat alternation of 54 keys, tried at every line, took twice as long)."""
    groups: dict[str, list[str]] = {}
    for word in words:
        groups.setdefault(word[:1], []).append(word[1:])
    branches = [re.escape(first) + _alternatives(rest) for first, rest in sorted(groups.items()) if first]
    if "" in groups:
        branches.append("")
    return branches[0] if len(branches) == 1 else "(?:" + "|".join(branches) + ")"


def _pattern(encoding: str) -> re.Pattern[bytes]:
    # Line by line: a document's start (1), its end (2), the file's end (3), or a line
    # "key=value" (4, 5) whose key is no document field, so that only those reach Python.
    white = white_run(encoding)
    known = _alternatives(sorted(_READ_KEYS | {DOCUMENT_MARKER}))
    return re.compile(
        f"(?m)^{white}(?:({DOCUMENT_MARKER}){white}=|(КонецДокумента){white}$|(КонецФайла){white}$"
        f"|(?!{known}{white}=)([^\n=]*)=([^\n]*))".encode(encoding))


_PATTERNS = {"cp1251": _pattern("cp1251"), "utf-8": _pattern("utf-8")}


def _account_pattern(encoding: str) -> re.Pattern[bytes]:
    # An account section's start (1), its end (2), or a line "key=" (3) whose key is no
    # account field.
    white = white_run(encoding)
    known = _alternatives(sorted(_ACCOUNT_KEYS))
    return re.compile(f"(?m)^{white}(?:(СекцияРасчСчет){white}$|(КонецРасчСчет){white}$"
                      f"|(?!{known}{white}=)([^\n=]*)=)".encode(encoding))


_ACCOUNT_PATTERNS = {"cp1251": _account_pattern("cp1251"), "utf-8": _account_pattern("utf-8")}


ACCOUNT_KEY_LOST = "{key}: an account section's key that varnok does not read, so not written"


class Unread(NamedTuple):
    """What a statement written from the reader's view would lose beyond its header (whose
    lines _line_scans.header_lines finds), and how much of it the writer can keep."""
    documents: list[Pairs] | None  # unread_keys
    account_lines: list[tuple[int, str]]  # unkept_account_keys


def unread(data: bytes | str, statement: Any) -> Unread:
    return Unread(unread_keys(data, statement), unkept_account_keys(data, statement))


def unkept_account_keys(data: bytes | str, statement: Any) -> list[tuple[int, str]]:
    """(line, key) of each line of an account section whose key is no account field: the
    reader keeps only the fields of an account section, so a statement written again lacks
    these."""
    data, encoding = scanned_bytes(data, statement)
    found = []
    inside = False
    line, counted = 1, 0
    for match in _ACCOUNT_PATTERNS[encoding].finditer(data):  # (every document line too)
        if match.group(1) or match.group(2):
            inside = bool(match.group(1))
        elif inside:
            key = match.group(3).decode(encoding, DECODE_ERRORS[encoding]).strip(WHITE_SPACE)
            if key not in _ACCOUNT_KEYS:  # (lines counted only for these, which are few)
                line += data.count(b"\n", counted, match.start())
                counted = match.start()
                found.append((line, key))
    return found


def unread_keys(data: bytes | str, statement: Any) -> list[Pairs] | None:
    """For each document of `statement` (a varnok_py.Statement read from `data`), in order,
    the (key, value) pairs of its section whose keys are not document fields, trimmed as
    the reader trims them; None when the sections found do not line up with the documents."""
    data, encoding = scanned_bytes(data, statement)
    errors = DECODE_ERRORS[encoding]
    dropped = {line for line, _ in statement.warnings}
    found: list[Pairs] = []
    pairs: list[tuple[str, str]] | None = None  # while in a document section
    for line, match in numbered_matches(_PATTERNS[encoding], data):
        if match.group(1):
            pairs = []
        elif match.group(2):
            if pairs is not None and line not in dropped:
                found.append(tuple(pairs))
            pairs = None
        elif match.group(3):
            break
        elif pairs is not None:  # (else a header or account line)
            key = match.group(4).decode(encoding, errors).strip(WHITE_SPACE)
            if key not in _READ_KEYS:  # (one behind white space the pattern does not skip)
                pairs.append((key, match.group(5).decode(encoding, errors).strip(WHITE_SPACE)))
    return found if len(found) == len(statement.documents) else None
