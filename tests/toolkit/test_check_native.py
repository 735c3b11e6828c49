"""varnok check's native path (varnok._native.check_files) against its Python path: the same
bytes out, exit status included, on real, test and generated statements."""
import contextlib
import io
import os
import subprocess
import sys

import pytest
from conftest import OTHER, OWN, REPO, SAMPLES, THIRD, account, clean_statement, document, statement
from hypothesis import HealthCheck, given, settings
from hypothesis import strategies as st

import varnok
import varnok.commands.check as check
from varnok._native import check_files
from varnok.cli import main

sys.path.insert(0, str(REPO / "bench"))
import generate  # noqa: E402

MODES = [[], ["--json"], ["--strict"], ["--json", "--strict"]]


def output(args, native):
    """(exit status, stdout) of `varnok check ARGS`, with or without the native path."""
    saved = check.native_check_files
    check.native_check_files = saved if native else None
    out = io.StringIO()
    try:
        with contextlib.redirect_stdout(out):
            status = main(["check", *map(str, args)])
    finally:
        check.native_check_files = saved
    return status, out.getvalue()


def assert_same(paths, jobs=("1", "2")):
    for mode in MODES:
        python = output(["-j", "1", *mode, *paths], native=False)
        for j in jobs:
            assert output(["-j", j, *mode, *paths], native=True) == python, (mode, j)


def handled_natively(path, as_json=True):
    items = check_files([str(path)], as_json, False, b",")[2]
    return items is None or items[0] is not None


