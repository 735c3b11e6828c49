"""The result objects of parse: Statement, Account, Interval, Document."""

import gc
import importlib.util
import operator
import pathlib
import sys
import weakref

import pytest

import varnok_py
from statements import DOCUMENT, account_section, document_section
from statements import statement_text as build_statement
from varnok_py import Account, Document, Interval, Statement, parse

HEADER = {"ВерсияФормата": "1.03", "Кодировка": "Windows", "Отправитель": "Бухгалтерия"}

ACCOUNT = {
    "ДатаНачала": "01.01.2024",
    "ДатаКонца": "31.01.2024",
    "РасчСчет": "40702810000000000001",
    "НачальныйОстаток": "1000.00",
    "ВсегоПоступило": "1500.00",
    "ВсегоСписано": "20.5",
    "КонечныйОстаток": "2479.50",
}


def statement_text(*sections, header=HEADER):
    return build_statement(*sections, header=header)


def one_document(**changes):
    """The single document of a statement built from DOCUMENT with changed keys (None removes)."""
    fields = {**DOCUMENT, **changes}
    fields = {k: v for k, v in fields.items() if v is not None}
    (document,) = parse(statement_text(document_section(fields))).documents
    return document


def one_interval(**changes):
    fields = {k: v for k, v in {**ACCOUNT, **changes}.items() if v is not None}
    (account,) = parse(statement_text(account_section(fields))).accounts.values()
    (interval,) = account.intervals
    return interval


# Part of the table of Document attributes: attribute, statement key, value written,
# value expected. The three dates and the amount are converted; everything else is
# passed through, payment_deadline and tax_date included.
TYPED = {
    "doc_date": ("Дата", "5.1.2024", "2024-01-05"),
    "amount": ("Сумма", "-1_500.50", "-1500.50"),
    "outcome_date": ("ДатаСписано", "06.01.2024", "2024-01-06"),
    "income_date": ("ДатаПоступило", "07.01.2024", "2024-01-07"),
    "payment_deadline": ("СрокПлатежа", "05.01.2024", "05.01.2024"),
    "tax_date": ("ПоказательДаты", "05.01.2024", "05.01.2024"),
}

# Every Document attribute in its Python order, with its statement key.
DOCUMENT_ATTRIBUTES = [
    ("doc_number", "Номер"),
    ("doc_type", None),
    ("doc_date", "Дата"),
    ("amount", "Сумма"),
    ("purpose", "НазначениеПлатежа"),
    ("payment_type", "ВидОплаты"),
    ("ordering", "Очередность"),
    ("counterparty_inn", "ПлательщикИНН"),
    ("counterparty_kpp", "ПлательщикКПП"),
    ("counterparty_bic", "ПлательщикБИК"),
    ("counterparty_bank1", "ПлательщикБанк1"),
    ("counterparty_account", "ПлательщикСчет"),
    ("counterparty", "Плательщик"),
    ("counterparty_1", "Плательщик1"),
    ("counterparty_ras_account", "ПлательщикРасчСчет"),
    ("counterparty_cor_account", "ПлательщикКорсчет"),
    ("outcome_date", "ДатаСписано"),
    ("payee_inn", "ПолучательИНН"),
    ("payee", "Получатель"),
    ("payee_account", "ПолучательСчет"),
    ("payee_kpp", "ПолучательКПП"),
    ("payee_bic", "ПолучательБИК"),
    ("payee_bank1", "ПолучательБанк1"),
    ("payee_ras_account", "ПолучательРасчСчет"),
    ("payee_cor_account", "ПолучательКорсчет"),
    ("income_date", "ДатаПоступило"),
    ("counterparty_2", "Плательщик2"),
    ("counterparty_3", "Плательщик3"),
    ("counterparty_4", "Плательщик4"),
    ("counterparty_bank2", "ПлательщикБанк2"),
    ("payee_1", "Получатель1"),
    ("payee_2", "Получатель2"),
    ("payee_3", "Получатель3"),
    ("payee_4", "Получатель4"),
    ("payee_bank2", "ПолучательБанк2"),
    ("payment_kind", "ВидПлатежа"),
    ("payment_deadline", "СрокПлатежа"),
    ("uin", "Код"),
    ("purpose_code", "КодНазПлатежа"),
    ("purpose_1", "НазначениеПлатежа1"),
    ("purpose_2", "НазначениеПлатежа2"),
    ("purpose_3", "НазначениеПлатежа3"),
    ("purpose_4", "НазначениеПлатежа4"),
    ("purpose_5", "НазначениеПлатежа5"),
    ("purpose_6", "НазначениеПлатежа6"),
    ("compiler_status", "СтатусСоставителя"),
    ("kbk", "ПоказательКБК"),
    ("okato", "ОКАТО"),
    ("tax_basis", "ПоказательОснования"),
    ("tax_period", "ПоказательПериода"),
    ("tax_number", "ПоказательНомера"),
    ("tax_date", "ПоказательДаты"),
    ("tax_type", "ПоказательТипа"),
]

