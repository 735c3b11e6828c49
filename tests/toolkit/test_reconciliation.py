"""varnok.reconcile on made-up statements whose findings are known."""
import datetime
from decimal import Decimal

import pytest
from conftest import OTHER, OWN, THIRD, account, clean_statement, document, statement

import varnok


def findings(*sections):
    return [(f.check, f.expected, f.actual) for f in varnok.reconcile(varnok.read(statement(*sections)))]


def test_a_statement_that_adds_up_has_no_finding():
    assert varnok.reconcile(varnok.read(clean_statement())) == []


def test_balance_income_and_expense_findings():
    result = varnok.reconcile(varnok.read(statement(
        account(income="300.00", expense="40.50", closing="1200.00"),
        document("1", "250.00", payer=OTHER, payee=OWN),
        document("2", "40.50", payer=OWN, payee=THIRD),
    )))
    assert [(f.check, str(f.expected), str(f.actual)) for f in result] == [
        ("balance", "1200.00", "1259.50"), ("income", "300.00", "250.00")]
    f = result[0]
    assert (f.account, f.date_start, f.date_end) == (OWN, datetime.date(2024, 3, 1), datetime.date(2024, 3, 31))
    assert f.to_json() == {"account": OWN, "date_start": "2024-03-01", "date_end": "2024-03-31",
                           "check": "balance", "expected": "1200.00", "actual": "1259.50"}


def test_amounts_compare_by_value_not_scale():
    assert findings(account(income="250", expense="0", closing="1250"), document("1", "250.00")) == []


def test_sums_are_exact_where_floats_are_not():
    docs = [document(str(n), "0.10") for n in range(3)]
    assert findings(account(income="0.30"), *docs) == []
    assert findings(account(income="0.31"), *docs) == [("income", Decimal("0.31"), Decimal("0.30"))]


@pytest.mark.parametrize(("dates", "counted"), [
    ({"date": "01.03.2024"}, True),                                   # on the start date
    ({"date": "31.03.2024"}, True),                                   # on the end date
    ({"date": "01.04.2024"}, False),                                  # after it
    ({"date": "29.02.2024"}, False),                                  # before it
    ({"date": "01.04.2024", "ДатаПоступило": "31.03.2024"}, True),    # the income date wins
    ({"date": "15.03.2024", "ДатаПоступило": "01.04.2024"}, False),
])
def test_income_window(dates, counted):
    result = findings(account(income="5.00"), document("1", "5.00", **dates))
    # (a document of a day outside the interval is one of its own)
    assert result == ([] if counted else [("income", Decimal("5.00"), Decimal("0")),
                                          ("outside income", Decimal("0"), Decimal("5.00"))])


def test_expense_uses_the_date_debited():
    doc = document("1", "7.00", date="31.03.2024", payer=OWN, payee=OTHER, ДатаСписано="01.04.2024")
    assert findings(account(expense="7.00"), doc) == [("expense", Decimal("7.00"), Decimal("0")),
                                                      ("outside expense", Decimal("0"), Decimal("7.00"))]


def test_an_interval_without_end_date_is_one_day():
    sections = (account(end=None, income="5.00"), document("1", "5.00", date="01.03.2024"),
                document("2", "9.00", date="02.03.2024"))
    result = varnok.reconcile(varnok.read(statement(*sections)))
    assert [(f.check, f.actual, f.date_start) for f in result] == [
        ("outside income", Decimal("9.00"), datetime.date(2024, 3, 2))]
    assert findings(account(end=None, income="14.00"), *sections[1:]) == [
        ("income", Decimal("14.00"), Decimal("5.00")), ("outside income", Decimal("0"), Decimal("9.00"))]


def test_each_interval_and_account_on_its_own():
    result = varnok.reconcile(varnok.read(statement(
        account(start="01.03.2024", end="01.03.2024", income="5.00"),
        account(start="02.03.2024", end="02.03.2024", income="9.00"),
        account(number=OTHER, expense="14.00"),
        document("1", "5.00", date="01.03.2024"),
        document("2", "9.00", date="02.03.2024"),
    )))
    assert result == []


# Intervals of one account in a row, and the days none of them covers.
@pytest.mark.parametrize(("sections", "expected"), [
    ((account(start="01.03.2024", end="01.03.2024", closing="1100.00", income="0", expense="0", opening="1100.00"),
      account(start="02.03.2024", end="02.03.2024", opening="1000.00")),
     [("opening", "1000.00", "1100.00")]),                                   # 100.00 lost between them
    ((account(start="01.03.2024", end="02.03.2024", closing="1000.00"),
      account(start="02.03.2024", end="03.03.2024", opening="900.00")), []),  # overlapping: not a sequence
    ((account(start="01.03.2024", end="01.03.2024"), account(start="03.03.2024", end="03.03.2024"),
      document("1", "500.00", date="02.03.2024", payer=OWN, payee=OTHER),
      document("2", "1.5", date="02.03.2024", payer=OWN, payee=OTHER),
      document("3", "2.00", date="04.03.2024"), document("4", "3.00", date="01.03.2024")),
     [("outside expense", "0", "501.50"), ("outside income", "0", "2.00")]),  # a day between, a day after
    ((account(start="05.03.2024", end="01.03.2024"), document("1", "2.00", date="03.03.2024")), []),
    ((account(start="01.03.2024", end="31.03.2024", closing="1300.00"),   # a day inside the month: the
      account(start="15.03.2024", end="15.03.2024", opening="1100.00", closing="1200.00"),  # month comes
      account(start="01.04.2024", end="01.04.2024", opening="1300.00")), []),  # before April, not the day
    ((account(start="01.03.2024", end="01.03.2024"), document("1", "0.00", date="02.03.2024")), []),  # (0 is no gap)
])
def test_sequences_and_days_outside_the_intervals(sections, expected):
    assert [(check, str(e), str(a)) for check, e, a in findings(*sections)] == expected


def test_no_totals_no_checks():
    assert findings(account(), document("1", "5.00")) == []
