"""The `varnok` command line: one main(argv) -> int over argparse subcommands.

Exit status: 0 when everything is fine, 1 when problems were found, 2 for a usage error.
"""
from __future__ import annotations

import argparse
import errno
import functools
import io
import os
import re
import shutil
import signal
import stat
import sys
import threading
from collections.abc import Callable, Sequence
from importlib import import_module
from typing import Any

from varnok._file_kind import STDIN

EXIT_OK = 0
EXIT_PROBLEMS = 1
EXIT_USAGE = 2

# One line per subcommand: (name, module, one-line help). The module defines
# `configure(parser)`, which adds its arguments, and `run(args) -> int`. A new
# subcommand is a new module and one line here.
SUBCOMMANDS: list[tuple[str, str, str]] = [
    ("summary", "varnok.commands.summary", "show accounts, balances, turnover and problems of statements"),
    ("check", "varnok.commands.check", "read statements and report errors, warnings and findings"),
    ("export", "varnok.commands.export", "export all documents (or intervals) to CSV, JSON Lines, xlsx or a statement file"),
    ("convert", "varnok.commands.convert", "re-encode a statement (windows-1251 or UTF-8), every value kept"),
]


# The control characters a file may hold (C0 but for the line break and the tab, DEL and
# C1): written as they are to a terminal, they move the cursor, erase or recolour what is
# shown, so a crafted statement could hide or fake a line of a report. So can the marks
# and overrides of bidirectional text (U+202E shows the rest of its line reversed). Messages
# that quote a file show them as \xNN or \uNNNN escapes.
_BIDI = "\u061c\u200e\u200f\u202a-\u202e\u2066-\u2069"
_CONTROL = re.compile(f"[\x00-\x08\x0b-\x1f\x7f-\x9f{_BIDI}]")
# (and in names, the lone surrogates that stand for bytes that are not UTF-8: as \xNN)
_NAME_CONTROL = re.compile(f"[\x00-\x1f\x7f-\x9f{_BIDI}\udc80-\udcff]")
_CONTROL_UTF8 = re.compile(b"[\x00-\x08\x0b-\x1f\x7f]|\xc2[\x80-\x9f]|\xd8\x9c|\xe2\x80[\x8e\x8f\xaa-\xae]|\xe2\x81[\xa6-\xa9]")


def _escaped(char: str) -> str:
    code = ord(char)
    if 0xDC80 <= code <= 0xDCFF:  # a byte of a name that is not UTF-8 (os.fsdecode's escape)
        code -= 0xDC00
    return f"\\x{code:02x}" if code < 0x100 else f"\\u{code:04x}"


def shown(text: str) -> str:
    """text with its control characters, but line breaks and tabs, escaped."""
    return _CONTROL.sub(lambda m: _escaped(m.group()), text)


def shown_name(path: str) -> str:
    """A file's name in a line of text: shown(), and its line breaks and tabs escaped too,
    so that a name cannot split the line it is in (the format "path:line: message" is
    read by editors and scripts line by line)."""
    return _NAME_CONTROL.sub(lambda m: _escaped(m.group()), path)


def shown_utf8(text: bytes, /) -> bytes:
    """shown() for UTF-8 bytes."""
    return _CONTROL_UTF8.sub(lambda m: _escaped(m.group().decode()).encode(), text)


def add_jobs_option(parser: argparse.ArgumentParser) -> None:
    """--jobs N: threads for reading files (default: the number of CPUs)."""
    from varnok.batch import default_jobs

    parser.add_argument("-j", "--jobs", type=_positive, default=default_jobs(), metavar="N",
                        help="read files on N threads (default: the number of CPUs)")


def stdout_dash(text: str) -> str | None:
    """An -o argument: "-" is stdout (None), as for most tools; a file named "-" is "./-"."""
    return None if _not_empty(text) == "-" else text


def stdin_dash(text: str) -> str:
    """A statement to read: "-" is stdin, read as /dev/stdin (so the reports name it so);
    a file named "-" is "./-"."""
    if _not_empty(text) != "-" or not os.path.exists("/dev/null"):  # (not a system with /dev)
        return text
    try:
        os.fstat(0)
    except OSError:  # (started with it closed, `<&-`: /dev/stdin would name nothing, or a file)
        raise argparse.ArgumentTypeError("stdin is closed") from None
    return STDIN


def _not_empty(text: str) -> str:
    # "" is most often an unset shell variable: a usage error, not the current folder.
    if not text:
        raise argparse.ArgumentTypeError("an empty path names no file")
    return text


def _positive(text: str) -> int:
    try:
        n = int(text)
    except ValueError:
        n = 0
    if n < 1:
        raise argparse.ArgumentTypeError(f"expected a positive number, got {text!r}")
    return n


