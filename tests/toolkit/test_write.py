"""varnok.write: what it writes reads back as the same values, and what it refuses the
reader would indeed not read back."""
from __future__ import annotations

import os
import re
import signal
import stat
import threading
from datetime import date, datetime
from decimal import Decimal
from pathlib import Path
from typing import Any

import pytest
import varnok_py
from hypothesis import HealthCheck, given, settings
from hypothesis import strategies as st

import varnok
from conftest import HEADER, OTHER, OWN, account, account_section, document, statement
from varnok import writer
from varnok._fields import DOCUMENT_FIELDS
from varnok._unread_keys import unread_keys
from varnok._write_encoding import CP1251_ERRORS
from varnok._write_values import WHITE_SPACE
from varnok.cli import main
from varnok.typed import FIELD_NAMES, header_lines
from varnok.writer import WriteError, write, write_file

REAL = Path(__file__).resolve().parents[2] / ".." / "shared" / "samples" / "real"
SAMPLE = Path(__file__).resolve().parents[2] / "tests" / "data" / "statement-cp1251.txt"
ENCODINGS = ("cp1251", "utf-8")
REQUIRED = {f.name for f in DOCUMENT_FIELDS if f.required}


def payment_order(**changes: object) -> dict[str, object]:
    document: dict[str, object] = {
        "doc_number": "17", "doc_type": "Платежное поручение", "doc_date": date(2024, 1, 5),
        "amount": Decimal("1500.00"), "purpose": "Оплата по счету № 5 от 01.01.2024, НДС не облагается",
        "counterparty_inn": "7707083893", "counterparty_bic": "044525225", "counterparty_bank1": "ПАО Сбербанк",
        "counterparty_account": "40702810938000000001", "payee_inn": "7728168971", "payee_account":
        "40702810400000000002", "payee_bic": "044525593", "payee_bank1": "АО «Альфа-Банк»",
        "payee": "ООО «Ромашка»", "ordering": "5", "outcome_date": date(2024, 1, 5), "payment_type": "",
    }
    document.update(changes)
    return {"header": {"ВерсияФормата": "1.03", "Отправитель": "Бухгалтерия"}, "documents": [document]}


def values(statement: varnok_py.Statement) -> tuple[object, ...]:
    header = {k: v for k, v in statement.header.items() if k != "Кодировка"}
    return header, statement.accounts, statement.documents


def written(data: object, encoding: str, extra_keys: list[Any] | None = None) -> bytes | None:
    """write(data), or None when the writer refuses the output as a whole, which it may do
    only when the reader would indeed not take those bytes for the text written."""
    try:
        return write(data, encoding=encoding, extra_keys=extra_keys)
    except WriteError as exc:
        assert encoding == "cp1251" and "would not take" in str(exc)
        lines = writer._lines(data, encoding, None, extra_keys)
        unchecked = "\r\n".join([*lines, ""]).encode(encoding, CP1251_ERRORS)
        with pytest.raises(varnok_py.NotStatementError):
            varnok_py.parse(unchecked)
        return None


def python_only(write_it: Any) -> bytes:
    """What write_it() writes without the native path."""
    native, writer._native = writer._native, None
    try:
        result: bytes = write_it()
        return result
    finally:
        writer._native = native