REQUIRED_DOCUMENT_ATTRIBUTES = {
    "doc_number", "doc_type", "doc_date", "amount", "purpose", "counterparty_inn",
    "counterparty_bic", "counterparty_bank1", "counterparty_account", "payee_inn",
    "payee_account", "payee_bic", "payee_bank1",
}


def public_attributes(cls):
    return [name for name in vars(cls) if not name.startswith("__")]


class TestStatement:
    def test_attributes(self):
        text = statement_text(account_section(ACCOUNT), document_section(DOCUMENT))
        s = parse(text)
        assert s.encoding == "utf-8"
        assert s.header == HEADER
        assert list(s.header) == list(HEADER)
        assert list(s.accounts) == [ACCOUNT["РасчСчет"]]
        assert s.accounts[ACCOUNT["РасчСчет"]].number == ACCOUNT["РасчСчет"]
        assert [d.doc_number for d in s.documents] == ["17"]
        assert s.warnings == []

    def test_cp1251_encoding(self):
        s = parse(statement_text(document_section(DOCUMENT)).encode("cp1251"))
        assert s.encoding == "cp1251"
        assert s.documents[0].payee_bank1 == "АО Банк"

    def test_warnings_are_lineno_message_tuples_in_input_order(self):
        text = statement_text(
            document_section({**DOCUMENT, "Сумма": "12,50"}),
            document_section(DOCUMENT),
            document_section({k: v for k, v in DOCUMENT.items() if k != "Номер"}),
        )
        ends = [i + 1 for i, line in enumerate(text.splitlines()) if line == "КонецДокумента"]
        s = parse(text)
        assert len(s.documents) == 1
        assert s.warnings == [
            (ends[0], 'invalid value: string "12,50", expected a Decimal type representing a fixed-point number'),
            (ends[2], "missing field `Номер`"),
        ]
        assert all(type(w) is tuple and type(w[0]) is int and type(w[1]) is str for w in s.warnings)

    def test_containers_are_the_same_objects_on_every_access(self):
        s = parse(statement_text(document_section(DOCUMENT)))
        assert s.header is s.header
        assert s.accounts is s.accounts
        assert s.documents is s.documents
        assert s.warnings is s.warnings
        assert s.encoding == s.encoding

    def test_repr(self):
        text = statement_text(
            account_section(ACCOUNT), document_section(DOCUMENT), document_section(DOCUMENT),
            document_section({}),
        )
        assert repr(parse(text)) == 'Statement(encoding="utf-8", documents=[...2], warnings=[...1])'
        assert repr(parse(text.encode("cp1251"))).startswith('Statement(encoding="cp1251", ')

    def test_no_documents(self):
        s = parse(statement_text(account_section(ACCOUNT)))
        assert s.documents == []
        assert repr(s).endswith("documents=[...0], warnings=[...0])")

    def test_changes_to_containers_show_but_repr_keeps_the_counts(self):
        s = parse(statement_text(document_section(DOCUMENT)))
        before = repr(s)
        s.documents.append("extra")
        s.warnings.clear()
        s.header["Новый"] = "1"
        assert s.documents[-1] == "extra" and len(s.documents) == 2
        assert s.warnings == [] and s.header["Новый"] == "1"
        assert repr(s) == before == 'Statement(encoding="utf-8", documents=[...1], warnings=[...0])'

    def test_identity_equality_and_hash(self):
        text = statement_text(document_section(DOCUMENT))
        a, b = parse(text), parse(text)
        assert a == a and a != b
        assert hash(a) == hash(a)
        assert len({a, b}) == 2

    def test_a_statement_in_a_cycle_is_collected(self):
        class Marker:
            pass

        s = parse(statement_text(document_section(DOCUMENT)))
        marker = Marker()
        alive = weakref.ref(marker)
        s.header["marker"] = marker
        s.documents.append(s)
        del s, marker
        gc.collect()
        assert alive() is None