class _Parser(argparse.ArgumentParser):
    def __init__(self, *args: Any, **kwargs: Any) -> None:
        # Some Pythons' argparse makes a formatter to check every argument added, and each
        # measures the terminal: it is measured once per parser instead.
        if "formatter_class" not in kwargs:
            width = shutil.get_terminal_size().columns - 2
            kwargs["formatter_class"] = functools.partial(argparse.HelpFormatter, width=width)
        super().__init__(*args, **kwargs)

    # argparse exits on its own; main() turns that into a return value.
    def exit(self, status: int = 0, message: str | None = None) -> None:  # type: ignore[override]
        if message:
            sys.stderr.write(message)
        raise _Exit(status)


def statements_found(args: argparse.Namespace, nothing_done: str = "", output: str | None = None) -> list[str]:
    """The statement files args.paths name (see batch.find_statements). None at all is a
    problem of its own: said on stderr (with `nothing_done` after it), and the command ends
    with status 1. The file `output`, which the command replaces, is not among them: named,
    it is refused (status 1); found in a folder, it is an earlier run's and left out."""
    from varnok.batch import find_statements

    paths = find_statements(args.paths)
    if len(args.paths) > 1:  # a file named twice, or in a folder named too, is read once
        paths = _each_once(paths)
    if output is not None and paths and (out := _stat(output)) is not None:
        named = next((p for p in args.paths if same_file(p, output)), None)
        if named is not None:
            sys.stderr.write(shown(f"varnok {args.command}: {shown_name(named)} is one of the statements read, "
                                   "and the output would replace it; write to another file\n"))
            raise _Exit(EXIT_PROBLEMS)
        paths = [p for p in paths if not ((s := _stat(p)) and os.path.samestat(s, out))]
    if not paths:
        sys.stderr.write(f"varnok {args.command}: no statements (*.txt) found{nothing_done}\n")
        raise _Exit(EXIT_PROBLEMS)
    return paths


def _each_once(paths: list[str]) -> list[str]:
    """paths without those naming a file met before (a path that cannot be looked at is
    kept: reading it reports why)."""
    seen: set[tuple[int, int]] = set()
    kept = []
    for path in paths:
        s = _stat(path)
        if s is not None and stat.S_ISREG(s.st_mode):
            if (s.st_dev, s.st_ino) in seen:
                continue
            seen.add((s.st_dev, s.st_ino))
        kept.append(path)
    return kept


def _stat(path: str) -> os.stat_result | None:
    try:
        return os.stat(path)
    except OSError:
        return None


def same_file(a: str, b: str) -> bool:
    """Whether two paths name one file (False when either cannot be looked at)."""
    first, second = _stat(a), _stat(b)
    return first is not None and second is not None and os.path.samestat(first, second)


class _Exit(Exception):
    def __init__(self, status: int) -> None:
        super().__init__(status)
        self.status = status


def build_parser() -> argparse.ArgumentParser:
    """The parser of the whole command line: every subcommand."""
    from varnok import __version__

    parser = _Parser(prog="varnok", description="Read, check and export 1CClientBankExchange bank statements.")
    parser.add_argument("--version", action="version", version=f"varnok {__version__}")
    sub = parser.add_subparsers(dest="command", metavar="COMMAND", required=True, parser_class=_Parser)
    for name, module_name, help_text in SUBCOMMANDS:
        _configure(sub.add_parser(name, help=help_text, description=_sentence(help_text)), name, module_name)
    return parser


def build_command_parser(name: str) -> argparse.ArgumentParser:
    """The parser of one subcommand's arguments (those after its name), as `varnok NAME`:
    the same usage, help and errors as the whole parser's subcommand (an unknown option is
    reported with the subcommand's usage), in half the time, which a command on a few
    files would otherwise wait for."""
    module_name, help_text = next((m, h) for n, m, h in SUBCOMMANDS if n == name)
    return _configure(_Parser(prog=f"varnok {name}", description=_sentence(help_text)), name, module_name)


def _configure(parser: argparse.ArgumentParser, name: str, module_name: str) -> argparse.ArgumentParser:
    module = import_module(module_name)
    module.configure(parser)
    run: Callable[[argparse.Namespace], int] = module.run
    parser.set_defaults(run=run, command=name, usage_error=parser.error)
    return parser


def _sentence(help_text: str) -> str:
    return help_text[:1].upper() + help_text[1:] + "."