class TestPaymentOrder:
    def test_file_reads_back_with_its_decimal_and_date_values(self, tmp_path: Path) -> None:
        path = tmp_path / "to_bank.txt"
        write_file(path, payment_order())
        statement = varnok_py.parse(path.read_bytes())
        assert list(statement.header.items())[:3] == [
            ("ВерсияФормата", "1.03"), ("Кодировка", "Windows"), ("Отправитель", "Бухгалтерия")]
        (document,) = statement.documents
        assert (document.amount, document.doc_date, document.outcome_date) == ("1500.00", "2024-01-05", "2024-01-05")
        assert (document.payee, document.payment_type, document.income_date) == ("ООО «Ромашка»", "", None)
        assert statement.encoding == "cp1251" and not statement.warnings
        assert os.listdir(tmp_path) == ["to_bank.txt"]

    def test_links_and_pipes_are_written_through_not_replaced(self, tmp_path: Path) -> None:
        expected = write(payment_order())
        (tmp_path / "file.txt").write_bytes(b"old")
        (tmp_path / "link.txt").symlink_to("file.txt")
        write_file(tmp_path / "link.txt", payment_order())  # the link stays, the file is new
        assert (tmp_path / "link.txt").is_symlink() and (tmp_path / "file.txt").read_bytes() == expected
        os.mkfifo(tmp_path / "pipe")
        got: list[bytes] = []  # a pipe's open waits for its reader (left waiting if the pipe is replaced)
        reader = threading.Thread(target=lambda: got.append((tmp_path / "pipe").read_bytes()), daemon=True)
        reader.start()
        write_file(tmp_path / "pipe", payment_order())
        reader.join(60)
        assert got == [expected] and (tmp_path / "pipe").is_fifo()
        with open(tmp_path / "file.txt", "wb") as out:  # /dev/stdout of a redirected command
            write_file(f"/dev/fd/{out.fileno()}", payment_order())
            assert os.fstat(out.fileno()).st_nlink == 1  # still the file, not one replaced
        assert (tmp_path / "file.txt").read_bytes() == expected
        assert sorted(os.listdir(tmp_path)) == ["file.txt", "link.txt", "pipe"]  # no temporary file left

    def test_a_replaced_file_keeps_its_permissions(self, tmp_path: Path) -> None:
        path = tmp_path / "private.txt"
        path.write_bytes(b"old")
        path.chmod(0o600)
        write_file(path, payment_order())
        assert stat.S_IMODE(path.stat().st_mode) == 0o600 and path.read_bytes() == write(payment_order())

    def test_lines_follow_the_field_table(self) -> None:
        text = write(payment_order(), encoding="utf-8", newline="\n").decode()
        keys = [line.partition("=")[0] for line in text.splitlines()]
        document = keys[keys.index("СекцияДокумент"):keys.index("КонецДокумента")]
        assert document[0] == "СекцияДокумент"
        assert document[1:] == [f.key for f in DOCUMENT_FIELDS if f.key in document[1:]]
        assert text.endswith("КонецДокумента\nКонецФайла\n") and "Сумма=1500.00\n" in text

    @pytest.mark.parametrize(("amount", "text"), [
        (Decimal("1E+3"), "1000"), (Decimal("-0.00"), "0.00"), ("+7.50", "7.50"), (12, "12"),
        (Decimal("-79228162514264337593543950335"), "-79228162514264337593543950335"),
        (Decimal("0.0000000000000000000000000001"), "0.0000000000000000000000000001"),
    ])
    def test_amounts_keep_value_and_scale(self, amount: object, text: str) -> None:
        data = write(payment_order(amount=amount), encoding="utf-8")
        assert f"Сумма={text}\r\n".encode() in data
        TestRoundTrip.check_parsed(varnok_py.parse(data))

    @pytest.mark.parametrize(("day", "text"), [
        ("0999-03-01", "01.03.0999"), ("+10000-12-31", "31.12.+10000"), ("-0004-02-29", "29.02.-0004"),
        ("0000-02-29", "29.02.0000"), (date(1, 1, 1), "01.01.0001")])
    def test_dates_read_back_in_any_year(self, day: object, text: str) -> None:
        data = write(payment_order(doc_date=day), encoding="utf-8")
        assert f"Дата={text}\r\n".encode() in data
        assert varnok_py.parse(data).documents[0].doc_date == (day if isinstance(day, str) else day.isoformat())
        TestRoundTrip.check_parsed(varnok_py.parse(data))


