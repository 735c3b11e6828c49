"""`varnok convert FILE --encoding cp1251|utf-8 [-o OUT]`: a statement re-encoded, read and
then written again (atomically) with every value as it was read."""
from __future__ import annotations

import argparse
import sys

from varnok._unread_keys import ACCOUNT_KEY_LOST, unread
from varnok.cli import EXIT_OK, EXIT_PROBLEMS, EXIT_USAGE, same_file, shown, shown_name, stdin_dash, stdout_dash
from varnok._line_scans import header_lines, section_lines
from varnok.typed import ReadFailure, file_path, parse_source
from varnok.writer import WriteError, write, write_file

NEWLINES = {"crlf": "\r\n", "lf": "\n"}


def configure(parser: argparse.ArgumentParser) -> None:
    parser.add_argument("path", metavar="FILE", type=stdin_dash, help="the statement to convert (-: stdin)")
    parser.add_argument("-e", "--encoding", choices=("cp1251", "utf-8"), required=True,
                        help="the encoding to write (Кодировка in the header follows it)")
    parser.add_argument("-o", "--output", metavar="OUT", type=stdout_dash,
                        help="the file to write, atomically (may be FILE itself); '-' or none: stdout")
    parser.add_argument("--newline", choices=sorted(NEWLINES), default="crlf", help="line ends (default: crlf)")


def run(args: argparse.Namespace) -> int:
    if args.output is None and sys.stdout.isatty():
        sys.stderr.write("varnok convert: the statement is written as bytes: give -o OUT or redirect stdout\n")
        return EXIT_USAGE
    name = shown_name(args.path)
    try:
        statement, data, _ = parse_source(file_path(args.path))
    except ReadFailure as exc:
        sys.stderr.write(shown(f"varnok convert: {exc.located(name)}\n"))
        return EXIT_PROBLEMS
    kept = unread(data, statement)
    for line, message in statement.warnings:
        sys.stderr.write(shown(f"{name}:{line}: document dropped by the reader, so not written: {message}\n"))
    for line, key in kept.account_lines:
        sys.stderr.write(shown(f"{name}:{line}: {ACCOUNT_KEY_LOST.format(key=key)}\n"))
    lost = statement.warnings or kept.account_lines
    if lost and args.output is not None and same_file(args.output, args.path):
        # Converted in place, what is not written would be gone for good.
        sys.stderr.write(shown(f"varnok convert: {name}: not replaced, as what is not written would be "
                               "lost; write to another file\n"))
        return EXIT_PROBLEMS
    # The keys the reader passes over (a bank's own) go with their documents, and the header
    # as the file has it: a key given twice (several РасчСчет) is written twice.
    if kept.documents is None:  # (sections that do not line up with the documents: not seen)
        sys.stderr.write(shown(f"varnok convert: {name}: keys varnok does not read are not written\n"))
    options = {"encoding": args.encoding, "newline": NEWLINES[args.newline], "extra_keys": kept.documents}
    whole = {"header": header_lines(data, statement), "accounts": statement.accounts, "documents": statement.documents}
    try:
        if args.output is None:
            sys.stdout.buffer.write(write(whole, **options))
            sys.stdout.buffer.flush()
        else:
            write_file(args.output, whole, **options)
    except WriteError as exc:
        index = exc.index if exc.section == "documents" else None
        at = section_lines(data, statement)[index] if index is not None else None
        where = f"{name}:{at}" if at else name
        sys.stderr.write(shown(f"varnok convert: {where}: cannot be written in {args.encoding}: {exc}\n"))
        return EXIT_PROBLEMS
    except OSError as exc:
        if args.output is None:
            raise  # stdout: the command line's own handling (quiet when the reader went away)
        sys.stderr.write(shown(f"varnok convert: cannot write {shown_name(args.output)}: {exc.strerror or exc}\n"))
        return EXIT_PROBLEMS
    return EXIT_PROBLEMS if lost or kept.documents is None else EXIT_OK
