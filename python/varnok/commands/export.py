"""`varnok export PATH... --format csv|jsonl|xlsx [-o OUT] [--intervals]`: one table of all
documents (or account intervals) of all files. Files that fail to read are reported on
stderr and left out."""
from __future__ import annotations

import argparse
import sys
from collections.abc import Callable
from typing import Any

from varnok import export, writer
from varnok.batch import find_statements, run_all
from varnok.cli import EXIT_OK, EXIT_PROBLEMS, EXIT_USAGE, add_jobs_option
from varnok.typed import ReadFailure, TypedStatement, read_file

# Format name -> (writer(statements, out, intervals=...), binary output).
FORMATS: dict[str, tuple[Callable[..., None], bool]] = {
    "csv": (export.to_csv, False),
    "jsonl": (export.to_jsonl, False),
    "xlsx": (export.to_xlsx, True),
    "statement": (writer.to_statement, True),  # one windows-1251 statement file
}


def configure(parser: argparse.ArgumentParser) -> None:
    parser.add_argument("paths", nargs="+", metavar="PATH", help="statement files, or folders searched for *.txt")
    parser.add_argument("-f", "--format", choices=sorted(FORMATS), required=True)
    parser.add_argument("-o", "--output", metavar="OUT", help="the output file (written atomically); default stdout")
    parser.add_argument("--intervals", action="store_true", help="export the account intervals instead of documents")
    add_jobs_option(parser)


def _read(path: str) -> TypedStatement | ReadFailure:
    try:
        return read_file(path)
    except ReadFailure as exc:
        return exc


def run(args: argparse.Namespace) -> int:
    write, binary = FORMATS[args.format]
    if args.output is None and binary and sys.stdout.isatty():
        sys.stderr.write(f"varnok export: --format {args.format} writes a binary file: give -o OUT\n")
        return EXIT_USAGE
    results = run_all(_read, find_statements(args.paths), args.jobs, "reading")
    statements: list[Any] = []
    for result in results:
        if isinstance(result, ReadFailure):
            sys.stderr.write(f"varnok export: {result} (left out)\n")
        else:
            statements.append(result)
    try:
        if args.output is not None:
            write(statements, args.output, intervals=args.intervals)
        elif binary:
            write(statements, sys.stdout.buffer, intervals=args.intervals)
        else:
            write(statements, sys.stdout, intervals=args.intervals)
            sys.stdout.flush()
    except writer.WriteError as exc:
        sys.stderr.write(f"varnok export: {exc}\n")
        return EXIT_PROBLEMS
    return EXIT_OK if len(statements) == len(results) else EXIT_PROBLEMS