def main(argv: Sequence[str] | None = None, *, own_process: bool = False) -> int:
    """Runs the command line on argv (sys.argv[1:] when None) and returns the exit status.
    own_process: the process is the command's (python -m varnok, the console script), so its
    helper threads may work with descriptor tables of their own; a program that calls main
    keeps its threads as they are (its finalizers may run on them and close its files)."""
    argv = sys.argv[1:] if argv is None else list(argv)
    named = argv[0] if argv and argv[0] in {name for name, _, _ in SUBCOMMANDS} else None
    try:
        # (which imports the commands' modules: a good part of a short run)
        args = build_command_parser(named).parse_args(argv[1:]) if named else build_parser().parse_args(argv)
    except _Exit as exc:
        return exc.status
    except KeyboardInterrupt:
        return interrupted()
    except UnicodeEncodeError as exc:  # the help, on a terminal or pipe of a narrower encoding
        return _cannot_hold(named or "", exc)
    from varnok.batch import abandon_running_work

    abandon_running_work(False)
    restore = _catch_sigterm()
    args.own_process = own_process
    no_stdout = sys.stdout is None  # (started with it closed, `>&-`: Python makes it None)
    if no_stdout:
        sys.stdout = _ClosedStdout()
    try:
        status = int(args.run(args))
        sys.stdout.flush()  # a reader of stdout gone away shows here rather than at exit
        return status
    except _Exit as exc:  # a usage error only the command itself can see, or nothing found
        return exc.status
    except KeyboardInterrupt:
        abandon_running_work()
        return interrupted()
    except _Terminated:
        abandon_running_work()
        sys.stderr.write("varnok: terminated\n")
        return 128 + signal.SIGTERM
    except BrokenPipeError:
        # The reader of stdout went away (e.g. `| head`); not an error of ours. What is
        # still buffered goes to /dev/null, so that the flush at exit does not fail (which
        # would print a traceback and make the status 120).
        _discard_stdout()
        return EXIT_OK
    except OSError as exc:
        # An output that cannot be written (a missing folder, a full disk, no permission).
        name = exc.filename
        where = f"{shown_name(name if isinstance(name, str) else str(name))}: " if name else ""
        sys.stderr.write(f"varnok {args.command}: {where}{exc.strerror or exc}\n")
        _flush_or_discard_stdout()  # (stdout full: the flush at exit would fail again)
        return EXIT_PROBLEMS
    except UnicodeEncodeError as exc:
        return _cannot_hold(args.command, exc)
    finally:
        restore()
        if no_stdout:
            sys.stdout = None


class _ClosedStdout(io.TextIOBase):
    """sys.stdout for a process started without one: a command that writes to OUT works,
    one that would write to stdout says that it is closed (not an AttributeError)."""

    def write(self, text: Any) -> int:
        raise OSError(errno.EBADF, "stdout is closed")

    @property
    def buffer(self) -> Any:
        return self


def interrupted() -> int:
    """What Ctrl-C ends a command with: a line, not a traceback, and the shell's status."""
    sys.stderr.write("varnok: interrupted\n")
    return 130


class _Terminated(BaseException):
    """SIGTERM, raised like Ctrl-C's KeyboardInterrupt: by default the signal ends the
    process at once, leaving an atomic output's temporary file behind."""


def _catch_sigterm() -> Callable[[], None]:
    """Makes SIGTERM raise _Terminated, where signals can be handled (the main thread);
    returns what puts the handler it replaced back."""
    if threading.current_thread() is not threading.main_thread() or not hasattr(signal, "SIGTERM"):
        return lambda: None
    previous = signal.signal(signal.SIGTERM, _raise_terminated)

    def restore() -> None:
        signal.signal(signal.SIGTERM, previous if previous is not None else signal.SIG_DFL)

    return restore


def _raise_terminated(signum: int, frame: Any) -> None:
    raise _Terminated


def _cannot_hold(command: str, exc: UnicodeEncodeError) -> int:
    """A report or help written to a stdout whose encoding cannot hold a character of it
    (PYTHONIOENCODING=latin-1, a C locale without UTF-8 mode): said, not a traceback."""
    char = exc.object[exc.start] if isinstance(exc.object, str) else "?"
    sys.stderr.write(f"varnok{' ' + command if command else ''}: stdout's encoding ({exc.encoding}) cannot hold "
                     f"U+{ord(char):04X}: set PYTHONIOENCODING=utf-8, or a UTF-8 locale\n")
    _flush_or_discard_stdout()
    return EXIT_PROBLEMS


def _flush_or_discard_stdout() -> None:
    """What stdout still holds is written, or dropped when that fails too."""
    try:
        if sys.stdout is not None:
            sys.stdout.flush()
    except (OSError, ValueError):
        _discard_stdout()


def _discard_stdout() -> None:
    try:
        devnull = os.open(os.devnull, os.O_WRONLY)
        os.dup2(devnull, sys.stdout.fileno())
        os.close(devnull)
    except (OSError, ValueError):  # no file descriptor behind stdout (a test's capture)
        sys.stderr.close()


if __name__ == "__main__":
    sys.exit(main())
