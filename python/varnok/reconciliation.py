"""Reconciliation: whether each account interval's balance adds up and whether its turnover
matches the statement's documents, exactly in Decimal."""
from __future__ import annotations

import bisect
import datetime
import decimal
import itertools
from collections.abc import Iterable
from dataclasses import dataclass
from decimal import Decimal
from typing import Any, cast

from varnok.typed import require_typed

CHECKS = ("opening", "balance", "income", "expense", "outside income", "outside expense")

# Sums of amounts are exact: enough digits that no addition rounds, and a trap if one would.
_EXACT = decimal.Context(prec=decimal.MAX_PREC, traps=[decimal.Inexact, decimal.InvalidOperation])


@dataclass(frozen=True, slots=True)
class Finding:
    """An interval whose figures do not add up, or a day outside every interval of the
    account with documents on it. expected is the statement's own figure (the start amount,
    the end amount, the income or expense total; 0 for a day outside its intervals); actual
    is the computed one."""

    account: str
    date_start: datetime.date
    date_end: datetime.date | None
    check: str
    expected: Decimal
    actual: Decimal

    def to_json(self) -> dict[str, Any]:
        return {
            "account": self.account,
            "date_start": self.date_start.isoformat(),
            "date_end": None if self.date_end is None else self.date_end.isoformat(),
            "check": self.check,
            "expected": str(self.expected),
            "actual": str(self.actual),
        }

    def __str__(self) -> str:
        end = f"..{self.date_end.isoformat()}" if self.date_end and self.date_end != self.date_start else ""
        return (
            f"account {self.account} {self.date_start.isoformat()}{end}: {self.check} "
            f"is {self.actual}, the statement says {self.expected}"
        )


class _Turnover:
    """The documents of one account and side, by date, with running sums, so that each
    interval's sum is two binary searches (no pass over all documents per interval). The
    running sums keep the finest scale seen so far; an interval's sum is brought back to
    the finest among its own documents, as adding only those would give it."""

    def __init__(self, entries: list[tuple[datetime.date, Decimal]]) -> None:
        entries.sort(key=lambda e: e[0])
        self.dates = [d for d, _ in entries]
        self.amounts = amounts = [amount for _, amount in entries]
        self.sums = [Decimal(0), *itertools.accumulate(amounts, _EXACT.add)]
        # exponent -> where its amounts are, in date order; none when all have one exponent,
        # as the running sums then have it too
        self.places: dict[int, list[int]] = {}
        if amounts and not all(map(amounts[0].same_quantum, amounts)):
            for i, amount in enumerate(amounts):
                self.places.setdefault(cast(int, amount.as_tuple().exponent), []).append(i)  # (finite)

    def between(self, first: datetime.date, last: datetime.date) -> Decimal:
        lo = bisect.bisect_left(self.dates, first)
        hi = bisect.bisect_right(self.dates, last)
        if hi <= lo:
            return Decimal(0)
        total = _EXACT.subtract(self.sums[hi], self.sums[lo])
        if not self.places:
            return total
        exponent = min(e for e, at in self.places.items() if (i := bisect.bisect_left(at, lo)) < len(at) and at[i] < hi)
        return total.quantize(Decimal((0, (1,), exponent)), context=_EXACT)


def _turnovers(documents: Iterable[Any], accounts: Iterable[str]) -> tuple[dict[str, _Turnover], dict[str, _Turnover]]:
    """The income and expense turnover of each of `accounts` (the statement's own: the
    counterparties', one per document at most, are never asked for)."""
    income: dict[str, list[tuple[datetime.date, Decimal]]] = {number: [] for number in accounts}
    expense: dict[str, list[tuple[datetime.date, Decimal]]] = {number: [] for number in income}
    for doc in documents:
        if (entries := income.get(doc.payee_account)) is not None:
            entries.append((doc.income_date or doc.doc_date, doc.amount))
        if (entries := expense.get(doc.counterparty_account)) is not None:
            entries.append((doc.outcome_date or doc.doc_date, doc.amount))
    return (
        {number: _Turnover(entries) for number, entries in income.items()},
        {number: _Turnover(entries) for number, entries in expense.items()},
    )


