"""varnok: typed statements, reconciliation, validation, exports and a batch command line
over the varnok_py reader."""
import os as _os
from _thread import RLock as _RLock
from importlib import import_module as _import_module
from typing import TYPE_CHECKING, Any


def _version() -> str:
    # A build tree (PYTHONPATH=build/python) carries the version CMake wrote, which wins
    # over the metadata of some other copy that may be installed.
    try:
        from varnok._build_version import VERSION  # type: ignore[import-not-found, unused-ignore]
    except ImportError:
        pass
    else:
        return str(VERSION)
    from importlib import metadata  # only here: importing it takes longer than a small check

    try:
        return metadata.version("varnok-py")
    except metadata.PackageNotFoundError:
        return "0+unknown"


__version__ = _version()

# Public name -> module that defines it. Modules load on first use, so `import varnok`
# stays cheap and each module stays importable on its own.
_EXPORTS = {
    "read": "varnok.typed",
    "read_file": "varnok.typed",
    "TypedStatement": "varnok.typed",
    "TypedDocument": "varnok.typed",
    "TypedAccount": "varnok.typed",
    "TypedInterval": "varnok.typed",
    "ReadFailure": "varnok.typed",
    "StatementWarning": "varnok.typed",
    "reconcile": "varnok.reconciliation",
    "Finding": "varnok.reconciliation",
    "validate": "varnok.validation",
    "ValidationProblem": "varnok.validation",
    "to_csv": "varnok.export",
    "to_jsonl": "varnok.export",
    "to_xlsx": "varnok.export",
    "to_dataframe": "varnok.export",
    "intervals_dataframe": "varnok.export",
    "DocumentTable": "varnok.export",
    "write": "varnok.writer",
    "write_file": "varnok.writer",
    "to_statement": "varnok.writer",
    "WriteError": "varnok.writer",
}
_SUBMODULES = {"dask", "cli", "typed", "reconciliation", "validation", "export", "writer", "batch"}

if TYPE_CHECKING:  # what a type checker sees of the names __getattr__ loads on first use
    from varnok import batch as batch, cli as cli, dask as dask, export as export
    from varnok import reconciliation as reconciliation, typed as typed, validation as validation, writer as writer
    from varnok.export import DocumentTable as DocumentTable, intervals_dataframe as intervals_dataframe
    from varnok.export import to_csv as to_csv, to_dataframe as to_dataframe, to_jsonl as to_jsonl, to_xlsx as to_xlsx
    from varnok.reconciliation import Finding as Finding, reconcile as reconcile
    from varnok.typed import ReadFailure as ReadFailure, StatementWarning as StatementWarning
    from varnok.typed import TypedAccount as TypedAccount, TypedDocument as TypedDocument
    from varnok.typed import TypedInterval as TypedInterval, TypedStatement as TypedStatement
    from varnok.typed import read as read, read_file as read_file
    from varnok.validation import ValidationProblem as ValidationProblem, validate as validate
    from varnok.writer import WriteError as WriteError, to_statement as to_statement, write as write
    from varnok.writer import write_file as write_file

__all__ = ["__version__", *_EXPORTS]


# Threads that first use varnok at once load its modules one at a time: the free-threaded
# interpreter this project builds can hang when threads import modules concurrently (seen
# with the standard library's alone). The native module is loaded with the first, so the
# functions that import it where they need it find it loaded. No module of the package
# takes a lazy name while it is being imported (import varnok.x, not from varnok import
# x): it would wait for this lock holding its own import lock, which no deadlock check sees.
_loading = _RLock()


def _new_lock() -> None:  # a child forked while another thread held it would wait for good
    global _loading
    _loading = _RLock()


_os.register_at_fork(after_in_child=_new_lock)


def _load(module: str) -> Any:
    with _loading:
        loaded = _import_module(module)
        try:
            _import_module("varnok._native")
        except ImportError:  # (optional: the package works without it)
            pass
        return loaded


if not TYPE_CHECKING:  # (seen by a type checker, it would make every name, even a typo, Any)

    def __getattr__(name: str) -> Any:
        if name in _EXPORTS:
            value = getattr(_load(_EXPORTS[name]), name)
            globals()[name] = value
            return value
        if name in _SUBMODULES:
            return _load(f"varnok.{name}")
        raise AttributeError(f"module 'varnok' has no attribute {name!r}")


def __dir__() -> list[str]:
    return sorted({*globals(), *__all__, *_SUBMODULES})