class TestInterval:
    def test_attributes(self):
        i = one_interval()
        assert (i.date_start, i.date_end) == ("2024-01-01", "2024-01-31")
        assert (i.start_amount, i.end_amount) == ("1000.00", "2479.50")
        assert (i.total_income, i.total_expense) == ("1500.00", "20.5")

    def test_absent_optionals_are_none(self):
        i = one_interval(ДатаКонца="", КонечныйОстаток=None, ВсегоПоступило=None, ВсегоСписано=None)
        assert (i.date_end, i.end_amount, i.total_income, i.total_expense) == (None, None, None, None)

    @pytest.mark.parametrize(
        ("written", "shown"),
        [
            ("05.01.2024", "2024-01-05"),
            ("5.1.24", "0024-01-05"),
            ("05.01.999", "0999-01-05"),
            ("05.01.+10000", "+10000-01-05"),
            ("05.01.-1", "-0001-01-05"),
            ("29.02.2024", "2024-02-29"),
        ],
    )
    def test_date_form(self, written, shown):
        assert one_interval(ДатаНачала=written).date_start == shown
        assert one_interval(ДатаКонца=written).date_end == shown

    @pytest.mark.parametrize(
        ("written", "shown"),
        [
            ("1500.00", "1500.00"),
            ("100", "100"),
            ("-20.5", "-20.5"),
            (".5", "0.5"),
            ("5.", "5"),
            ("-0.00", "0.00"),
            ("+7", "7"),
            ("1_500.00", "1500.00"),
            ("1.5E-2", "0.015"),
            ("1.50e3", "1500"),
            ("79228162514264337593543950335", "79228162514264337593543950335"),
        ],
    )
    def test_amount_form(self, written, shown):
        assert one_interval(НачальныйОстаток=written).start_amount == shown
        assert one_interval(ВсегоСписано=written).total_expense == shown

    def test_repr(self):
        assert repr(one_interval()) == (
            'Interval(date_start="2024-01-01", date_end=Some("2024-01-31"), '
            'start_amount="1000.00", end_amount=Some("2479.50"))'
        )
        assert repr(one_interval(ДатаКонца="", КонечныйОстаток=None)) == (
            'Interval(date_start="2024-01-01", date_end=None, start_amount="1000.00", end_amount=None)'
        )
        assert str(one_interval()) == repr(one_interval())

    def test_equality_compares_texts(self):
        assert one_interval() == one_interval()
        assert not (one_interval() != one_interval())
        assert one_interval(НачальныйОстаток="100.5") != one_interval(НачальныйОстаток="100.50")
        assert one_interval(ВсегоСписано=None) != one_interval()
        assert one_interval(ДатаКонца="") != one_interval()


class TestAccount:
    def test_intervals_sorted_by_start_and_merged_by_number(self):
        later = {**ACCOUNT, "ДатаНачала": "01.02.2024", "ДатаКонца": "29.02.2024"}
        other = {**ACCOUNT, "РасчСчет": "40702810000000000009"}
        s = parse(statement_text(account_section(later), account_section(other), account_section(ACCOUNT)))
        assert list(s.accounts) == [ACCOUNT["РасчСчет"], other["РасчСчет"]]
        first = s.accounts[ACCOUNT["РасчСчет"]]
        assert [i.date_start for i in first.intervals] == ["2024-01-01", "2024-02-01"]
        assert repr(first) == 'Account(number="40702810000000000001", intervals=[...2])'
        assert repr(s.accounts[other["РасчСчет"]]).endswith("intervals=[...1])")

    def test_intervals_is_a_new_list_of_new_objects_each_time(self):
        (account,) = parse(statement_text(account_section(ACCOUNT))).accounts.values()
        first, second = account.intervals, account.intervals
        assert first is not second
        assert first[0] is not second[0]
        assert first == second
        assert all(type(i) is Interval for i in first)

    def test_changing_a_returned_list_leaves_the_account_unchanged(self):
        (account,) = parse(statement_text(account_section(ACCOUNT))).accounts.values()
        intervals = account.intervals
        intervals.clear()
        assert len(account.intervals) == 1
        assert repr(account).endswith("intervals=[...1])")

    def test_equality(self):
        text = statement_text(account_section(ACCOUNT))
        (a,) = parse(text).accounts.values()
        (b,) = parse(text).accounts.values()
        assert a == b and not (a != b)
        (c,) = parse(statement_text(account_section({**ACCOUNT, "КонечныйОстаток": "2479.5"}))).accounts.values()
        assert a != c
        (d,) = parse(statement_text(account_section({**ACCOUNT, "РасчСчет": "1"}))).accounts.values()
        assert a != d
        (e,) = parse(
            statement_text(account_section(ACCOUNT), account_section({**ACCOUNT, "ДатаНачала": "02.01.2024"}))
        ).accounts.values()
        assert a != e

    def test_quoted_number(self):
        (account,) = parse(statement_text(account_section({**ACCOUNT, "РасчСчет": '№1 "осн"\t'}))).accounts.values()
        assert account.number == '№1 "осн"'
        (tabbed,) = parse(
            statement_text(account_section({**ACCOUNT, "РасчСчет": "a\tb"}))
        ).accounts.values()
        assert repr(account) == 'Account(number="№1 \\"осн\\"", intervals=[...1])'
        assert repr(tabbed) == 'Account(number="a\\tb", intervals=[...1])'


