"""The generator and the pure-Python baseline: what the benchmark's numbers rest on."""

from __future__ import annotations

import datetime as dt
import re
import sys
from decimal import Decimal
from pathlib import Path

import pytest

sys.path.insert(0, str(Path(__file__).resolve().parents[1]))

import generate  # noqa: E402
import python_parser  # noqa: E402
import python_rows  # noqa: E402

REQUIRED = python_parser.REQUIRED
SIZE = 256 * 1024


@pytest.fixture(scope="module", params=generate.ENCODINGS)
def statement(request) -> tuple[str, bytes]:
    return request.param, generate.generate(SIZE, request.param, seed=7)


def sections(text: str, start: str, end: str) -> list[dict[str, str]]:
    out, current = [], None
    for line in text.split("\r\n"):
        if line.startswith(start):
            current = {}
        elif line == end:
            out.append(current)
            current = None
        elif current is not None:
            key, _, value = line.partition("=")
            assert key not in current, f"repeated key {key} in a section"
            current[key] = value
    return out


class TestGenerate:
    def test_same_arguments_same_bytes_other_seed_other_bytes(self):
        a = generate.generate(64 * 1024, "cp1251", seed=3)
        assert a == generate.generate(64 * 1024, "cp1251", seed=3)
        assert a != generate.generate(64 * 1024, "cp1251", seed=4)

    @pytest.mark.parametrize("size", [40 * 1024, 300 * 1024, 3 * 1024 * 1024])
    @pytest.mark.parametrize("encoding", generate.ENCODINGS)
    def test_size_is_within_two_documents_below_the_target(self, size, encoding):
        n = len(generate.generate(size, encoding))
        assert size - 3000 <= n <= size

    def test_frame_and_line_ends(self, statement):
        encoding, data = statement
        text = data.decode(encoding)
        assert text.startswith("1CClientBankExchange\r\n")
        assert text.endswith("\r\nКонецФайла\r\n")
        assert "\n" not in text.replace("\r\n", "")

    def test_windows_1251_is_not_valid_utf8(self):
        data = generate.generate(SIZE, "cp1251")
        with pytest.raises(UnicodeDecodeError):
            data.decode("utf-8")

    def test_typical_windows_1251_document_is_about_900_bytes(self):
        data = generate.generate(1024 * 1024, "cp1251")
        per_doc = len(data) / data.count("КонецДокумента".encode("cp1251"))
        assert 750 <= per_doc <= 1050

    def test_documents_carry_required_keys_and_a_share_of_optional_ones(self, statement):
        encoding, data = statement
        docs = sections(data.decode(encoding), "СекцияДокумент=", "КонецДокумента")
        assert len(docs) > 100
        for doc in docs:
            assert all(key in doc for key in REQUIRED)
            assert re.fullmatch(r"\d\d\.\d\d\.\d{4}", doc["Дата"])
            assert re.fullmatch(r"\d+\.\d\d", doc["Сумма"])
        share = lambda key: sum(key in d for d in docs) / len(docs)  # noqa: E731
        assert 0.01 <= share("ПоказательКБК") <= 0.1
        assert 0.8 <= share("Плательщик") < 1
        assert 0.3 <= share("ПлательщикКорсчет") < 1
        assert share("ДатаСписано") > 0.9 and 0.2 < share("ДатаПоступило") < 0.8

    def test_monthly_account_sections_add_up(self, statement):
        encoding, data = statement
        text = data.decode(encoding)
        accounts = sections(text, "СекцияРасчСчет", "КонецРасчСчет")
        assert len(accounts) == 12
        previous_end = None
        for a in accounts:
            start, income, expense, end = (Decimal(a[k]) for k in (
                "НачальныйОстаток", "ВсегоПоступило", "ВсегоСписано", "КонечныйОстаток"))
            assert start + income - expense == end
            assert end >= 0
            assert previous_end is None or start == previous_end
            previous_end = end
        docs = sections(text, "СекцияДокумент=", "КонецДокумента")
        own = accounts[0]["РасчСчет"]
        income = sum(Decimal(d["Сумма"]) for d in docs if d["ПолучательСчет"] == own)
        assert income == sum(Decimal(a["ВсегоПоступило"]) for a in accounts)


