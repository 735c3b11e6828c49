"""varnok.read: sources, typed values, direction, section lines, fingerprints, failures."""
import dataclasses
import datetime
import io
import re
import sys
from decimal import Decimal

import pytest
import varnok_py
from conftest import OTHER, OWN, REPO, THIRD, account, clean_statement, document, statement

import varnok
from varnok import _fields, typed
from varnok._xlsx import TooManyRows


def test_every_public_name_resolves():
    assert all(getattr(varnok, name) is not None for name in varnok.__all__)
    assert varnok.__version__[0].isdigit() and "read" in dir(varnok)


@pytest.mark.skipif(getattr(sys, "_is_gil_enabled", lambda: True)(), reason="the free-threaded build's")
def test_threads_that_first_use_the_package_at_once_all_finish():
    # Fresh programs whose threads each first take another name: the free-threaded build
    # hung in about one of fifty while they loaded its modules at once.
    import subprocess

    program = (
        "import faulthandler, threading, varnok\n"
        "faulthandler.dump_traceback_later(20, exit=True)\n"
        "names = [*varnok.__all__[1:], 'batch', 'cli']\n"
        "barrier = threading.Barrier(len(names))\n"
        "def use(name):\n"
        "    barrier.wait()\n"
        "    getattr(varnok, name)\n"
        "threads = [threading.Thread(target=use, args=(n,)) for n in names]\n"
        "[t.start() for t in threads]\n"
        "[t.join() for t in threads]\n"
    )
    for _ in range(15):
        result = subprocess.run([sys.executable, "-c", program], capture_output=True, text=True, timeout=60)
        assert result.returncode == 0, result.stderr[-2000:]


class TestSources:
    def test_every_kind_of_source_gives_the_same_view(self, write_file):
        text = clean_statement()
        path = write_file("a.txt", text)
        views = [varnok.read(path), varnok.read(str(path)), varnok.read(text.encode("cp1251")),
                 varnok.read(text), varnok.read(io.BytesIO(text.encode("cp1251")))]
        assert all(v.documents == views[0].documents and v.accounts == views[0].accounts for v in views)
        assert views[0].source == str(path) and views[2].source is None

    def test_a_path_object_of_bytes_is_named_as_text(self, write_file):
        path = write_file("a.txt", clean_statement())
        source = type("BytesPath", (), {"__fspath__": lambda self: bytes(path)})()
        assert varnok.read(source).source == str(path)

    def test_a_text_file_object_is_refused(self):
        with pytest.raises(TypeError, match="binary mode"):
            varnok.read(io.StringIO(clean_statement()))

    @pytest.mark.parametrize("read", [varnok.read_file, varnok.read, lambda p: varnok.read(str(p))])
    @pytest.mark.parametrize(("name", "cause"), [("absent.txt", FileNotFoundError), ("nul\0.txt", ValueError)])
    def test_a_file_that_cannot_be_opened(self, tmp_path, read, name, cause):
        with pytest.raises(varnok.ReadFailure, match=re.escape(name)) as info:
            read(tmp_path / name)
        assert isinstance(info.value.cause, cause)
        if cause is FileNotFoundError:  # named once
            assert str(info.value) == f"{tmp_path / name}: No such file or directory"

    def test_an_empty_path_is_no_file_not_the_current_folder(self):
        with pytest.raises(varnok.ReadFailure) as info:
            varnok.read_file("")
        assert isinstance(info.value.cause, FileNotFoundError) and info.value.source == ""

    @pytest.mark.parametrize(("text", "error"), [("", varnok_py.EmptyInputError),
                                                 ("1CClientBankExchange", varnok_py.UnfinishedError),
                                                 ("1CClientBankExchange\n\udc80", UnicodeEncodeError)])
    def test_one_line_texts_that_are_not_paths(self, text, error):
        with pytest.raises(varnok.ReadFailure) as info:
            varnok.read(text)
        assert isinstance(info.value.cause, error)

    def test_a_file_named_after_the_marker_is_read_as_a_path(self, write_file, monkeypatch):
        monkeypatch.chdir(write_file("1CClientBankExchange.txt", clean_statement()).parent)
        assert varnok.read("1CClientBankExchange.txt").source == "1CClientBankExchange.txt"

    def test_a_syntax_error_names_file_and_line(self, write_file):
        path = write_file("bad.txt", "1CClientBankExchange\nВерсияФормата=1.03\nмусор\nКонецФайла\n")
        with pytest.raises(varnok.ReadFailure, match=r"bad\.txt:3: ") as info:
            varnok.read(path)
        assert isinstance(info.value.cause, varnok_py.SyntaxError) and info.value.line == 3


