"""`varnok summary FILE...`: per statement its accounts with periods, balances and turnover,
its documents per kind and direction, and its warnings, findings and validation problems."""
from __future__ import annotations

import argparse
from collections import Counter
from collections.abc import Iterator

from varnok.batch import above_progress, in_order
from varnok.cli import (EXIT_OK, EXIT_PROBLEMS, add_jobs_option, shown, shown_name, statements_found,
                        stdin_dash)
from varnok.report import FileReport, read_for_report, report_of
from varnok.typed import DIRECTIONS


def configure(parser: argparse.ArgumentParser) -> None:
    parser.add_argument("paths", nargs="+", metavar="FILE", type=stdin_dash,
                        help="statement files (folders: every *.txt below; -: stdin)")
    add_jobs_option(parser)


def _amount(value: object) -> str:
    return "-" if value is None else str(value)


def summary_lines(report: FileReport) -> Iterator[str]:
    s = report.statement
    name = shown_name(report.path)
    if s is None:
        yield from report.diagnostics(name)
        return
    header = s.header
    period = f"{header.get('ДатаНачала', '?')} - {header.get('ДатаКонца', '?')}"
    yield f"{name} ({s.encoding}), period {period}"
    for number, account in s.accounts.items():
        yield f"  account {number}"
        for i in account.intervals:
            end = f"..{i.date_end.isoformat()}" if i.date_end and i.date_end != i.date_start else ""
            yield (f"    {i.date_start.isoformat()}{end}  start {i.start_amount}  income {_amount(i.total_income)}"
                   f"  expense {_amount(i.total_expense)}  end {_amount(i.end_amount)}")
    kinds = Counter(d.doc_type for d in s.documents)
    directions = Counter(d.direction for d in s.documents)
    yield f"  documents: {len(s.documents)}" + "".join(f"; {k} {n}" for k, n in kinds.most_common())
    yield "  by direction: " + ", ".join(f"{d} {directions[d]}" for d in DIRECTIONS)
    problems = list(report.diagnostics(name))
    yield f"  warnings {len(s.warnings)}, findings {len(report.findings)}, validation problems {len(report.validation)}"
    yield from (f"  {line}" for line in problems)


def run(args: argparse.Namespace) -> int:
    # Written as they come, so that only the statements read ahead are held.
    reports = in_order(read_for_report, statements_found(args), args.jobs, "reading", then=report_of,
                       own_files=args.own_process)
    read = True
    for n, r in enumerate(reports):
        lines = [shown(line) for line in summary_lines(r)]
        with above_progress():
            if n:
                print()
            for line in lines:
                print(line)
        read = read and r.statement is not None
    return EXIT_OK if read else EXIT_PROBLEMS
