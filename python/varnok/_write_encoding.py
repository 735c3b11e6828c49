"""How the writer's text becomes bytes that the reader decodes back to that text:
windows-1251 as the reader decodes it, and the reader's test of windows-1251 bytes."""
from __future__ import annotations

import codecs
import re
import unicodedata
from collections.abc import Callable

from varnok._write_values import Problem

# The reader takes bytes that are not UTF-8 for windows-1251 text only when at most 4 % of
# the first 20,480 characters are controls or characters between U+0080 and U+03FF. (It
# never takes what is written here for UTF-8: the bytes of КонецФайла are not UTF-8.)
NOT_PLAIN = re.compile("[^\t\n\x0c\r\x20-\x7e\u0400-\U0010ffff]")
PLAUSIBLE_SPAN = 20480
PLAUSIBLE_PERCENT = 96

# A check of one written text: raises Problem when the text is at fault.
Check = Callable[[str], None]


def encode(text: str, encoding: str, locate: Callable[[Check], None]) -> bytes:
    """text in encoding ("cp1251" or "utf-8"). When the bytes would not read back as text,
    calls locate(check), which raises the error of the first written text check refuses;
    the statement-wide WriteError message comes back as a Problem when locate finds none."""
    try:
        data = text.encode(encoding, CP1251_ERRORS)
    except UnicodeEncodeError:
        locate(_encodable(encoding))
        raise
    if encoding == "utf-8":
        return data
    head = text[:PLAUSIBLE_SPAN]
    odd = len(NOT_PLAIN.findall(head))
    if (len(head) - odd) * 100 // len(head) < PLAUSIBLE_PERCENT:
        problem = (f"{odd} of the first {len(head)} characters are controls or symbols between U+0080 and U+03FF, "
                   f"so the reader would not take the windows-1251 file for text (at most 4 % may be); "
                   f"write UTF-8 instead")

        def plain(value: str) -> None:
            found = NOT_PLAIN.search(value)
            if found:
                raise Problem(f"holds {describe(found.group())}; {problem}")

        locate(plain)
        raise Problem(problem)
    return data


def describe(char: str) -> str:
    name = unicodedata.name(char, "")
    return f"U+{ord(char):04X}" + (f" {name}" if name else "") + (f" ({char})" if char.isprintable() else "")


def _encodable(encoding: str) -> Check:
    lacks = "which windows-1251 cannot encode; write UTF-8 instead" if encoding == "cp1251" else \
        "a lone surrogate, which UTF-8 cannot hold"

    def check(value: str) -> None:
        try:
            value.encode(encoding, CP1251_ERRORS)
        except UnicodeEncodeError as exc:
            raise Problem(f"holds {describe(value[exc.start])}, {lacks}") from None

    return check


def _cp1251_errors(exc: UnicodeError) -> tuple[str | bytes, int]:
    # The reader decodes byte 0x98, unassigned in the code page, as U+0098, so that is how it is written.
    if isinstance(exc, UnicodeEncodeError) and exc.object[exc.start] == "\x98":
        end = exc.start
        while end < exc.end and exc.object[end] == "\x98":
            end += 1
        return b"\x98" * (end - exc.start), end
    if isinstance(exc, UnicodeDecodeError) and exc.object[exc.start] == 0x98:
        return "\x98", exc.start + 1
    raise exc


CP1251_ERRORS = "varnok.cp1251"
codecs.register_error(CP1251_ERRORS, _cp1251_errors)
# The characters of the bytes 0x80..0xFF as the reader decodes them.
CP1251_HIGH = bytes(range(0x80, 0x100)).decode("cp1251", CP1251_ERRORS)