@pytest.fixture(scope="module")
def generated(tmp_path_factory):
    """A few generated statements of both encodings and line ends."""
    folder = tmp_path_factory.mktemp("generated")
    for seed in range(6):
        data = generate.generate(6000, encoding=("cp1251", "utf-8")[seed % 2], seed=seed,
                                 line_end=("\r\n", "\n")[seed // 3], days=40)
        (folder / f"g{seed}.txt").write_bytes(data)
    return folder


@pytest.mark.parametrize("source", ["tests/data", "samples", "generated"])
def test_the_native_path_writes_what_the_python_path_writes(source, generated):
    if source == "samples" and not SAMPLES.is_dir():
        pytest.skip("no ../shared/samples/real")
    folder = {"tests/data": REPO / "tests" / "data", "samples": SAMPLES, "generated": generated}[source]
    assert any(handled_natively(p) for p in folder.glob("*.txt"))  # else the comparison is empty
    assert_same([folder])


@pytest.mark.parametrize("mode", [["--json"], []])
def test_through_a_pipe_the_bytes_are_those_of_the_python_path(generated, tmp_path, mode):
    """On a real stdout the native reports go to its buffer as bytes, a broken file's
    report (Python's str) through the stream between them, in order."""
    for path in generated.iterdir():
        (tmp_path / path.name).write_bytes(path.read_bytes())
    (tmp_path / "g2-broken.txt").write_bytes("1CClientBankExchange\nСекцияДокумент\nКонецФайла\n".encode())
    result = subprocess.run([sys.executable, "-m", "varnok", "check", "-j", "2", *mode, tmp_path],
                            capture_output=True, timeout=300, env={**os.environ, "PYTHONIOENCODING": "utf-8"})
    status, text = output(["-j", "1", *mode, tmp_path], native=False)
    assert (result.returncode, result.stdout) == (status, text.encode())


def test_a_stdout_in_another_encoding_gets_text_not_utf8_bytes(generated):
    def written(native):
        raw = io.BytesIO()
        stream = io.TextIOWrapper(raw, encoding="cp1251", errors="replace")
        saved = check.native_check_files
        check.native_check_files = saved if native else None
        try:
            with contextlib.redirect_stdout(stream):
                main(["check", "-j", "2", str(generated)])
            stream.flush()
        finally:
            check.native_check_files = saved
        return raw.getvalue()

    assert "ИНН".encode("cp1251") in written(True) == written(False)


@pytest.mark.parametrize(("total", "amounts", "shown"), [
    ("0", ["0.0000001"], "is 1E-7,"),                  # Decimal's scientific form
    ("1", ["0.0000000", "0.50"], "is 0.5000000,"),      # the finest scale of the sum
    ("5.00", [], "is 0,"),                              # no documents: a plain 0
    ("0", ["99999999999999999.99", "99999999999999999.99"], "is 199999999999999999.98,"),
    # the finest scale of the interval's own documents, not of those before or after it
    ("1", ["5.12345@29.02.2024", "100.00", "0.001@01.04.2024"], "is 100.00,"),
    ("1", ["5.12345@29.02.2024", "100", "0.001@01.04.2024"], "is 100,"),
])
def test_exact_sums_are_written_as_decimal_writes_them(write_file, total, amounts, shown):
    dated = [(amount.split("@") + ["05.03.2024"])[:2] for amount in amounts]
    text = statement(account(income=total), *(document(str(i), amount, date) for i, (amount, date) in enumerate(dated)))
    path = write_file("sums.txt", text)
    assert handled_natively(path, as_json=False)
    status, out = output([path], native=True)
    assert shown in out
    assert (status, out) == output([path], native=False)


def test_chunks_cover_every_path_once_in_order_smaller_at_the_end():
    paths = [str(i) for i in range(1000)]
    for jobs in (1, 2, 8):
        chunks = check.chunked(paths, jobs)
        assert [p for c in chunks for p in c] == paths
        assert max(map(len, chunks)) <= check.CHUNK and len(chunks[-2]) <= 4
    assert check.chunked(paths[:5], 2) == [[p] for p in paths[:5]]  # a few large statements: one each


def test_what_the_native_path_leaves_to_python(write_file):
    """Files that do not read or parse, values whose repr it does not know, sums beyond 128
    bits: the Python path checks them, with the same report."""
    broken = write_file("broken.txt", "1CClientBankExchange\nСекцияДокумент\nКонецФайла\n")
    odd = write_file("odd.txt", statement(document("1", ПлательщикИНН="77\u30001"), header=None), "utf-8")
    huge = write_file("huge.txt", statement(
        account(income="79228162514264337593543950335", expense="0", closing="1"),
        document("1", "0.0000000000000000000000000001"), document("2", "79228162514264337593543950335")))
    year0 = write_file("year0.txt", statement(account(), document("1", date="01.01.0000")))
    good = write_file("good.txt", clean_statement())
    missing = good.parent / "missing.txt"
    files = (broken, odd, huge, year0, good, missing)
    assert [handled_natively(p, as_json=False) for p in files] == [False] * 4 + [True, False]
    assert_same(files)


@pytest.mark.parametrize("sections, date, at", [
    ((account(), document("1", date="01.01.0000")), "0000-01-01", 1),
    ((account(), account(start="1.4.0000", end="30.04.2024"), document("1")), "0000-04-01", 1),
    ((account(end="05.03.-1"), document("1")), "-0001-03-05", 0),
])
def test_a_date_python_cannot_hold_is_the_file_s_error_not_a_crash(write_file, sections, date, at):
    path = write_file("year0.txt", statement(*sections))
    status, out = output(["--json", path], native=True)
    assert status == 1
    assert (f'"error": {{\n        "type": "ValueError",\n        "message": "date {date} is outside the years 1 to 9999'
            in out)
    section = [i + 1 for i, line in enumerate(path.read_bytes().decode("cp1251").splitlines())
               if line.startswith("Секция")][at]
    assert f'"line": {section}' in out
    with pytest.raises(varnok.ReadFailure) as failure:
        varnok.read_file(path)
    assert (failure.value.line, type(failure.value.cause)) == (section, ValueError)


@pytest.mark.parametrize("encoding", ["utf-16-le", "utf-16-be", "utf-8-sig"])
def test_statements_with_a_byte_order_mark(write_file, encoding):
    text = statement(account(income="5.00"), document("1", "5.00"), document("2", ПлательщикИНН="1"))
    mark = {"utf-16-le": b"\xff\xfe", "utf-16-be": b"\xfe\xff", "utf-8-sig": b""}[encoding]
    path = write_file("marked.txt", mark + text.encode(encoding))
    assert handled_natively(path, as_json=False)
    assert_same([path], jobs=("1",))


def test_paths_are_named_as_the_python_path_names_them(write_file, monkeypatch):
    """As given, whether the file reads or not ("good.txt/" reads on the Python path only)."""
    good = write_file("good.txt", clean_statement())
    monkeypatch.chdir(good.parent)
    folder = str(good.parent)
    assert_same(["./good.txt", "good.txt/", ".//good.txt", f"{folder}//./good.txt", f"/{folder}/good.txt",
                 f"//{folder}/good.txt", "./missing.txt", "."], jobs=("2",))


def test_the_requisite_tables_on_both_paths(write_file):
    """Every value of the validation tests' tables, each in a document of its own, as each
    requisite: the native rules and varnok.validate's must fail the same ones alike."""
    from test_validation import BAD_INNS, CORRESPONDENT, GOOD_INNS

    values = [*GOOD_INNS, *BAD_INNS, "773601001", "7736AB001", "7736ab001", "77360100X", "7736\u0410\u0412001",
              "044525225", "04452522X", "04452522\u0665", OWN, OTHER, "4070281093800000000", "03100643000000015400"]
    for account, bic in CORRESPONDENT:
        values += [account, bic, account[:5] + str(9 - int(account[5])) + account[6:]]
    keys = ["ПлательщикИНН", "ПлательщикКПП", "ПлательщикБИК", "ПлательщикСчет", "ПлательщикРасчСчет",
            "ПлательщикКорсчет", "ПолучательИНН", "ПолучательКПП", "ПолучательРасчСчет", "ПолучательКорсчет"]
    def statement_of(values):
        documents = [document(str(n), **{key: value}) for n, (key, value) in enumerate(
            (key, value) for value in values for key in keys)]
        return statement(*documents, *(document("bic", ПолучательБИК=bic, ПолучательКорсчет=account)
                                       for account, bic in CORRESPONDENT))

    # Digits of other scripts: the native text report leaves their repr to Python.
    other = [v for v in values if any(not c.isascii() and not "\u0400" <= c <= "\u04ff" for c in v)]
    plain = write_file("requisites.txt", statement_of([v for v in values if v not in other]), "utf-8")
    scripts = write_file("other-scripts.txt", statement_of(other), "utf-8")
    assert handled_natively(plain, as_json=False) and handled_natively(scripts)
    assert_same([plain, scripts], jobs=("1",))


AMOUNTS = st.sampled_from(["100.00", "0", "1500", "12.5", "0.50", "0.0000001", "0.00000010", "1.2345678901",
                           "99999999999999999.99", "1,50", "-3.00", "7"])
REQUISITES = st.one_of(
    st.sampled_from([None, "", "0", "7707083893", "7707083894", "500100732259", "12345", "773601001", "7736AB001",
                     "044525225", "04452522", OWN, OTHER, THIRD, "30101810400000000225", "03100643000000015400"]),
    st.text(alphabet="0123456789AZaz'\"\\ \tИ№\u00a0\u00ad\u00e4", max_size=12),
    st.text(alphabet="0123456789", min_size=8, max_size=21),
)
DATES = st.sampled_from(["01.03.2024", "05.03.2024", "31.03.2024", "01.04.2024"])


@st.composite
def statements(draw):
    accounts = [account(start=draw(DATES), end=draw(st.none() | DATES), opening=draw(AMOUNTS),
                        income=draw(st.none() | AMOUNTS), expense=draw(st.none() | AMOUNTS),
                        closing=draw(st.none() | AMOUNTS), number=number)
                for number in draw(st.lists(st.sampled_from([OWN, OTHER]), max_size=3))]
    documents = [document(str(i), draw(AMOUNTS), draw(DATES), payer=draw(st.sampled_from([OWN, OTHER, THIRD])),
                          payee=draw(st.sampled_from([OWN, OTHER, THIRD])),
                          ДатаПоступило=draw(st.none() | DATES), ДатаСписано=draw(st.none() | DATES),
                          **{key: draw(REQUISITES) for key in draw(st.lists(st.sampled_from(
                              ["ПлательщикИНН", "ПлательщикКПП", "ПлательщикБИК", "ПлательщикСчет",
                               "ПлательщикКорсчет", "ПолучательИНН", "ПолучательКПП", "ПолучательБИК",
                               "ПолучательРасчСчет", "ПолучательКорсчет"]), max_size=4))})
                 for i in range(draw(st.integers(0, 5)))]
    return statement(*accounts, *documents)


@settings(max_examples=120, deadline=None, suppress_health_check=[HealthCheck.too_slow,
                                                                   HealthCheck.function_scoped_fixture])
@given(text=statements(), encoding=st.sampled_from(["cp1251", "utf-8"]))
def test_made_up_statements(write_file, text, encoding):
    try:
        data = text.encode(encoding)
    except UnicodeEncodeError:
        data = text.encode("utf-8")
    assert_same([write_file("made-up.txt", data)], jobs=("1",))
