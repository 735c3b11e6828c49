"""What the reader trims from both ends of every line, key and value: Unicode White_Space,
as a str and as a pattern for scans of a statement's bytes."""
from __future__ import annotations

WHITE_SPACE = (
    "\t\n\x0b\x0c\r \x85\xa0\u1680\u2000\u2001\u2002\u2003\u2004\u2005\u2006\u2007\u2008"
    "\u2009\u200a\u2028\u2029\u202f\u205f\u3000"
)


def white_run(encoding: str) -> str:
    """A regular expression for a run of White_Space within a line of text in `encoding`
    ("cp1251" or "utf-8"), written as str, for a pattern that is encoded as a whole: a
    character of several bytes is an alternative of its own, not a member of a class. The
    run is possessive: what follows it starts after the last blank, and a scan never tries
    each shorter run (on a long blank line that was quadratic)."""
    wide = [c for c in WHITE_SPACE if c not in " \t\n\x0b\x0c\r" and _encodable(c, encoding)]
    return "(?:[ \t\x0b\x0c\r]" + "".join("|" + c for c in wide) + ")*+"


def _encodable(char: str, encoding: str) -> bool:
    try:
        char.encode(encoding)
    except UnicodeEncodeError:
        return False
    return True
