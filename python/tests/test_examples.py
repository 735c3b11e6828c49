"""The scripts in examples/ run on real input and print what they promise."""

import csv
import importlib.util
import io
import subprocess
import sys
from datetime import date
from decimal import Decimal
from pathlib import Path
from types import ModuleType

import pytest

import varnok_py

REPO = Path(__file__).resolve().parents[2]
EXAMPLES = REPO / "examples"
README_SAMPLE = REPO / "tests" / "data" / "statement-cp1251.txt"

ACCOUNT = """СекцияРасчСчет
ДатаНачала=01.01.2024
ДатаКонца=31.01.2024
РасчСчет=40702810900000000001
НачальныйОстаток={opening}
ВсегоПоступило=1500.00
ВсегоСписано=200.00
КонечныйОстаток=1400.50
КонецРасчСчет
"""
DOCUMENT = """СекцияДокумент=Платежное поручение
Номер={number}
Дата={date}
Сумма={amount}
НазначениеПлатежа=Оплата по счету 7
ПлательщикИНН=7700000000
ПлательщикБИК=044525000
ПлательщикБанк1=Банк
ПлательщикСчет=40702810900000000009
Плательщик1=ООО "Поставщик"
ПолучательИНН=7800000000
ПолучательСчет=40702810900000000001
ПолучательБИК=044525001
ПолучательБанк1=Банк
ДатаПоступило=05.01.2024
КонецДокумента
"""


def statement(*sections: str) -> str:
    return "1CClientBankExchange\nВерсияФормата=1.03\n" + "".join(sections) + "КонецФайла\n"


def load(name: str) -> ModuleType:
    spec = importlib.util.spec_from_file_location(name, EXAMPLES / f"{name}.py")
    assert spec is not None and spec.loader is not None
    module = importlib.util.module_from_spec(spec)
    spec.loader.exec_module(module)
    return module


def run(script: str, path: Path) -> subprocess.CompletedProcess[str]:
    return subprocess.run(
        [sys.executable, str(EXAMPLES / script), str(path)], capture_output=True, text=True, timeout=60
    )


@pytest.fixture
def cp1251_file(tmp_path: Path) -> Path:
    path = tmp_path / "statement.txt"
    text = statement(
        ACCOUNT.format(opening="100.50"),
        DOCUMENT.format(number="1", date="05.01.2024", amount="1500.00"),
        DOCUMENT.format(number="2", date="06.01.2024", amount="0.50"),
        DOCUMENT.format(number="3", date="06.01.2024", amount=""),
    )
    path.write_bytes(text.replace("\n", "\r\n").encode("cp1251"))
    return path


class TestSummary:
    def test_shows_periods_documents_per_kind_and_warnings(self, cp1251_file: Path) -> None:
        result = run("summary.py", cp1251_file)
        assert result.returncode == 0, result.stderr
        out = result.stdout.splitlines()
        assert out[0] == "Statement in cp1251: accounts 1, documents 2, warnings 1"
        assert "  ВерсияФормата = 1.03" in out
        assert (
            "    2024-01-01 .. 2024-01-31  opening 100.50  received 1500.00  paid 200.00  closing 1400.50"
        ) in out
        # Totals are exact decimals: 1500.00 + 0.50.
        assert "      2           1500.50  Платежное поручение" in out
        assert out[-1].startswith("  line 59: invalid value: string \"\"")

    @pytest.mark.parametrize(
        ("text", "error"),
        [
            ("Выписка\n", "{path}: Input is not a 1C statement"),
            ("1CClientBankExchange\nмусор\n", "{path}:2: Unrecognized line: 'мусор'"),
            ("1CClientBankExchange\nСекцияРасчСчет\n", "{path}: Statement is not finished"),
        ],
    )
    def test_reports_a_failed_read(self, tmp_path: Path, text: str, error: str) -> None:
        path = tmp_path / "bad.txt"
        path.write_text(text, encoding="utf-8")
        result = run("summary.py", path)
        assert (result.returncode, result.stdout) == (1, "")
        assert result.stderr == error.format(path=path) + "\n"

    @pytest.mark.skipif(not README_SAMPLE.is_file(), reason="no sample statement in tests/data")
    def test_readme_command_reads_the_sample_in_the_repository(self) -> None:
        result = run("summary.py", README_SAMPLE)
        assert result.returncode == 0, result.stderr
        assert result.stdout.startswith("Statement in cp1251: ")


