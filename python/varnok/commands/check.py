"""`varnok check PATH...`: reads every statement and reports every read error, warning,
reconciliation finding and validation problem."""
from __future__ import annotations

import argparse
import codecs
import json
import os
import sys
from collections.abc import Callable
from typing import Any, TextIO, Union

from varnok.batch import find_statements, run_all
from varnok.cli import EXIT_OK, EXIT_PROBLEMS, add_jobs_option
from varnok.report import read_for_report, report_of

try:
    from varnok._native import check_files as native_check_files
except ImportError:  # a build without the native module: all of it in Python
    native_check_files = None
if os.sep != "/" or sys.getfilesystemencoding() != "utf-8":
    native_check_files = None  # it opens POSIX paths given in UTF-8

Text = Union[str, bytes]

# Files per call of the native check: few enough that the threads share the work evenly,
# enough that the pool's per-item overhead vanishes beside the files' own.
CHUNK = 32


def configure(parser: argparse.ArgumentParser) -> None:
    parser.add_argument("paths", nargs="+", metavar="PATH",
                        help="statement files, or folders searched recursively for *.txt")
    parser.add_argument("--json", action="store_true", help="write one JSON report to stdout")
    parser.add_argument("--strict", action="store_true",
                        help="count validation problems (bad INN, KPP, BIC, account keys) as problems")
    add_jobs_option(parser)


def checker(as_json: bool, strict: bool, native: Callable[..., Any] | None
            ) -> tuple[Callable[[list[str]], list[Any]], Callable[[list[Any]], list[tuple[bool, Text]]]]:
    """The two steps of checking a chunk of files, for run_all: per file (ok, text), where
    text is its diagnostic lines or its object of the JSON report (UTF-8 bytes from the
    native path, str from the Python path). With `native`
    (varnok._native.check_files), the whole of a file's work runs there without the
    interpreter lock, so that threads check files in parallel on both builds; a file it
    leaves (one that does not read, or a rare text it does not render) takes the Python
    path, which words every error."""
    def first(chunk: list[str]) -> list[Any]:
        if native is None:
            return [read_for_report(path) for path in chunk]
        done = native(chunk, as_json, strict)
        return [read_for_report(path) if d is None else d for d, path in zip(done, chunk, strict=True)]

    def then(reads: list[Any]) -> list[tuple[bool, Text]]:
        return [python_check(read, as_json, strict) for read in reads]

    return first, then


def python_check(read: Any, as_json: bool, strict: bool) -> tuple[bool, Text]:
    """(ok, text) of a file read by read_for_report; a native (ok, text) as it is."""
    if isinstance(read, tuple) and len(read) == 2:
        return read
    report = report_of(read)
    if as_json:
        text = json.dumps(report.to_json(strict), ensure_ascii=False, indent=2)
        return report.ok(strict), text.replace("\n", "\n    ")  # JSON strings hold no raw line break
    return report.ok(strict), "".join(line + "\n" for line in report.diagnostics())


def run(args: argparse.Namespace) -> int:
    paths = find_statements(args.paths)
    if not paths:
        sys.stderr.write("varnok check: no statements (*.txt) found\n")
        return EXIT_PROBLEMS
    first, then = checker(args.json, args.strict, native_check_files)
    chunks = [paths[i:i + CHUNK] for i in range(0, len(paths), CHUNK)]
    done = [checked for chunk in run_all(first, chunks, args.jobs, "checking", then=then, weight=len)
            for checked in chunk]
    bad = sum(not ok for ok, _ in done)
    texts = [text for _, text in done]
    if args.json:
        write_joined(sys.stdout, '{\n  "files": [\n    ', ",\n    ", texts, "\n  ]\n}\n")
    else:
        write_joined(sys.stdout, "", "", texts, "")
        print(f"{len(done)} file{'s' * (len(done) != 1)} checked: {len(done) - bad} ok, {bad} with problems")
    return EXIT_OK if bad == 0 else EXIT_PROBLEMS


def write_joined(out: TextIO, head: str, separator: str, texts: list[Text], tail: str) -> None:
    """head + separator.join(texts) + tail on `out`. On a UTF-8 stream with a binary buffer
    (a terminal, pipe or file), the UTF-8 bytes go to the buffer as they are; else (another
    encoding, a str that is not UTF-8, an io.StringIO) everything goes through str."""
    buffer = getattr(out, "buffer", None)
    if buffer is not None and _is_utf8(getattr(out, "encoding", None)) and os.linesep == "\n":
        try:
            data = [t if isinstance(t, bytes) else t.encode() for t in texts]
        except UnicodeEncodeError:  # a path with undecodable bytes, kept as surrogates
            pass
        else:
            out.flush()
            buffer.write(head.encode())
            buffer.write(separator.encode().join(data))
            buffer.write(tail.encode())
            buffer.flush()
            return
    out.write(head + separator.join(t.decode() if isinstance(t, bytes) else t for t in texts) + tail)


def _is_utf8(encoding: str | None) -> bool:
    try:
        return encoding is not None and codecs.lookup(encoding).name == "utf-8"
    except LookupError:
        return False