REFUSALS = [
    # (what, change to the payment order, encoding, message)
    ("LF in a text", {"purpose": "a\nb"}, "utf-8", r"documents\[0\] \(Номер '17'\), purpose \(НазначениеПлатежа\): "
                                                   r"contains a line break"),
    ("leading no-break space", {"payee": "\xa0ООО"}, "utf-8", r"payee .*starts with white space \(U\+00A0\)"),
    ("trailing space in the kind", {"doc_type": "Платежное поручение "}, "utf-8", r"doc_type .*ends with white"),
    ("missing required field", {"amount": None}, "utf-8", r"amount \(Сумма\): is missing"),
    ("unknown field", {"amout": Decimal(1)}, "utf-8", r"documents\[0\].*unknown field 'amout'"),
    ("text of another type", {"payee_inn": 7728168971}, "utf-8", r"payee_inn .*expected text \(str\), got int"),
    ("float amount", {"amount": 1500.0}, "utf-8", r"a float cannot hold an amount exactly"),
    ("29 digits after the point", {"amount": Decimal("0." + "1" * 29)}, "utf-8", r"29 digits after the point"),
    ("amount beyond 96 bits", {"amount": Decimal(2**96)}, "utf-8", r"more digits than .* 96-bit"),
    # (refused as they are: spelt out, they take a gigabyte, or pass Python's 4,300 digits)
    ("an exponent of a billion", {"amount": Decimal("1E+999999999")}, "utf-8", r"more digits than .* 96-bit"),
    ("5,000 digits", {"amount": Decimal("7" * 5000)}, "utf-8", r"more digits than .* 96-bit"),
    ("5,000 places", {"amount": Decimal("1E-5000")}, "utf-8", r"5000 digits after the point"),
    ("40 places of 41 digits", {"amount": Decimal("1." + "1" * 40)}, "utf-8", r"40 digits after the point"),
    ("NaN amount", {"amount": Decimal("NaN")}, "utf-8", r"NaN is not an amount"),
    ("amount with a comma", {"amount": "1 500,00"}, "utf-8", r"'1 500,00' is not a decimal amount"),
    ("datetime", {"doc_date": datetime(2024, 1, 5, 10, 30)}, "utf-8", r"doc_date .*time of day"),
    ("day not in the calendar", {"doc_date": "2023-02-29"}, "utf-8", r"'2023-02-29' is not a day"),
    ("year beyond the reader", {"income_date": "+262143-01-01"}, "utf-8", r"year 262143 is outside"),
    ("date in the file's form", {"doc_date": "05.01.2024"}, "utf-8", r"not a date \(YYYY-MM-DD\)"),
    ("no windows-1251 code", {"purpose": "Готово ✓"}, "cp1251", r"purpose .*U\+2713 CHECK MARK.*windows-1251"),
    ("lone surrogate", {"purpose": "a\udc00"}, "utf-8", r"purpose .*U\+DC00.*lone surrogate"),
    ("would not pass for text", {"purpose": "«»" * 2000}, "cp1251", r"purpose .*U\+00AB.*would not take"),
]
HEADER_REFUSALS = [
    ("'=' in a key", {"a=b": "1"}, r"header\['a=b'\]: the key contains '='"),
    ("document marker as a key", {"СекцияДокумент": "1"}, r"the key is СекцияДокумент"),
    ("white space around a key", {"Отправитель ": "1"}, r"the key ends with white space"),
    ("CR at a value's end", {"Отправитель": "1\r"}, r"header\['Отправитель'\]: ends with white space \(U\+000D\)"),
]