class TestDocument:
    def test_attribute_order(self):
        assert public_attributes(Document) == [name for name, _ in DOCUMENT_ATTRIBUTES]

    def test_documents_in_the_memory_of_released_ones(self):
        # More documents than the memory of released ones is kept for (65,536): the rest is
        # given back, and the next read's documents are made in what was kept.
        documents = parse(statement_text(*[document_section(DOCUMENT)] * 70_000)).documents
        assert len(documents) == 70_000
        del documents
        (document,) = parse(statement_text(document_section({**DOCUMENT, "Номер": "18"}))).documents
        assert (document.doc_number, document.amount, document.counterparty) == ("18", "1500.00", "ООО Ромашка")

    def test_generated_field_list_agrees_with_the_module(self):
        path = pathlib.Path(__file__).resolve().parent.parent / "varnok" / "_fields.py"
        spec = importlib.util.spec_from_file_location("generated_fields", path)
        module = importlib.util.module_from_spec(spec)
        spec.loader.exec_module(module)
        fields = module.DOCUMENT_FIELDS
        assert sorted(f.name for f in fields) == sorted(public_attributes(Document))
        assert {f.name for f in fields if f.required} == REQUIRED_DOCUMENT_ATTRIBUTES
        keys = {name: key for name, key in DOCUMENT_ATTRIBUTES}
        assert all(keys[f.name] in (f.key, None) for f in fields)
        assert {f.key for f in fields if f.kind != "text"} == {"Дата", "Сумма", "ДатаСписано", "ДатаПоступило"}

    def test_every_attribute_shows_its_key(self):
        fields = {}
        expected = {"doc_type": "Вид=документа"}
        for name, key in DOCUMENT_ATTRIBUTES:
            if key is None:
                continue
            written, shown = TYPED.get(name, (key, f"{name}: значение", f"{name}: значение"))[1:]
            fields[key] = written
            expected[name] = shown
        (document,) = parse(statement_text(document_section(fields, kind="Вид=документа"))).documents
        assert {name: getattr(document, name) for name, _ in DOCUMENT_ATTRIBUTES} == expected

    def test_any_name_object_reads_the_same_attribute(self):
        # Interned names take a shortcut to the getter; equal names built at run time, and
        # every other attribute, go the ordinary way and must agree with it.
        document = one_document()
        for name, _ in DOCUMENT_ATTRIBUTES:
            built = "".join(list(name))
            assert built is not sys.intern(name)
            assert getattr(document, built) == getattr(document, name) == operator.attrgetter(name)(document)
        assert document.__class__ is Document and callable(document.__eq__)
        with pytest.raises(AttributeError, match="'Document' object has no attribute 'doc_dat'"):
            document.doc_dat

    def test_absent_optional_attributes_are_none(self):
        document = one_document()
        given = {"counterparty"}
        for name, _ in DOCUMENT_ATTRIBUTES:
            value = getattr(document, name)
            if name in REQUIRED_DOCUMENT_ATTRIBUTES or name in given:
                assert type(value) is str, name
            else:
                assert value is None, name

    def test_empty_texts_stay_present(self):
        document = one_document(ВидОплаты="", Номер="", ДатаСписано="")
        assert (document.payment_type, document.doc_number, document.outcome_date) == ("", "", None)

    # Texts of every width: the str must be the one Python itself makes (the same kind,
    # so equal, with the same hash), whether it is ASCII, Latin-1, wider or beyond U+FFFF.
    @pytest.mark.parametrize("text", [
        "plain", "€", "«кавычки»", "Müller", "é" * 40, "№ 5 — 7", "x" * 17 + "ж", "ё" * 33,
        "\U0001F600 smile", "a\u00a0b", "ß", "\u0100", "Grüße aus Köln; " * 3 + "!",
    ])
    @pytest.mark.parametrize("encoding", ["utf-8", "cp1251"])
    def test_texts_of_every_width_equal_python_strings(self, text, encoding):
        data = statement_text(document_section({**DOCUMENT, "Получатель": text})).encode("utf-8")
        if encoding == "cp1251":
            try:
                data = data.decode("utf-8").encode("cp1251")
            except UnicodeEncodeError:
                pytest.skip("not in windows-1251")
        (document,) = parse(data).documents
        expected = "".join(ch for ch in text)  # built by the interpreter
        assert document.payee == expected and hash(document.payee) == hash(expected)
        assert {document.payee: 1}[expected] == 1

    def test_long_mixed_texts_equal_python_strings(self):
        # Texts of two-byte characters with ASCII, Latin-1 and three-byte ones among them, of
        # every length around the decoder's 32-byte steps, through the getters and a hook.
        import random

        rng = random.Random(5)
        pieces = ["a", "7", "ж", "Ё", "é", "ß", "№", "—", "€", "«", "»", "Щ"]
        latin = ["a", "7", "é", "ß", "«", "»", "\u00a0"]  # (a text of these is one byte a character)
        texts = []
        for length in range(1, 140):
            chosen = (pieces[:4], latin, pieces)[length % 3]
            texts.append("a" + "".join(rng.choice(chosen) for _ in range(length)) + "z")
        sections = [document_section({**DOCUMENT, "НазначениеПлатежа": t}) for t in texts]
        seen = []
        data = statement_text(*sections).encode("utf-8")
        documents = parse(data, [lambda t, a, h: seen.append(a.get("НазначениеПлатежа"))]).documents
        assert [d.purpose for d in documents] == texts == seen
        assert [hash(d.purpose) for d in documents] == [hash(t) for t in texts]

    def test_forms(self):
        document = one_document(Дата="05.01.2024", Сумма="1500.00")
        assert (document.doc_date, document.amount) == ("2024-01-05", "1500.00")
        assert one_document(Сумма="-3").amount == "-3"
        assert one_document(ДатаПоступило="5.1.2024").income_date == "2024-01-05"

    def test_repr(self):
        assert repr(one_document()) == (
            'Document(doc_number="17", doc_type="Платежное поручение", doc_date="2024-01-05", amount="1500.00")'
        )
        quoted = one_document(Номер='1"2\\3')
        assert repr(quoted).startswith('Document(doc_number="1\\"2\\\\3", doc_type="Платежное поручение"')
        assert str(quoted) == repr(quoted)

    def test_equality(self):
        assert one_document() == one_document()
        assert not (one_document() != one_document())
        assert one_document(Сумма="100.5") != one_document(Сумма="100.50")
        assert one_document(Код="1") != one_document()
        assert one_document(Код="") != one_document()
        assert one_document() != one_document(Плательщик="ООО Лютик")

    def test_document_kind_takes_part_in_equality(self):
        (a,) = parse(statement_text(document_section(DOCUMENT, kind="А"))).documents
        (b,) = parse(statement_text(document_section(DOCUMENT, kind="Б"))).documents
        assert a != b