class TestTypedValues:
    def test_types_follow_the_field_table(self):
        doc = varnok.read(statement(document(ДатаСписано="06.03.2024"))).documents[0]
        assert doc.amount == Decimal("100.00") and str(doc.amount) == "100.00"
        assert doc.doc_date == datetime.date(2024, 3, 5) and doc.outcome_date == datetime.date(2024, 3, 6)
        assert doc.income_date is None and doc.doc_number == "1"
        names = [f.name for f in dataclasses.fields(doc)]
        assert names == ["line", *(f.name for f in _fields.DOCUMENT_FIELDS), "direction", "fingerprint"]

    def test_a_statement_shows_counts_not_its_documents(self):
        s = varnok.read(statement(account(), *(document(str(n)) for n in range(300))))
        assert repr(s) == ("TypedStatement(source=None, encoding='utf-8', accounts=[...1], documents=[...300], "
                           "warnings=[...0])")

    def test_records_are_immutable(self):
        s = varnok.read(clean_statement())
        with pytest.raises(dataclasses.FrozenInstanceError):
            s.documents[0].amount = Decimal(1)
        with pytest.raises(TypeError):
            s.accounts["x"] = None
        interval = s.accounts[OWN].intervals[0]
        assert (interval.start_amount, interval.end_amount) == (Decimal("1000.00"), Decimal("1209.50"))
        assert {s, varnok.read(clean_statement())} == {s}  # hashable, as equal as it is

    @pytest.mark.parametrize(("payer", "payee", "expected"), [
        (OTHER, OWN, "income"), (OWN, OTHER, "expense"), (OWN, OWN, "internal"), (OTHER, THIRD, "unrelated"),
    ])
    def test_direction(self, payer, payee, expected):
        s = varnok.read(statement(account(), document(payer=payer, payee=payee)))
        assert s.documents[0].direction == expected

    def test_the_header_account_counts_as_own_without_account_sections(self):
        assert varnok.read(statement(document(payer=OTHER, payee=OWN))).documents[0].direction == "income"


class TestSectionLines:
    def test_lines_skip_dropped_documents_and_blank_padding(self):
        text = statement(document("1"), document("2", amount="1,5"), document("3"))
        text = text.replace("СекцияДокумент=", "  СекцияДокумент =", 1)
        s = varnok.read(text.encode("cp1251"))
        lines = text.split("\n")
        starts = [n for n, line in enumerate(lines, 1) if "СекцияДокумент" in line]
        assert len(s.warnings) == 1 and [d.doc_number for d in s.documents] == ["1", "3"]
        assert [d.line for d in s.documents] == [starts[0], starts[2]]

    @pytest.mark.parametrize("encoding", ["cp1251", "utf-8", "utf-16"])
    def test_lines_in_every_encoding_and_crlf(self, encoding):
        text = statement(account(), document("1"), document("2")).replace("\n", "\r\n")
        s = varnok.read(text.encode(encoding))
        assert [d.line for d in s.documents] == [n for n, line in enumerate(text.split("\r\n"), 1)
                                                 if line.startswith("СекцияДокумент")]


class TestFingerprint:
    def test_stable_across_encodings_scale_and_position(self):
        a = varnok.read(statement(document("7", amount="1500.00")).encode("cp1251")).documents[0]
        assert a.fingerprint == "8821d869fef5d81e2090b9893f7ceb70"  # the same in every version
        b = varnok.read(statement(account(), document("1"), document("7", amount="1500")).encode("utf-8"))
        assert a.fingerprint == b.documents[1].fingerprint != b.documents[0].fingerprint
        assert len(a.fingerprint) == 32 and int(a.fingerprint, 16) >= 0

    @pytest.mark.parametrize("change", [{"amount": "1500.01"}, {"date": "06.03.2024"}, {"Код": "0"},
                                        {"ПлательщикКПП": None}])
    def test_any_field_changes_it(self, change):
        base = varnok.read(statement(document("7", amount="1500.00"))).documents[0]
        other = varnok.read(statement(document("7", **{"amount": "1500.00", **change}))).documents[0]
        assert other.fingerprint != base.fingerprint


# The section lines, directions and fingerprints come from varnok._native when it is there;
# the Python path (without it) must give the same on every kind of input.
NATIVE_FACT_INPUTS = {
    "cp1251": lambda t: t.encode("cp1251"),
    "utf-8 crlf": lambda t: t.replace("\n", "\r\n").encode("utf-8"),
    "utf-16": lambda t: t.encode("utf-16"),
    "str": lambda t: t,
    "padded markers": lambda t: t.replace("СекцияДокумент=", " \u00a0СекцияДокумент =").encode("utf-8"),
    "wide blanks": lambda t: t.replace("СекцияДокумент=", "\u2003\x85СекцияДокумент\u3000=")
                              .replace("КонецДокумента\n", "КонецДокумента\u202f\u2028\n").encode("utf-8"),
}


