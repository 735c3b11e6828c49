"""`varnok check PATH...`: reads every statement and reports every read error, warning,
reconciliation finding and validation problem."""
from __future__ import annotations

import argparse
import json
import os
import sys
from collections.abc import Callable, Iterable
from typing import Any, TextIO, Union

from varnok.batch import above_progress, in_order
from varnok.cli import (EXIT_OK, EXIT_PROBLEMS, add_jobs_option, shown, shown_name, shown_utf8, statements_found,
                        stdin_dash)
from varnok.export import takes_utf8_bytes
from varnok.report import read_for_report, report_of

native_check_files: Callable[..., Any] | None = None
try:
    from varnok import _native
except ImportError:  # a build without the native module: all of it in Python
    pass
else:
    # The same escaping as a byte loop (a report of 16,000 files: 0.44 s of check's 0.97 in the regex).
    shown_utf8 = _native.shown_utf8
    if os.sep == "/" and sys.getfilesystemencoding() == "utf-8":  # it opens POSIX paths given in UTF-8
        native_check_files = _native.check_files

Text = Union[str, bytes]

# Files per call of the native check: enough that the Python work around each call
# vanishes beside the files' own; fewer towards the end (see chunked).
CHUNK = 32
# Between two files' reports: the JSON report's objects are items of one list.
SEPARATOR = {False: "", True: ",\n    "}


def configure(parser: argparse.ArgumentParser) -> None:
    parser.add_argument("paths", nargs="+", metavar="PATH", type=stdin_dash,
                        help="statement files, or folders searched recursively for *.txt (-: stdin)")
    parser.add_argument("--json", action="store_true", help="write one JSON report to stdout")
    parser.add_argument("--strict", action="store_true",
                        help="count validation problems (bad INN, KPP, BIC, account keys) as problems")
    add_jobs_option(parser)


def checker(as_json: bool, strict: bool, native: Callable[..., Any] | None
            ) -> tuple[Callable[[list[str]], Any], Callable[[Any], tuple[int, list[Text]]]]:
    """The two steps of checking a chunk of files, for in_order: the number of files not
    ok, and the chunk's reports (diagnostic lines or objects of the JSON report) as pieces
    to join with the report's separator. With `native` (varnok._native.check_files), the
    whole of a file's work runs there without the interpreter lock, so that threads check
    files in parallel on both builds, and its reports come as one piece of UTF-8 bytes; a
    file it leaves (one that does not read, or a rare text it does not render) takes the
    Python path, which words every error."""
    separator = SEPARATOR[as_json].encode()

    def first(chunk: list[str]) -> tuple[bytes, int, list[Any] | None, dict[int, Any]]:
        if native is None:
            return b"", 0, [None] * len(chunk), {i: read_for_report(path) for i, path in enumerate(chunk)}
        reports, bad, items = native(chunk, as_json, strict, separator)
        if items is None:  # every file checked there
            return reports, bad, None, {}
        return reports, bad, items, {i: read_for_report(path) for i, path in enumerate(chunk) if items[i] is None}

    def then(done: tuple[bytes, int, list[Any] | None, dict[int, Any]]) -> tuple[int, list[Text]]:
        reports, bad, items, left = done
        if items is None:
            return bad, [reports]
        bad, pieces = 0, []
        for i, item in enumerate(items):
            ok, text = python_check(left[i], as_json, strict) if item is None else (item[0], reports[item[1]:item[2]])
            bad += not ok
            pieces.append(text)
        return bad, pieces

    return first, then


def python_check(read: Any, as_json: bool, strict: bool) -> tuple[bool, str]:
    """(ok, text) of a file read by read_for_report."""
    report = report_of(read)
    if as_json:
        text = json.dumps(report.to_json(strict), ensure_ascii=False, indent=2)
        return report.ok(strict), text.replace("\n", "\n    ")  # JSON strings hold no raw line break
    return report.ok(strict), "".join(line + "\n" for line in report.diagnostics(shown_name(report.path)))


def run(args: argparse.Namespace) -> int:
    paths = statements_found(args)
    first, then = checker(args.json, args.strict, native_check_files)
    chunks = chunked(paths, args.jobs)
    checked: Iterable[tuple[int, list[Text]]] = in_order(first, chunks, args.jobs, "checking", then=then, weight=len,
                                                            own_files=args.own_process)
    out = ReportWriter(sys.stdout, as_json=args.json)
    if args.json:
        out.write('{\n  "files": [\n    ')
    bad = 0
    # Each chunk is written as soon as it and those before it are checked, while the others
    # go on with the next ones.
    for i, (chunk_bad, pieces) in enumerate(checked):
        bad += chunk_bad
        with above_progress():
            out.write_joined(SEPARATOR[args.json], pieces, lead=i > 0)
    if args.json:
        out.write("\n  ]\n}\n")
    else:
        print(f"{len(paths)} file{'s' * (len(paths) != 1)} checked: {len(paths) - bad} ok, {bad} with problems")
    return EXIT_OK if bad == 0 else EXIT_PROBLEMS


def chunked(paths: list[str], jobs: int) -> list[list[str]]:
    """`paths` in chunks of CHUNK, smaller towards the end (a quarter of what each thread
    has left), so that no thread finishes a chunk long after the others, and a few large
    statements are shared out one by one."""
    chunks, i = [], 0
    while i < len(paths):
        size = max(1, min(CHUNK, -(-(len(paths) - i) // (4 * jobs))))
        chunks.append(paths[i:i + size])
        i += size
    return chunks


class ReportWriter:
    """Writes the report's pieces to a text stream: on a UTF-8 stream with a binary buffer
    (a terminal, pipe or file), the native path's UTF-8 bytes go to the buffer as they are;
    otherwise (another encoding, an io.StringIO) they are decoded. str pieces (the Python
    path's, which may hold a file name's undecodable bytes as surrogates) go through the
    stream itself. In the text report (not `as_json`), control characters from the files
    are shown escaped (see shown)."""

    def __init__(self, out: TextIO, as_json: bool = False) -> None:
        self._out = out
        self._buffer = takes_utf8_bytes(out)
        self._as_json = as_json

    def write(self, piece: Text) -> None:
        if not self._as_json:
            piece = shown(piece) if isinstance(piece, str) else shown_utf8(piece)
        if isinstance(piece, str):
            self._out.write(piece)
        elif self._buffer is None:
            self._out.write(piece.decode())
        else:
            self._out.flush()  # what went through the stream before comes first
            self._buffer.write(piece)

    def write_joined(self, separator: str, pieces: list[Text], lead: bool) -> None:
        """separator.join(pieces), after one more separator when `lead`."""
        for i, piece in enumerate(pieces):
            if separator and (lead or i):
                self.write(separator)
            self.write(piece)

