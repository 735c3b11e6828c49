"""`varnok export PATH... [--format csv|jsonl|xlsx|statement] [-o OUT] [--intervals] [-e ENC]`: one table of all
documents (or account intervals) of all files. Files that fail to read, and documents the
reader dropped, are reported on stderr and left out, and make the exit status 1."""
from __future__ import annotations

import argparse
import os
import sys

import varnok.export as export
import varnok.writer as writer
from varnok.batch import above_progress
from varnok._atomic import check_output
from varnok._xlsx import CellTooLong, TooManyRows
from varnok.cli import (EXIT_OK, EXIT_PROBLEMS, EXIT_USAGE, add_jobs_option, shown, shown_name,
                        statements_found, stdin_dash, stdout_dash)
from varnok.typed import ReadFailure


# The format an OUT without --format is written in, by its extension.
EXTENSIONS = {".csv": "csv", ".jsonl": "jsonl", ".ndjson": "jsonl", ".xlsx": "xlsx"}


def configure(parser: argparse.ArgumentParser) -> None:
    parser.add_argument("paths", nargs="+", metavar="PATH", type=stdin_dash,
                        help="statement files, or folders searched for *.txt (-: stdin)")
    parser.add_argument("-f", "--format", choices=sorted(export.WRITERS),
                        help="the output's format (default: from OUT's extension, "
                             + ", ".join(f"{ext} for {fmt}" for ext, fmt in EXTENSIONS.items()) + ")")
    parser.add_argument("-o", "--output", metavar="OUT", type=stdout_dash,
                        help="the output file (written atomically); '-' or none: stdout")
    parser.add_argument("--intervals", action="store_true", help="export the account intervals instead of documents")
    parser.add_argument("-e", "--encoding", choices=("cp1251", "utf-8"),
                        help="the statement format's encoding (default: cp1251); the other formats are UTF-8")
    add_jobs_option(parser)


def run(args: argparse.Namespace) -> int:
    if args.format is None:
        args.format = EXTENSIONS.get(os.path.splitext(args.output or "")[1].lower())
        if args.format is None:
            args.usage_error("give --format, or an OUT ending in " + ", ".join(EXTENSIONS))
    if args.encoding is not None and args.format != "statement":
        args.usage_error(f"--encoding is the statement format's: --format {args.format} is always UTF-8")
    _, binary = export.WRITERS[args.format]
    if args.output is None and binary and sys.stdout.isatty():
        sys.stderr.write(f"varnok export: --format {args.format} writes a binary file: give -o OUT\n")
        return EXIT_USAGE
    out = args.output if args.output is not None else sys.stdout.buffer if binary else sys.stdout
    # With nothing read, an empty table would replace what OUT held: nothing is written.
    paths = statements_found(args, "; nothing written", output=args.output)
    if args.output is not None:
        check_output(args.output)  # (a missing folder is said before the files are read)

    unread = 0

    def left_out(failures: list[ReadFailure]) -> None:  # (all at once, or as they come)
        nonlocal unread
        with above_progress(sys.stderr):  # (said while the files are read)
            for failure in failures:
                name = shown_name(failure.source or "<input>")
                sys.stderr.write(shown(f"varnok export: {failure.located(name)} (left out)\n"))
        unread += len(failures)
        if unread == len(paths):
            raise _NothingRead

    lost: list[tuple[str, int, str]] = []

    def dropped(documents: list[tuple[str, int, str]]) -> None:
        with above_progress(sys.stderr):  # (said while the files are read)
            for path, line, what in documents:
                sys.stderr.write(shown(f"{shown_name(path)}:{line}: {what}\n"))
        lost.extend(documents)

    try:
        failures = export.export_files(args.format, paths, out, intervals=args.intervals, jobs=args.jobs,
                                       left_out=left_out, dropped=dropped,
                                       encoding=args.encoding or "cp1251")
    except writer.WriteError as exc:
        sys.stderr.write(shown(f"varnok export: {exc.located(exc.source and shown_name(exc.source))}\n"))
        return EXIT_PROBLEMS
    except TooManyRows as exc:
        sys.stderr.write(f"varnok export: {exc}\n")
        return EXIT_PROBLEMS
    except CellTooLong as exc:
        sys.stderr.write(shown(f"varnok export: {exc.located(exc.source and shown_name(exc.source))}\n"))
        return EXIT_PROBLEMS
    except UnicodeEncodeError as exc:  # stdout in an encoding of its own (PYTHONIOENCODING)
        char = exc.object[exc.start] if isinstance(exc.object, str) else "?"
        encoding = getattr(out, "encoding", None) or exc.encoding
        sys.stderr.write(f"varnok export: the output's encoding ({encoding}) cannot hold U+{ord(char):04X}; "
                         "the output is incomplete: write to a file with -o, or set PYTHONIOENCODING=utf-8\n")
        return EXIT_PROBLEMS
    except _NothingRead:
        sys.stderr.write("varnok export: no statement could be read; nothing written\n")
        return EXIT_PROBLEMS
    return EXIT_OK if not failures and not lost else EXIT_PROBLEMS


class _NothingRead(Exception):
    """Every file failed to read: the export stops before writing."""
