"""The `varnok` command line: one main(argv) -> int over argparse subcommands.

Exit status: 0 when everything is fine, 1 when problems were found, 2 for a usage error.
"""
from __future__ import annotations

import argparse
import sys
from collections.abc import Callable, Sequence
from importlib import import_module

EXIT_OK = 0
EXIT_PROBLEMS = 1
EXIT_USAGE = 2

# One line per subcommand: (name, module, one-line help). The module defines
# `configure(parser)`, which adds its arguments, and `run(args) -> int`. A new
# subcommand is a new module and one line here.
SUBCOMMANDS: list[tuple[str, str, str]] = [
    ("summary", "varnok.commands.summary", "show accounts, balances, turnover and problems of statements"),
    ("check", "varnok.commands.check", "read statements and report errors, warnings and findings"),
    ("export", "varnok.commands.export", "export all documents (or intervals) to CSV, JSON Lines or xlsx"),
    ("convert", "varnok.commands.convert", "re-encode a statement (windows-1251 or UTF-8), every value kept"),
]


def add_jobs_option(parser: argparse.ArgumentParser) -> None:
    """--jobs N: threads for reading files (default: the number of CPUs)."""
    from varnok.batch import default_jobs

    parser.add_argument("-j", "--jobs", type=_positive, default=default_jobs(), metavar="N",
                        help="read files on N threads (default: the number of CPUs)")


def _positive(text: str) -> int:
    try:
        n = int(text)
    except ValueError:
        n = 0
    if n < 1:
        raise argparse.ArgumentTypeError(f"expected a positive number, got {text!r}")
    return n


class _Parser(argparse.ArgumentParser):
    # argparse exits on its own; main() turns that into a return value.
    def exit(self, status: int = 0, message: str | None = None) -> None:  # type: ignore[override]
        if message:
            sys.stderr.write(message)
        raise _Exit(status)


class _Exit(Exception):
    def __init__(self, status: int) -> None:
        super().__init__(status)
        self.status = status


def build_parser(only: str | None = None) -> argparse.ArgumentParser:
    """The parser of every subcommand, or with `only`, of that one alone (which parses its
    own arguments and words their errors as the whole parser does, in a fraction of the
    time: the work of a command on a few files must not wait for the others' options)."""
    from varnok import __version__

    parser = _Parser(prog="varnok", description="Read, check and export 1CClientBankExchange bank statements.")
    parser.add_argument("--version", action="version", version=f"varnok {__version__}")
    sub = parser.add_subparsers(dest="command", metavar="COMMAND", required=True, parser_class=_Parser)
    for name, module_name, help_text in SUBCOMMANDS:
        if only is not None and name != only:
            continue
        module = import_module(module_name)
        command = sub.add_parser(name, help=help_text, description=help_text[:1].upper() + help_text[1:] + ".")
        module.configure(command)
        run: Callable[[argparse.Namespace], int] = module.run
        command.set_defaults(run=run)
    return parser


def main(argv: Sequence[str] | None = None) -> int:
    """Runs the command line on argv (sys.argv[1:] when None) and returns the exit status."""
    argv = sys.argv[1:] if argv is None else list(argv)
    named = argv[0] if argv and argv[0] in {name for name, _, _ in SUBCOMMANDS} else None
    parser = build_parser(named)
    try:
        args = parser.parse_args(argv)
    except _Exit as exc:
        return exc.status
    try:
        return int(args.run(args))
    except KeyboardInterrupt:
        sys.stderr.write("varnok: interrupted\n")
        return 130
    except BrokenPipeError:
        # The reader of stdout went away (e.g. `| head`); not an error of ours.
        sys.stderr.close()
        return EXIT_OK
    except OSError as exc:
        # An output that cannot be written (a missing folder, a full disk, no permission).
        where = f"{exc.filename}: " if exc.filename else ""
        sys.stderr.write(f"varnok {args.command}: {where}{exc.strerror or exc}\n")
        return EXIT_PROBLEMS


if __name__ == "__main__":
    sys.exit(main())
