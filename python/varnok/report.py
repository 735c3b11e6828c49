"""What `varnok check` and `varnok summary` say about one file: its read error, warnings,
reconciliation findings and validation problems, as text lines and as JSON."""
from __future__ import annotations

from collections.abc import Iterator
from dataclasses import dataclass, field
from typing import Any

from varnok.export import file_column
from varnok.reconciliation import Finding, reconcile
from varnok.typed import ReadFailure, TypedStatement, file_path, parse_source, typed_statement
from varnok.validation import ValidationProblem, validate


@dataclass(frozen=True, slots=True)
class FileReport:
    path: str
    statement: TypedStatement | None
    error: ReadFailure | None = None
    findings: tuple[Finding, ...] = field(default=())
    validation: tuple[ValidationProblem, ...] = field(default=())

    def ok(self, strict: bool = False) -> bool:
        """No read error, no warning, no finding (and, when strict, no validation problem)."""
        if self.statement is None or self.statement.warnings or self.findings:
            return False
        return not (strict and self.validation)

    def error_json(self) -> dict[str, Any] | None:
        if self.error is None:
            return None
        cause = self.error.cause
        message = getattr(cause, "strerror", None) or str(cause) if isinstance(cause, OSError) else str(cause)
        return {"type": type(cause).__name__, "message": message, "line": self.error.line}

    def to_json(self, strict: bool = False) -> dict[str, Any]:
        s = self.statement
        return {
            "file": file_column(self.path),
            "ok": self.ok(strict),
            "encoding": None if s is None else s.encoding,
            "error": self.error_json(),
            "warnings": [] if s is None else [{"line": w.line, "message": w.message} for w in s.warnings],
            "findings": [f.to_json() for f in self.findings],
            "validation": [p.to_json() for p in self.validation],
        }

    def diagnostics(self, name: str | None = None) -> Iterator[str]:
        """One `path:line: kind: message` line per problem, as compilers write them; `name`
        is the file as shown (its path by default)."""
        name = self.path if name is None else name

        def at(line: int | None) -> str:
            return f"{name}:{line}" if line else name

        if self.error is not None:
            error = self.error_json() or {}
            yield f"{at(self.error.line)}: error: {error['message']}"
        for w in self.statement.warnings if self.statement else ():
            yield f"{at(w.line)}: warning: document skipped: {w.message}"
        for f in self.findings:
            yield f"{name}: finding: {f}"
        for p in self.validation:
            yield f"{at(p.line)}: validation: {p}"


def read_for_report(path: str) -> tuple[Any, bytes | str, str] | ReadFailure:
    """The first step of report_file: the file read and parsed (the interpreter lock is
    released for the parse), or its failure."""
    try:
        raw, data, _ = parse_source(file_path(path))
    except ReadFailure as exc:
        return ReadFailure(path, exc.line, exc.cause)
    return raw, data, path


def report_of(read: tuple[Any, bytes | str, str] | ReadFailure) -> FileReport:
    """The second step of report_file: the typed view, its findings and validation problems."""
    if isinstance(read, ReadFailure):
        return FileReport(read.source or "", None, read)
    raw, data, path = read
    try:
        statement = typed_statement(raw, data, path)
    except ReadFailure as exc:  # a date the reader takes and datetime.date cannot hold (year 0)
        return FileReport(path, None, exc.with_traceback(None))  # (its frames hold the statement)
    return FileReport(path, statement, None, tuple(reconcile(statement)), tuple(validate(statement)))


def report_file(path: str) -> FileReport:
    """Reads, reconciles and validates one file; never raises for a bad file."""
    return report_of(read_for_report(path))