class TestPythonParser:
    def test_reads_a_generated_statement(self, statement):
        encoding, data = statement
        result = python_parser.parse(data)
        assert result.encoding == encoding
        assert result.documents and not result.warnings
        assert len(result.accounts) == 1
        assert len(next(iter(result.accounts.values()))) == 12

    @pytest.mark.parametrize("text, message", [
        ("X\r\n", "not a 1C statement"),
        ("1CClientBankExchange\r\nA=1\r\nСекцияРасчСчет\r\n", "not finished"),
        ("1CClientBankExchange\r\nСекцияДокумент=П\r\nКонецДокумента\r\nКонецФайла\r\nA=1\r\n", "after"),
    ])
    def test_rejects_what_is_not_a_statement(self, text, message):
        with pytest.raises(python_parser.StatementError, match=message):
            python_parser.parse(text.encode())

    def test_document_without_a_required_key_is_a_warning(self):
        text = "1CClientBankExchange\nСекцияДокумент=П\nНомер=1\nКонецДокумента\nКонецФайла\n"
        result = python_parser.parse(text)
        assert result.documents == [] and result.warnings == [(4, "missing field `Дата`")]


class TestPythonRows:
    def test_rows_hold_every_value_in_column_order(self, statement):
        encoding, data = statement
        documents, intervals, warnings = python_rows.rows(data)
        reference = python_parser.parse(data)
        assert len(documents) == len(reference.documents) and not warnings
        names = python_rows.DOCUMENT_NAMES
        for row, doc in zip(documents[::53], reference.documents[::53]):
            assert len(row) == 53
            assert row[names.index("doc_date")] == doc["Дата"].isoformat()
            assert row[names.index("payee_inn")] == doc["ПолучательИНН"]
            assert row[names.index("payee_kpp")] == doc.get("ПолучательКПП")
        assert len(intervals) == 12 and [len(i) for i in intervals] == [6] * 12
        assert [i[0] for i in intervals] == sorted(i[0] for i in intervals)

    def test_typed_rows_hold_date_and_decimal(self, statement):
        encoding, data = statement
        documents, _, _ = python_rows.rows(data, typed=True)
        names = python_rows.DOCUMENT_NAMES
        assert isinstance(documents[0][names.index("doc_date")], dt.date)
        assert isinstance(documents[0][names.index("amount")], Decimal)

    def test_document_without_a_required_key_is_a_warning(self):
        text = "1CClientBankExchange\nСекцияДокумент=П\nНомер=1\nКонецДокумента\nКонецФайла\n"
        assert python_rows.rows(text.encode()) == ([], [], [(4, "missing field `Дата`")])


class TestAgainstModule:
    """The baseline and varnok_py must agree on the generated inputs, or the ratio compares
    different work."""

    def test_same_documents(self, statement):
        varnok_py = pytest.importorskip("varnok_py")
        encoding, data = statement
        ours = python_parser.parse(data)
        theirs = varnok_py.parse(data)
        assert theirs.encoding == encoding and not theirs.warnings
        assert len(theirs.documents) == len(ours.documents)
        for a, b in zip(theirs.documents[::97], ours.documents[::97]):
            assert (a.doc_number, a.doc_date, Decimal(a.amount)) == (
                b["Номер"], b["Дата"].isoformat(), b["Сумма"])
        (number, intervals), = ours.accounts.items()
        assert [i.start_amount for i in theirs.accounts[number].intervals] == [
            str(i["НачальныйОстаток"]) for i in intervals]

    @pytest.mark.parametrize("typed", [False, True])
    def test_same_rows(self, statement, typed):
        varnok_py = pytest.importorskip("varnok_py")
        import bench

        _, data = statement
        assert bench.varnok_rows(varnok_py.parse, data, typed) == python_rows.rows(data, typed)
