"""Print a summary of a bank statement file.

    python3 examples/summary.py STATEMENT

Shows the header, every account with its periods, opening and closing balances and
turnover, the documents per kind with their total amount, and the document sections
that were dropped (the warnings). Exits with 1 and the error if the file cannot be read
as a statement.
"""

import sys
from collections import Counter
from decimal import Decimal
from pathlib import Path

import varnok_py


def summarise(statement: varnok_py.Statement) -> str:
    """The summary of a parsed statement, as lines of text."""
    lines = [
        f"Statement in {statement.encoding}: accounts {len(statement.accounts)}, "
        f"documents {len(statement.documents)}, warnings {len(statement.warnings)}",
        "",
        "Header",
    ]
    lines += [f"  {key} = {value}" for key, value in statement.header.items()]

    lines += ["", "Accounts"]
    for number, account in statement.accounts.items():
        lines.append(f"  {number}")
        for interval in account.intervals:
            # An open period (no ДатаКонца) and an absent balance show as "-".
            lines.append(
                f"    {interval.date_start} .. {interval.date_end or '-'}"
                f"  opening {interval.start_amount}"
                f"  received {interval.total_income or '-'}"
                f"  paid {interval.total_expense or '-'}"
                f"  closing {interval.end_amount or '-'}"
            )

    # Amounts are exact decimal texts; Decimal keeps them exact when adding up.
    count: Counter[str] = Counter()
    total: dict[str, Decimal] = {}
    for document in statement.documents:
        count[document.doc_type] += 1
        total[document.doc_type] = total.get(document.doc_type, Decimal(0)) + Decimal(document.amount)
    lines += ["", "Documents by kind"]
    for kind, n in count.most_common():
        lines.append(f"  {n:5}  {total[kind]:>16}  {kind or '(no kind)'}")

    lines += ["", "Warnings"]
    lines += [f"  line {lineno}: {message}" for lineno, message in statement.warnings]
    if not statement.warnings:
        lines.append("  none")
    return "\n".join(lines)


def main(argv: list[str]) -> int:
    if len(argv) != 2:
        print(__doc__, file=sys.stderr)
        return 2
    path = argv[1]
    try:
        statement = varnok_py.parse(Path(path).read_bytes())
    except OSError as exc:
        print(f"{path}: {exc.strerror}", file=sys.stderr)
        return 1
    except varnok_py.SyntaxError as exc:
        # The message never holds the line number; the diagnostic does.
        print(f"{path}:{exc.detail.lineno}: {exc}", file=sys.stderr)
        return 1
    except varnok_py.ParseError as exc:
        print(f"{path}: {exc}", file=sys.stderr)
        return 1
    print(summarise(statement))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