@pytest.mark.parametrize("script", ["summary.py", "to_csv.py", "normalise_hook.py"])
def test_a_missing_file_is_one_line_not_a_traceback(tmp_path: Path, script: str) -> None:
    result = run(script, tmp_path / "missing.txt")
    assert (result.returncode, result.stderr) == (1, f"{tmp_path / 'missing.txt'}: No such file or directory\n")


class TestToCsv:
    def test_converts_dates_and_amounts(self, cp1251_file: Path) -> None:
        to_csv = load("to_csv")
        payment = to_csv.to_payment(varnok_py.parse(cp1251_file.read_bytes()).documents[0])
        assert payment.issued == date(2024, 1, 5)
        assert payment.credited == date(2024, 1, 5)
        assert payment.debited is None
        # The scale survives: 1500.00, not 1500.
        assert str(payment.amount) == "1500.00" and payment.amount == Decimal(1500)
        assert payment.payer == 'ООО "Поставщик"'

    def test_writes_one_row_per_document_and_reports_skipped_ones(self, cp1251_file: Path) -> None:
        result = run("to_csv.py", cp1251_file)
        assert result.returncode == 0, result.stderr
        rows = list(csv.DictReader(io.StringIO(result.stdout, newline="")))
        assert [(r["number"], r["issued"], r["amount"], r["debited"]) for r in rows] == [
            ("1", "2024-01-05", "1500.00", ""),
            ("2", "2024-01-06", "0.50", ""),
        ]
        assert result.stderr.startswith(f"{cp1251_file}:59: document skipped: invalid value")

    def test_a_year_the_date_type_cannot_hold_skips_its_document(self, tmp_path: Path) -> None:
        path = tmp_path / "year0.txt"
        path.write_text(statement(DOCUMENT.format(number="1", date="05.01.0000", amount="1.00"),
                                  DOCUMENT.format(number="2", date="05.01.2024", amount="2.00")), encoding="utf-8")
        result = run("to_csv.py", path)
        assert result.returncode == 0 and result.stderr.startswith(f"{path}: document 1 skipped: ")
        assert [r["number"] for r in csv.DictReader(io.StringIO(result.stdout, newline=""))] == ["2"]


class TestNormaliseHook:
    @pytest.mark.parametrize(
        ("amount", "day", "want_amount"),
        [("1 500,00", "05/01/2024", "1500.00"), ("1\u00a0500.5", "2024-01-05", "1500.5"), ("7", "05-01-2024", "7")],
    )
    def test_repairs_what_the_strict_read_drops(self, amount: str, day: str, want_amount: str) -> None:
        normalise = load("normalise_hook").normalise
        text = statement(DOCUMENT.format(number="1", date=day, amount=amount))
        repaired = varnok_py.parse(text, hooks=[normalise])
        assert repaired.warnings == []
        [document] = repaired.documents
        assert (document.doc_date, document.amount) == ("2024-01-05", want_amount)

    def test_repairs_account_balances(self) -> None:
        normalise = load("normalise_hook").normalise
        text = statement(ACCOUNT.format(opening="1 000,50"))
        with pytest.raises(varnok_py.SyntaxError, match="Account parse error"):
            varnok_py.parse(text)
        [interval] = varnok_py.parse(text, hooks=[normalise]).accounts["40702810900000000001"].intervals
        assert interval.start_amount == "1000.50"

    def test_script_compares_both_reads(self, tmp_path: Path) -> None:
        path = tmp_path / "statement.txt"
        path.write_text(statement(DOCUMENT.format(number="7", date="05/01/2024", amount="10,00")), encoding="utf-8")
        result = run("normalise_hook.py", path)
        assert result.returncode == 0, result.stderr
        assert result.stdout.splitlines() == [
            "without the hook: documents 0, warnings 1",
            "with the hook: documents 1, warnings 0",
            "  2024-01-05           10.00  Платежное поручение 7",
        ]