class TestRefusals:
    @pytest.mark.parametrize(("change", "encoding", "message"), [case[1:] for case in REFUSALS],
                             ids=[case[0] for case in REFUSALS])
    def test_document_values(self, tmp_path: Path, change: dict[str, object], encoding: str, message: str) -> None:
        path = tmp_path / "out.txt"
        with pytest.raises(WriteError, match=message) as raised:
            write_file(path, payment_order(**change), encoding=encoding)
        assert os.listdir(tmp_path) == []
        assert raised.value.section == "documents" and raised.value.index == 0

    @pytest.mark.parametrize(("header", "message"), [case[1:] for case in HEADER_REFUSALS],
                             ids=[case[0] for case in HEADER_REFUSALS])
    def test_header(self, tmp_path: Path, header: dict[str, str], message: str) -> None:
        path = tmp_path / "out.txt"
        path.write_bytes(b"old")
        with pytest.raises(WriteError, match=message):
            write_file(path, {**payment_order(), "header": header})
        assert os.listdir(tmp_path) == ["out.txt"] and path.read_bytes() == b"old"

    @pytest.mark.parametrize(("account", "message"), [
        ({"number": "1", "date_start": "2024-01-01", "start_amont": "1"}, r"unknown field 'start_amont'"),
        ({"number": "1", "bogus": 5, "intervals": [{"date_start": "2024-01-01", "start_amount": "1"}]},
         r"unknown field 'bogus'"),
        ({"number": "1", "start_amount": "2", "intervals": [{"date_start": "2024-01-01", "start_amount": "1"}]},
         r"unknown field 'start_amount'"),  # beside its intervals, it would be passed over
        ({"number": "1", "intervals": [{"date_start": "2024-01-01", "start_amount": "1", "number": "999"}]},
         r"an interval's number '999' is not its account's"),
    ])
    def test_account_data(self, account: dict[str, object], message: str) -> None:
        with pytest.raises(WriteError, match=r"accounts\[0\] \(РасчСчет '1'\): " + message):
            write({"header": {}, "accounts": [account]})

    @pytest.mark.parametrize("container", [list, tuple, iter, lambda items: (item for item in items)])
    def test_an_account_s_intervals_in_any_iterable(self, container: Any) -> None:
        intervals = [{"date_start": "2024-01-01", "start_amount": "1"}, {"date_start": "2024-02-01", "start_amount": "2"}]
        data = write({"header": {}, "accounts": [{"number": "1", "intervals": container(intervals)}]}, encoding="utf-8")
        assert data.count("СекцияРасчСчет".encode()) == 2

    def test_statement_without_sections(self) -> None:
        # A statement whose every document was dropped reads with no section; its file would not.
        statement = varnok_py.parse("1CClientBankExchange\nСекцияДокумент=\nКонецДокумента\nКонецФайла\n")
        with pytest.raises(WriteError, match="no account and no document section"):
            write(statement)

    @pytest.mark.parametrize("statement", [None, [payment_order()], "1CClientBankExchange"])
    def test_what_is_no_statement_is_named(self, statement: object) -> None:
        with pytest.raises(TypeError, match="expected a varnok_py.Statement, .* not " + type(statement).__name__):
            write(statement)

    @pytest.mark.parametrize(("purpose", "message"), [("✓", r"U\+2713"), ("«»" * 2000, "would not take")])
    def test_refusals_reach_a_parsed_statement_through_the_native_path(self, purpose: str, message: str) -> None:
        source = write(payment_order(purpose=purpose), encoding="utf-8")
        with pytest.raises(WriteError, match=r"documents\[0\] \(Номер '17'\), purpose .*" + message):
            write(varnok_py.parse(source), encoding="cp1251")

    @pytest.mark.parametrize(("pair", "message"), [
        (("Сумма", "1"), "the key is a document field's key"), (("a=b", "1"), "the key contains '='"),
        (("СекцияДокумент", "x"), "would start a document section"), (("Ключ", "a\nb"), "Ключ: contains a line break"),
        ((" Ключ", "1"), "starts with white space"), (("Ключ", "✓"), r"Ключ: .*U\+2713")])
    def test_extra_keys(self, pair: tuple[str, str], message: str) -> None:
        with pytest.raises(WriteError, match=r"documents\[0\] \(Номер '17'\), .*" + message):
            write(payment_order(), extra_keys=[[pair]])
        with pytest.raises(ValueError, match="extra_keys holds 2 entries for 1 documents"):
            write(payment_order(), extra_keys=[[], []])

    @pytest.mark.parametrize(("options", "message"), [
        ({"encoding": "koi8-r"}, "encoding must be 'cp1251' or 'utf-8'"), ({"newline": "\r"}, "newline must be")])
    def test_options(self, options: dict[str, str], message: str) -> None:
        with pytest.raises(ValueError, match=message):
            write(payment_order(), **options)