# Texts that a cache keyed on a few of their bytes could confuse: equal length, first,
# middle and last eight bytes alike, differing elsewhere; the longest kept and one more;
# empty; wide and beyond U+FFFF.
_CONFUSABLE = ["", "0", "ж", "x" * 48, "x" * 49, "ё" * 24, "ё" * 25, "\U0001F600" * 3,
               "a" * 12 + "b" + "a" * 27, "a" * 12 + "c" + "a" * 27, "a" * 30 + "b" + "a" * 9,
               "a" * 30 + "c" + "a" * 9, "ООО Ромашка", "ООО Лютик", "ПАО Сбербанк",
               "x" * 112, "x" * 113, "ё" * 56, "ё" * 57, "б" * 20 + "в" + "б" * 35, "б" * 20 + "г" + "б" * 35]


class TestRepeatedValues:
    """A statement repeats its values from document to document; whatever the reader
    shares between them, every document must still give its own texts."""

    FIELDS = ("Плательщик", "Получатель", "ПлательщикБанк1", "Код", "ПлательщикКПП")
    NAMES = ("counterparty", "payee", "counterparty_bank1", "uin", "counterparty_kpp")

    def _statement(self, count):
        rows = [tuple(_CONFUSABLE[(i * (k + 3) + k) % len(_CONFUSABLE)] for k in range(len(self.FIELDS)))
                for i in range(count)]
        sections = [document_section({**DOCUMENT, "Номер": str(i), **dict(zip(self.FIELDS, row))})
                    for i, row in enumerate(rows)]
        return statement_text(*sections), rows

    @pytest.mark.parametrize("count", [3, 40, 300])
    def test_each_document_gives_its_own_texts(self, count):
        text, rows = self._statement(count)
        documents = parse(text.encode("utf-8")).documents
        # Read back to front, then again, so that later values are looked up after earlier ones.
        for _ in range(2):
            got = [tuple(getattr(d, n) for n in self.NAMES) for d in reversed(documents)]
            assert got[::-1] == rows

    def test_hooks_see_the_texts_of_their_section(self):
        text, rows = self._statement(200)
        seen = []

        def hook(section_type, attrs, header):
            if section_type is varnok_py.SectionType.Document:
                seen.append(tuple(attrs[k] for k in self.FIELDS))

        parse(text.encode("utf-8"), [hook])
        assert seen == rows

    @pytest.mark.parametrize("kept", [1, 5])
    def test_documents_kept_from_a_dropped_statement_do_not_hold_its_shared_values(self, kept):
        text, rows = self._statement(300)
        documents = parse(text.encode("utf-8")).documents
        value = documents[0].payee_bank1  # a text the other documents share
        assert documents[3].payee_bank1 is value
        before = sys.getrefcount(value)
        documents = documents[:kept]
        gc.collect()
        assert sys.getrefcount(value) == before - 1  # (the shared one is let go)
        assert [tuple(getattr(d, n) for n in self.NAMES) for d in documents] == rows[:kept]

    @pytest.mark.thread_unsafe(reason="starts its own threads")
    def test_threads_reading_one_statement(self):
        from threads import run_in_threads

        text, rows = self._statement(300)
        documents = parse(text.encode("utf-8")).documents
        wrong = []

        def work(t):
            for _ in range(5):
                order = documents[t % 7::7] + documents[:t % 7]
                wrong.extend(d for d in order if tuple(getattr(d, n) for n in self.NAMES) != rows[int(d.doc_number)])

        run_in_threads(work)
        assert wrong == []


