"""varnok.validate and the requisite checks, on tables of good and bad values."""
import pytest
from conftest import OTHER, OWN, clean_statement, document, statement

import varnok
from varnok.validation import account_problem, bic_problem, inn_problem, kpp_problem

# Published requisites of large banks: INNs, and correspondent accounts with their BICs.
GOOD_INNS = ["7707083893", "7728168971", "7702070139", "7710140679", "500100732259", "12345"]
BAD_INNS = ["7707083894", "7707083890", "500100732258", "500100732269", "770708389", "77070838931", "77O7083893",
            "770708389\uff13", "\u0661\u0662\u0663\u0664\u0665"]  # digits of other scripts are not digits here
CORRESPONDENT = [("30101810400000000225", "044525225"), ("30101810200000000593", "044525593"),
                 ("30101810700000000187", "044525187"), ("30101810145250000974", "044525974")]


@pytest.mark.parametrize("inn", GOOD_INNS)
def test_good_inn(inn):
    assert inn_problem(inn) is None


@pytest.mark.parametrize("inn", BAD_INNS)
def test_bad_inn(inn):
    assert inn_problem(inn) is not None


@pytest.mark.parametrize(("kpp", "ok"), [("773601001", True), ("7736AB001", True), ("77360100", False),
                                         ("7736ab001", False), ("77360100X", False), ("7736A1001", True),
                                         ("7736\u0410\u0412001", False), ("7736\u00c4B001", False),
                                         ("\uff17736AB001", False)])
def test_kpp(kpp, ok):
    assert (kpp_problem(kpp) is None) is ok


@pytest.mark.parametrize(("bic", "ok"), [("044525225", True), ("04452522", False), ("04452522X", False),
                                         ("04452522\u0665", False)])
def test_bic(bic, ok):
    assert (bic_problem(bic) is None) is ok


@pytest.mark.parametrize(("account", "bic"), CORRESPONDENT)
def test_correspondent_accounts_and_every_single_digit_typo(account, bic):
    assert account_problem(account, bic, correspondent=True) is None
    for i in range(20):
        for digit in "0123456789":
            typo = account[:i] + digit + account[i + 1:]
            if typo != account:
                assert account_problem(typo, bic, correspondent=True) is not None, typo


@pytest.mark.parametrize(("account", "bic", "ok"), [
    (OWN, "044525225", True), (OTHER, "044525593", True),
    (OWN, "044525593", False),                         # the right account at the wrong bank
    ("4070281093800000000", "044525225", False),       # 19 digits
    ("03100643000000015400", "015402901", True),       # Treasury accounts carry no key
])
def test_settlement_accounts(account, bic, ok):
    assert (account_problem(account, bic) is None) is ok


def test_a_clean_statement_validates():
    assert varnok.validate(varnok.read(clean_statement())) == []


def test_problems_name_line_document_and_field():
    text = statement(document("1"), document("42", ПлательщикИНН="7728168970", ПолучательКПП="0",
                                              ПолучательБИК="044525593"))
    problems = varnok.validate(varnok.read(text))
    starts = [n for n, line in enumerate(text.split("\n"), 1) if line.startswith("СекцияДокумент")]
    assert [(p.document, p.field, p.key, p.value) for p in problems] == [
        ("42", "counterparty_inn", "ПлательщикИНН", "7728168970"),
        ("42", "payee_account", "ПолучательСчет", OWN)]
    assert all(p.line == starts[1] for p in problems)
    assert problems[0].to_json()["message"] == "INN control digit does not match"


@pytest.mark.parametrize(("amount", "problem"), [("-10.00", True), ("-0.0000001", True), ("0.00", False), ("10", False)])
def test_an_amount_below_zero_is_a_problem(amount, problem):
    # The reader takes a sign: a negative "debit" would offset a real one in the turnover.
    problems = varnok.validate(varnok.read(statement(document("7", amount))))
    assert [(p.field, p.key, p.value, p.message) for p in problems] == (
        [("amount", "Сумма", amount, "is negative: no payment is below zero")] if problem else [])