# Texts the reader keeps as they are: no LF, no White_Space at the ends; '=' and a CR inside
# are fine. windows-1251 characters only, so both encodings can be tried.
_CHARS = st.sampled_from("aZ09 =.,-\"\\\r\t№«»€\x98\x00ЁёАяЖ")
TEXT = st.text(_CHARS, max_size=12).filter(lambda t: not t or (t[0] not in WHITE_SPACE and t[-1] not in WHITE_SPACE))
KEY = TEXT.filter(lambda t: "=" not in t and t not in ("СекцияДокумент", "Кодировка"))
AMOUNT = st.builds(lambda sign, mantissa, scale: Decimal((sign, tuple(map(int, str(mantissa))), -scale)),
                   st.integers(0, 1), st.integers(0, 2**96 - 1), st.integers(0, 28))
FIELD_VALUE = {"text": TEXT, "date": st.dates(), "amount": AMOUNT}


@st.composite
def documents(draw: st.DrawFn) -> dict[str, object]:
    return {f.name: draw(FIELD_VALUE[f.kind] if f.required else st.none() | FIELD_VALUE[f.kind])
            for f in DOCUMENT_FIELDS}


@st.composite
def accounts(draw: st.DrawFn) -> dict[str, object]:
    # Distinct start dates in order: the reader sorts intervals by them.
    starts = sorted(draw(st.sets(st.dates(), min_size=1, max_size=3)))
    return {"number": draw(TEXT), "intervals": [
        {"date_start": start, "date_end": draw(st.none() | st.dates()), "start_amount": draw(AMOUNT),
         **{name: draw(st.none() | AMOUNT) for name in ("end_amount", "total_income", "total_expense")}}
        for start in starts]}


STATEMENTS = st.fixed_dictionaries({
    "header": st.dictionaries(KEY, TEXT, max_size=4),
    "accounts": st.lists(accounts(), max_size=2, unique_by=lambda a: a["number"]),
    "documents": st.lists(documents(), min_size=1, max_size=4),
})


def same(kind: str, text: str | None, value: Any) -> bool:
    """Whether the reader's text is the value given: texts as they are, dates in
    year-month-day form, amounts equal and with the same exponent."""
    if value is None or text is None:
        return text is value
    if kind == "date":
        return text == value.isoformat()
    if kind == "amount":
        return Decimal(text) == value and Decimal(text).as_tuple().exponent == value.as_tuple().exponent
    return text == value


class TestRoundTrip:
    @settings(max_examples=150, deadline=None, suppress_health_check=[HealthCheck.too_slow])
    @given(data=STATEMENTS, encoding=st.sampled_from(ENCODINGS))
    def test_plain_data_reads_back(self, data: dict[str, object], encoding: str) -> None:
        output = written(data, encoding)
        if output is None:
            return
        if encoding == "cp1251":
            with pytest.raises(UnicodeDecodeError):
                output.decode("utf-8")
        statement = varnok_py.parse(output)
        assert not statement.warnings and dict(statement.header) == {**data["header"], "Кодировка": {
            "cp1251": "Windows", "utf-8": "UTF-8"}[encoding]}
        for got, given_document in zip(statement.documents, data["documents"], strict=True):
            assert all(same(f.kind, getattr(got, f.name), given_document[f.name]) for f in DOCUMENT_FIELDS)
        assert list(statement.accounts) == [a["number"] for a in data["accounts"]]
        for account, given_account in zip(statement.accounts.values(), data["accounts"]):
            for got, interval in zip(account.intervals, given_account["intervals"], strict=True):
                assert all(same(f.kind, getattr(got, f.name), interval[f.name]) for f in writer.INTERVAL_FIELDS)
        self.check_parsed(statement)

    def test_typed_statement_reads_back(self) -> None:
        typed = varnok.read(SAMPLE)
        again = varnok.read(write(typed, encoding="utf-8"))
        assert again.accounts == typed.accounts and typed.accounts
        assert [[getattr(d, n) for n in FIELD_NAMES] for d in again.documents] == \
            [[getattr(d, n) for n in FIELD_NAMES] for d in typed.documents]
        assert values(again.raw) == values(typed.raw)

    @pytest.mark.skipif(not REAL.is_dir(), reason="no real statements here")
    @pytest.mark.parametrize("name", sorted(p.name for p in REAL.glob("*.txt")) if REAL.is_dir() else [])
    def test_real_statements(self, name: str) -> None:
        data = (REAL / name).read_bytes()
        try:
            statement = varnok_py.parse(data)
        except varnok_py.ParseError:
            pytest.skip("does not parse")
        self.check_parsed(statement)
        # A bank's own keys (КвитанцияДата, УсловиеОплаты1, ...) go with their documents.
        extra = unread_keys(data, statement)
        assert extra is not None
        for encoding in ENCODINGS:
            output = written(statement, encoding, extra)
            if output is not None:
                again = varnok_py.parse(output)
                assert values(again) == values(statement) and unread_keys(output, again) == extra
                assert python_only(lambda: write(statement, encoding=encoding, extra_keys=extra)) == output

    @staticmethod
    def check_parsed(statement: varnok_py.Statement) -> None:
        """Written in either encoding, the statement reads back value for value, and the
        native path writes the bytes the Python path writes."""
        for encoding in ENCODINGS:
            output = written(statement, encoding)
            if output is None:
                continue
            again = varnok_py.parse(output)
            assert values(again) == values(statement) and not again.warnings
            assert python_only(lambda: write(statement, encoding=encoding)) == output