def sample_objects():
    text = statement_text(account_section(ACCOUNT), document_section(DOCUMENT))
    s = parse(text)
    (account,) = s.accounts.values()
    return [s, account, account.intervals[0], s.documents[0]]


RESULT_CLASSES = [Statement, Account, Interval, Document]


class TestClasses:
    @pytest.mark.parametrize("cls", RESULT_CLASSES)
    def test_names_and_no_docstring(self, cls):
        assert cls.__name__ == cls.__qualname__
        assert repr(cls) == f"<class '{cls.__name__}'>"
        assert cls.__doc__ is None
        assert cls.__bases__ == (object,)
        assert getattr(varnok_py, cls.__name__) is cls

    @pytest.mark.parametrize("cls", RESULT_CLASSES)
    def test_cannot_be_instantiated(self, cls):
        with pytest.raises(TypeError):
            cls()

    @pytest.mark.parametrize("cls", RESULT_CLASSES)
    def test_cannot_be_subclassed(self, cls):
        with pytest.raises(TypeError):
            type("Sub", (cls,), {})

    @pytest.mark.parametrize("cls", RESULT_CLASSES)
    def test_class_is_immutable(self, cls):
        with pytest.raises(TypeError):
            cls.extra = 1

    @pytest.mark.parametrize("obj", sample_objects(), ids=lambda o: type(o).__name__)
    def test_attributes_are_read_only(self, obj):
        for name in public_attributes(type(obj)):
            with pytest.raises(AttributeError):
                setattr(obj, name, "x")
            with pytest.raises(AttributeError):
                delattr(obj, name)
        with pytest.raises(AttributeError):
            obj.extra = 1
        assert not hasattr(obj, "__dict__")

    @pytest.mark.parametrize("obj", sample_objects()[1:], ids=lambda o: type(o).__name__)
    def test_value_classes_are_unhashable_and_unordered(self, obj):
        with pytest.raises(TypeError):
            hash(obj)
        with pytest.raises(TypeError):
            {obj}
        with pytest.raises(TypeError):
            obj < obj
        with pytest.raises(TypeError):
            obj >= obj
        assert obj != "x" and not (obj == "x")
        assert obj != 1