_NONE = _Turnover([])


def _last_day(interval: Any) -> datetime.date:
    last: datetime.date = interval.date_end or interval.date_start
    return last


def _covered(intervals: Iterable[Any]) -> list[tuple[datetime.date, datetime.date]]:
    """The days an account's intervals cover, as sorted disjoint (first, last) runs."""
    runs: list[tuple[datetime.date, datetime.date]] = []
    for first, last in sorted((i.date_start, _last_day(i)) for i in intervals):
        if last < first:
            continue  # (an interval that ends before it starts covers no day)
        if runs and first <= runs[-1][1]:
            runs[-1] = (runs[-1][0], max(runs[-1][1], last))
        else:
            runs.append((first, last))
    return runs


def _outside(covered: list[tuple[datetime.date, datetime.date]], turnover: _Turnover) -> dict[datetime.date, Decimal]:
    """The sum of the documents of each day no run of `covered` holds, in date order: the
    documents of each gap between runs found by bisection, so only those are visited."""
    dates = turnover.dates
    sums: dict[datetime.date, Decimal] = {}
    ends = [None, *(last for _, last in covered)]
    starts = [*(first for first, _ in covered), None]
    for after, before in zip(ends, starts):  # the days after one run and before the next
        lo = 0 if after is None else bisect.bisect_right(dates, after)
        hi = len(dates) if before is None else bisect.bisect_left(dates, before)
        for day, amount in zip(dates[lo:hi], turnover.amounts[lo:hi]):
            sums[day] = _EXACT.add(sums.get(day, Decimal(0)), amount)
    return sums


def reconcile(statement: Any) -> list[Finding]:
    """The findings of a varnok.TypedStatement, account by account (in the statement's order),
    interval by interval, check by check (opening, balance, income, expense), then the days
    outside the account's intervals. For an interval from S to E (S when it has no end date):
      opening: the start amount must equal the end amount of the interval before it (of
        those listed before, the one that ends last), when that one ends before S and gives
        its end amount;
      balance: start + income - expense must equal the end amount, when all four are given;
      income: the income total must equal the sum of the documents whose payee account is the
        account and whose income date (ДатаПоступило, else Дата) lies in [S, E];
      expense: likewise with the payer account and the date debited (ДатаСписано, else Дата).
    outside income, outside expense: for an account with intervals, each day that none of
    them covers and whose such documents do not sum to 0, with their sum (the statement
    says 0)."""
    require_typed(statement, "varnok.reconcile takes")
    income, expense = _turnovers(statement.documents, statement.accounts)
    findings = []
    for number, account in statement.accounts.items():
        previous = None  # of the intervals before, the one that ends last (the later on a tie)
        for interval in account.intervals:
            first, last = interval.date_start, _last_day(interval)

            def finding(check: str, expected: Decimal, actual: Decimal) -> None:
                if expected != actual:
                    findings.append(Finding(number, first, interval.date_end, check, expected, actual))

            if previous is not None and previous.end_amount is not None and _last_day(previous) < first:
                finding("opening", interval.start_amount, previous.end_amount)
            if previous is None or _last_day(interval) >= _last_day(previous):
                previous = interval

            if None not in (interval.end_amount, interval.total_income, interval.total_expense):
                computed = _EXACT.subtract(_EXACT.add(interval.start_amount, interval.total_income), interval.total_expense)
                finding("balance", interval.end_amount, computed)
            if interval.total_income is not None:
                finding("income", interval.total_income, income.get(number, _NONE).between(first, last))
            if interval.total_expense is not None:
                finding("expense", interval.total_expense, expense.get(number, _NONE).between(first, last))
        covered = _covered(account.intervals)
        if covered:
            days = [_outside(covered, side.get(number, _NONE)) for side in (income, expense)]
            for day in sorted({*days[0], *days[1]}):
                for check, sums in zip(("outside income", "outside expense"), days):
                    if sums.get(day, 0) != 0:
                        findings.append(Finding(number, day, None, check, Decimal(0), sums[day]))
    return findings
