"""`varnok check PATH...`: reads every statement and reports every read error, warning,
reconciliation finding and validation problem."""
from __future__ import annotations

import argparse
import json
import sys
from typing import Any

from varnok.batch import find_statements, run_all
from varnok.cli import EXIT_OK, EXIT_PROBLEMS, add_jobs_option
from varnok.report import FileReport, read_for_report, report_of


def configure(parser: argparse.ArgumentParser) -> None:
    parser.add_argument("paths", nargs="+", metavar="PATH",
                        help="statement files, or folders searched recursively for *.txt")
    parser.add_argument("--json", action="store_true", help="write one JSON report to stdout")
    parser.add_argument("--strict", action="store_true",
                        help="count validation problems (bad INN, KPP, BIC, account keys) as problems")
    add_jobs_option(parser)


def run(args: argparse.Namespace) -> int:
    paths = find_statements(args.paths)
    if not paths:
        sys.stderr.write("varnok check: no statements (*.txt) found\n")
        return EXIT_PROBLEMS
    if args.json:
        # Each file's report is encoded where it was made (on the workers of the free-threaded
        # build); this thread only joins the texts into {"files": [...]}, indented as one dump.
        def encoded(read: Any) -> tuple[FileReport, str]:
            report = report_of(read)
            text = json.dumps(report.to_json(args.strict), ensure_ascii=False, indent=2)
            return report, text.replace("\n", "\n    ")  # JSON strings hold no raw line break

        done = run_all(read_for_report, paths, args.jobs, "checking", then=encoded)
        reports = [report for report, _ in done]
        sys.stdout.write('{\n  "files": [\n    ' + ",\n    ".join(text for _, text in done) + "\n  ]\n}\n")
    else:
        reports = run_all(read_for_report, paths, args.jobs, "checking", then=report_of)
        for r in reports:
            for line in r.diagnostics():
                print(line)
        bad = sum(not r.ok(args.strict) for r in reports)
        print(f"{len(reports)} file{'s' * (len(reports) != 1)} checked: {len(reports) - bad} ok, {bad} with problems")
    return EXIT_OK if all(r.ok(args.strict) for r in reports) else EXIT_PROBLEMS
