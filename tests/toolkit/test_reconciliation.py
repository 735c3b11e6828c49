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
    assert result == ([] if counted else [("income", Decimal("5.00"), Decimal("0"))])


def test_expense_uses_the_date_debited():
    doc = document("1", "7.00", date="31.03.2024", payer=OWN, payee=OTHER, ДатаСписано="01.04.2024")
    assert findings(account(expense="7.00"), doc) == [("expense", Decimal("7.00"), Decimal("0"))]


def test_an_interval_without_end_date_is_one_day():
    sections = (account(end=None, income="5.00"), document("1", "5.00", date="01.03.2024"),
                document("2", "9.00", date="02.03.2024"))
    result = varnok.reconcile(varnok.read(statement(*sections)))
    assert [(f.check, f.actual, f.date_end) for f in result] == []
    assert findings(account(end=None, income="14.00"), *sections[1:]) == [
        ("income", Decimal("14.00"), Decimal("5.00"))]


def test_each_interval_and_account_on_its_own():
    result = varnok.reconcile(varnok.read(statement(
        account(start="01.03.2024", end="01.03.2024", income="5.00"),
        account(start="02.03.2024", end="02.03.2024", income="9.00"),
        account(number=OTHER, expense="14.00"),
        document("1", "5.00", date="01.03.2024"),
        document("2", "9.00", date="02.03.2024"),
    )))
    assert result == []


def test_no_totals_no_checks():
    assert findings(account(), document("1", "5.00")) == []
