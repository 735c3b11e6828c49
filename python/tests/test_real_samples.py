"""Real statements from ../shared/samples/real/ (outside the repository) against the
outcomes recorded in its EXPECTED.tsv. Skipped when the folder is missing."""

import csv
from pathlib import Path

import pytest

import varnok_py

SAMPLES = Path(__file__).resolve().parents[2].parent / "shared" / "samples" / "real"
EXPECTED = SAMPLES / "EXPECTED.tsv"
NOT_STATEMENTS = {"EXPECTED.tsv", "SOURCES.tsv", ".gitattributes"}


def expected_rows() -> list[dict[str, str]]:
    if not EXPECTED.is_file():
        return []
    with EXPECTED.open(encoding="utf-8", newline="") as f:
        # The header line names the columns; cells may hold quotes and backticks.
        return list(csv.DictReader(f, delimiter="\t", quoting=csv.QUOTE_NONE))


ROWS = expected_rows()
pytestmark = pytest.mark.skipif(not ROWS, reason=f"no real samples in {SAMPLES}")


def outcome_of(data: bytes) -> dict[str, str]:
    """The columns of EXPECTED.tsv for one read of `data`."""
    try:
        statement = varnok_py.parse(data)
    except varnok_py.ParseError as exc:
        detail = getattr(exc, "detail", None)
        return {
            "outcome": type(exc).__name__,
            "message": str(exc),
            "lineno": "" if detail is None else str(detail.lineno),
        }
    first = statement.warnings[0] if statement.warnings else None
    return {
        "outcome": "Statement",
        "encoding": statement.encoding,
        "accounts": str(len(statement.accounts)),
        "intervals": str(sum(len(a.intervals) for a in statement.accounts.values())),
        "documents": str(len(statement.documents)),
        "warnings": str(len(statement.warnings)),
        "message": "" if first is None else first[1],
        "lineno": "" if first is None else str(first[0]),
    }


@pytest.mark.parametrize("row", ROWS, ids=[r["file"] for r in ROWS])
def test_sample_reads_as_expected(row: dict[str, str]) -> None:
    got = outcome_of((SAMPLES / row["file"]).read_bytes())
    want = {column: row[column] for column in got}
    assert got == want
    # A failed read leaves every count column empty.
    if got["outcome"] != "Statement":
        assert not any(row[c] for c in ("encoding", "accounts", "intervals", "documents", "warnings"))


def test_every_sample_has_an_expected_row() -> None:
    files = {p.name for p in SAMPLES.iterdir() if p.is_file()} - NOT_STATEMENTS
    assert files == {r["file"] for r in ROWS}


UTF8_STATEMENTS = [r["file"] for r in ROWS if r["outcome"] == "Statement" and r["encoding"] == "utf-8"]


@pytest.mark.parametrize("name", UTF8_STATEMENTS)
def test_utf8_sample_as_str_reads_like_its_bytes(name: str) -> None:
    data = (SAMPLES / name).read_bytes()
    as_bytes = varnok_py.parse(data)
    as_str = varnok_py.parse(data.decode("utf-8"))
    assert as_str.header == as_bytes.header
    assert as_str.documents == as_bytes.documents
    assert as_str.accounts == as_bytes.accounts
    assert as_str.warnings == as_bytes.warnings