@pytest.mark.parametrize("kind", NATIVE_FACT_INPUTS)
def test_native_facts_are_the_python_ones(kind, monkeypatch):
    text = statement(account(income="250.00", expense="0", closing="1250.00"), document("1", payer=OTHER, payee=OWN),
                     document("2", amount="1,5"), document("3", payer=OWN, payee=THIRD),
                     document("4", payer=OWN, payee=OWN), document("5", payer=OTHER, payee=THIRD))
    data = NATIVE_FACT_INPUTS[kind](text)
    if typed._native_facts(data, 4) is None:
        pytest.skip("no native module")
    native = varnok.read(data)
    monkeypatch.setattr(typed, "_native_facts", lambda data, count: None)
    python = varnok.read(data)
    assert native.documents == python.documents and len(native.documents) == 4
    assert [d.direction for d in native.documents] == ["income", "expense", "internal", "unrelated"]
    assert None not in [d.line for d in native.documents]


@pytest.mark.parametrize("kind", NATIVE_FACT_INPUTS)
def test_every_account_the_header_lists_is_own(kind, monkeypatch):
    # A statement of two accounts without account sections (the header dict keeps the last).
    text = statement(document("1", payer=OWN, payee=OTHER), document("2", payer=OWN, payee=THIRD),
                     document("3", payer=OTHER, payee=THIRD))
    data = NATIVE_FACT_INPUTS[kind](text.replace(f"РасчСчет={OWN}\n", f"РасчСчет={OWN}\n РасчСчет = {THIRD}\u00a0\n"))
    expected = ["expense", "internal", "income"]
    assert [d.direction for d in varnok.read(data).documents] == expected
    monkeypatch.setattr(typed, "_native_facts", lambda data, count: None)
    python = varnok.read(data)
    assert [d.direction for d in python.documents] == expected and python.own_accounts == {OWN, THIRD}


TWO_ACCOUNTS = statement(document("1", payee=THIRD)).replace(f"РасчСчет={OWN}\n", f"РасчСчет={OWN}\nРасчСчет={THIRD}\n", 1)


@pytest.mark.parametrize("data", [
    REPO / "tests" / "data" / "statement-cp1251.txt",  # with a dropped document
    statement(account(), document("1", НазначениеПлатежа="✓ не в windows-1251")).encode("utf-16"),
    TWO_ACCOUNTS,  # the header dict keeps the second РасчСчет only
    statement(document("1", amount="1,00")),  # every document dropped, no account section
], ids=["dropped", "utf-16", "two-accounts", "all-dropped"])
def test_a_typed_statement_crosses_processes(data):
    import pickle

    s = varnok.read(data)
    copy = pickle.loads(pickle.dumps(s))
    assert copy == s and copy.own_accounts == s.own_accounts and copy.warnings == s.warnings
    assert copy.raw.documents == s.raw.documents and dict(copy.raw.accounts) == dict(s.raw.accounts)
    assert copy.header_lines == s.header_lines
    assert {**copy.raw.header, "Кодировка": ""} == {**s.raw.header, "Кодировка": ""}  # (written in UTF-8 if need be)
    assert varnok.export.csv_text(copy) == varnok.export.csv_text(s)


def test_the_writer_keeps_a_header_key_given_twice():
    s = varnok.read(TWO_ACCOUNTS)
    assert [d.direction for d in s.documents] == ["income"]
    for written in (varnok.write(s), to_statement_bytes(s)):
        again = varnok.read(written)
        assert again.header_lines[3:] == s.header_lines[3:] and [d.direction for d in again.documents] == ["income"]


def to_statement_bytes(s):
    out = io.BytesIO()
    varnok.to_statement([s], out)
    return out.getvalue()


def _read_failure(source):
    try:
        varnok.read(source)
    except varnok.ReadFailure as exc:
        return exc
    raise AssertionError("read")


@pytest.mark.parametrize("make, parts", [
    (lambda: _read_failure(b"1CClientBankExchange\ngarbage\n"), ("source", "line")),
    (lambda: _read_failure("/nonexistent/statement.txt"), ("source", "line")),
    (lambda: varnok.WriteError("bad", section="documents", index=3, number="17", field="purpose", key="Назначение"),
     ("problem", "section", "index", "number", "field", "key")),
    (lambda: TooManyRows(2_000_000), ("rows",)),
])
def test_failures_cross_processes_as_themselves(make, parts):
    # A process pool's worker hands its exception back pickled: one that cannot be rebuilt
    # hangs multiprocessing.Pool and breaks a ProcessPoolExecutor.
    import pickle

    original = make()
    copy = pickle.loads(pickle.dumps(original))
    assert type(copy) is type(original) and str(copy) == str(original)
    assert [getattr(copy, p) for p in parts] == [getattr(original, p) for p in parts]
    if isinstance(original, varnok.ReadFailure):
        assert type(copy.cause) is type(original.cause) and str(copy.cause) == str(original.cause)