class TestCommandLine:
    def test_statement_export_names_the_file_and_line_of_what_it_cannot_write(
            self, tmp_path: Path, capsys: pytest.CaptureFixture[str]) -> None:
        first, second = tmp_path / "a.txt", tmp_path / "b.txt"
        write_file(first, payment_order())
        write_file(second, {"documents": [payment_order()["documents"][0], payment_order(purpose="✓")["documents"][0]]},
                   encoding="utf-8")
        out = tmp_path / "all.txt"
        with pytest.raises(WriteError) as raised:
            varnok.to_statement([varnok.read(first), varnok.read(second)], out)
        line = varnok.read(second).documents[1].line
        assert str(raised.value).startswith(f"{second}:{line}: documents[1] (Номер '17'), purpose")
        assert (raised.value.source, raised.value.line, raised.value.index) == (str(second), line, 1)
        assert main(["export", str(first), str(second), "-f", "statement", "-o", str(out)]) == 1
        assert f"varnok export: {second}:{line}: documents[1] (Номер '17'), purpose" in capsys.readouterr().err
        assert main(["export", str(first), str(second), "-f", "statement", "-e", "utf-8", "-o", str(out)]) == 0
        assert [d.purpose for d in varnok.read(out).documents][-1] == "✓"

    def test_convert_reencodes_every_value(self, tmp_path: Path) -> None:
        source, target = tmp_path / "in.txt", tmp_path / "out.txt"
        write_file(source, payment_order())
        assert main(["convert", str(source), "--encoding", "utf-8", "-o", str(target), "--newline", "lf"]) == 0
        before, after = varnok_py.parse(source.read_bytes()), varnok_py.parse(target.read_bytes())
        assert values(after) == values(before) and after.header["Кодировка"] == "UTF-8"
        assert b"\r" not in target.read_bytes()

    def test_sigterm_leaves_no_temporary_file(self, tmp_path: Path, monkeypatch: pytest.MonkeyPatch) -> None:
        monkeypatch.setattr(os, "fsync", lambda fd: os.kill(os.getpid(), signal.SIGTERM))  # while writing
        previous = signal.signal(signal.SIGTERM, lambda *_: None)  # were it not caught: not the test run's end
        try:
            assert main(["convert", str(SAMPLE), "--encoding", "utf-8", "-o", str(tmp_path / "out.txt")]) == 143
        finally:
            signal.signal(signal.SIGTERM, previous)
        assert os.listdir(tmp_path) == []

    @pytest.mark.parametrize(("content", "message"), [
        (None, r"in\.txt: .*No such file"),
        ("1CClientBankExchange\nКонецФайла\n", r"in\.txt:2: .*КонецФайла"),
        (write(payment_order(purpose="✓"), encoding="utf-8"),
         r"in\.txt:5: cannot be written in cp1251: documents\[0\].*purpose"),  # (line 5: its section's start)
    ], ids=["missing", "unreadable", "not encodable"])
    def test_convert_failures_leave_no_output(self, tmp_path: Path, capsys: pytest.CaptureFixture[str],
                                              content: bytes | str | None, message: str) -> None:
        source = tmp_path / "in.txt"
        if content is not None:
            source.write_bytes(content if isinstance(content, bytes) else content.encode())
        assert main(["convert", str(source), "-e", "cp1251", "-o", str(tmp_path / "out.txt")]) == 1
        assert re.search(message, capsys.readouterr().err)
        assert not (tmp_path / "out.txt").exists()

    def test_keys_varnok_does_not_read_go_with_their_documents(self, tmp_path: Path) -> None:
        text = write(payment_order(), encoding="utf-8").decode()
        head, rest = text.split("СекцияДокумент", 1)
        # The header dict keeps the last of a key given twice; the file keeps both.
        head += "РасчСчет=40702810938000000001\r\nДокумент=Платежное поручение\r\nРасчСчет=4070\r\nДокумент=x\r\n"
        section = "СекцияДокумент" + rest.split("КонецДокумента")[0]
        own = "КвитанцияДата=05.01.2024\r\n Условие = a = b \r\nПусто=\r\nКвитанцияДата=второе\r\n"
        dropped = section.replace("Сумма=1500.00", "Сумма=x") + own + "КонецДокумента\r\n"
        source = tmp_path / "in.txt"
        source.write_text(head + section + own + "КонецДокумента\r\n" + dropped + "КонецФайла\r\n",
                          encoding="utf-8")
        expected = [(("КвитанцияДата", "05.01.2024"), ("Условие", "a = b"), ("Пусто", ""),
                     ("КвитанцияДата", "второе"))]
        assert unread_keys(source.read_bytes(), varnok_py.parse(source.read_bytes())) == expected
        for encoding in ENCODINGS:
            target = tmp_path / f"out-{encoding}.txt"
            assert main(["convert", str(source), "-e", encoding, "-o", str(target)]) == 1  # one dropped
            assert unread_keys(target.read_bytes(), varnok_py.parse(target.read_bytes())) == expected
            assert header(target.read_bytes()) == header(source.read_bytes())
        assert main(["export", str(source), str(target), "-f", "statement", "-o", str(tmp_path / "all.txt")]) == 1
        joined = (tmp_path / "all.txt").read_bytes()
        assert unread_keys(joined, varnok_py.parse(joined)) == expected * 2
        assert header(joined) == header(source.read_bytes())
        # In place, the dropped document would be lost: the file is left as it was.
        assert main(["convert", str(source), "-e", "cp1251", "-o", str(source)]) == 1
        assert "Сумма=x" in source.read_text(encoding="utf-8")

    def test_account_keys_that_cannot_be_kept_are_named(self, tmp_path: Path,
                                                        capsys: pytest.CaptureFixture[str]) -> None:
        source = tmp_path / "in.txt"
        source.write_text(statement(account_section({"ДатаНачала": "01.03.2024", " СвояОтметка ": "да",
                                                     "РасчСчет": OWN, "НачальныйОстаток": "0"}), document("1")),
                          encoding="cp1251")
        before = source.read_bytes()
        named = f"{source}:{before.decode('cp1251').split(chr(10)).index(' СвояОтметка =да') + 1}: СвояОтметка: "
        for args in (["convert", str(source), "-e", "utf-8", "-o", str(tmp_path / "out.txt")],
                     ["export", str(source), "-f", "statement", "-o", str(tmp_path / "all.txt")],
                     ["export", str(source), "-f", "statement", "--intervals", "-o", str(tmp_path / "all.txt")],
                     ["convert", str(source), "-e", "utf-8", "-o", str(source)]):
            assert main(args) == 1
            assert named in capsys.readouterr().err
        assert source.read_bytes() == before  # in place, it would be lost: not replaced

    def test_the_export_s_refusals_name_the_file(self, tmp_path: Path, capsys: pytest.CaptureFixture[str]) -> None:
        odd = tmp_path / "a\nb.txt"  # shown as a\x0ab.txt, on one line
        write_file(odd, {"header": {"Отправитель": "✓"}, "documents": payment_order()["documents"]}, encoding="utf-8")
        assert main(["export", str(odd), "-f", "statement", "-o", str(tmp_path / "all.txt")]) == 1
        assert capsys.readouterr().err == (f"varnok export: {tmp_path}/a\\x0ab.txt: header['Отправитель']: holds "
                                           "U+2713 CHECK MARK (✓), which windows-1251 cannot encode; write UTF-8 instead\n")

    @pytest.mark.parametrize("fmt", ["statement", "csv"])
    def test_an_export_never_reads_its_own_output(self, tmp_path: Path, fmt: str) -> None:
        folder = tmp_path / "in"
        folder.mkdir()
        write_file(folder / "a.txt", payment_order())
        out = folder / "all.txt"
        outputs = []
        for _ in range(2):  # found in the folder, an earlier run's output is left out
            assert main(["export", str(folder), "-f", fmt, "-o", str(out)]) == 0
            outputs.append(out.read_bytes())
        assert outputs[0] == outputs[1]
        before = (folder / "a.txt").read_bytes()  # named, it is refused and left as it was
        assert main(["export", str(folder / "a.txt"), "-f", fmt, "-o", str(folder / "a.txt")]) == 1
        assert (folder / "a.txt").read_bytes() == before

    def test_a_date_python_cannot_hold_is_exported_as_convert_writes_it(self, tmp_path: Path) -> None:
        source = tmp_path / "a.txt"  # (year 0)
        source.write_bytes(write(payment_order(), encoding="utf-8").replace(b"=05.01.2024", b"=05.01.0000"))
        assert main(["convert", str(source), "-e", "utf-8", "-o", str(tmp_path / "converted.txt")]) == 0
        assert main(["export", str(source), "-f", "statement", "-e", "utf-8", "-o", str(tmp_path / "all.txt")]) == 0
        assert (tmp_path / "all.txt").read_bytes() == (tmp_path / "converted.txt").read_bytes()

    def test_export_statement_joins_files(self, tmp_path: Path) -> None:
        first, second = payment_order(), payment_order(doc_number="18", amount=Decimal("0.5"))
        write_file(tmp_path / "a.txt", first)
        write_file(tmp_path / "b.txt", second)
        target = tmp_path / "all.dat"
        assert main(["export", str(tmp_path / "a.txt"), str(tmp_path / "b.txt"), "-f", "statement",
                     "-o", str(target), "-j", "1"]) == 0
        joined = varnok_py.parse(target.read_bytes())
        assert [(d.doc_number, d.amount) for d in joined.documents] == [("17", "1500.00"), ("18", "0.5")]

    def test_joined_statements_keep_each_header_account(self, tmp_path: Path) -> None:
        # A later file naming its account only in its header: its documents' direction.
        second = "40702810000000000002"
        first = tmp_path / "a.txt"
        first.write_text(statement(account(), document("1", payer=OTHER, payee=OWN)), "cp1251")
        later = tmp_path / "b.txt"
        later.write_text(statement(document("2", payer=second, payee=OTHER),
                                   header={**HEADER, "РасчСчет": second}), "cp1251")
        alone = [d.direction for p in (first, later) for d in varnok.read_file(p).documents]
        varnok.to_statement([varnok.read_file(first), varnok.read_file(later)], tmp_path / "joined.txt")
        joined = varnok.read_file(tmp_path / "joined.txt")
        assert [d.direction for d in joined.documents] == alone == ["income", "expense"]


def header(data: bytes) -> list[tuple[str, str]]:
    """The header's lines but Кодировка, which follows the encoding written."""
    return [pair for pair in header_lines(data, varnok_py.parse(data)) if pair[0] != "Кодировка"]
