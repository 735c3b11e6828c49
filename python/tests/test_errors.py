"""Exceptions, the diagnostic classes carried in SyntaxError.detail, the mapping from a
failed read to them, and SectionType."""

import builtins
import copy
import pickle

import pytest

import varnok_py
from varnok_py import SectionType

HEADER = ["1CClientBankExchange", "ВерсияФормата=1.03", "Кодировка=Windows"]  # lines 1-3


def statement(*lines: str) -> str:
    return "\n".join(lines) + "\n"


def account(*attributes: str) -> list[str]:
    return ["СекцияРасчСчет", *attributes, "КонецРасчСчет"]


GOOD_ACCOUNT = account("ДатаНачала=01.01.2024", "РасчСчет=40702810000000000001", "НачальныйОстаток=100.00")
SUBCLASSES = [
    varnok_py.SyntaxError,
    varnok_py.NotStatementError,
    varnok_py.EmptyInputError,
    varnok_py.UnfinishedError,
]

# class, field names after lineno
DIAGNOSTICS = [
    (varnok_py.UnrecognizedLine, ["line"]),
    (varnok_py.UnexpectedAttribute, ["key", "value"]),
    (varnok_py.MissingField, ["field", "context"]),
    (varnok_py.UnexpectedSection, ["found", "context"]),
    (varnok_py.AccountParseError, ["message"]),
    (varnok_py.DocumentParseError, ["message"]),
    (varnok_py.HookError, ["message"]),
]
DIAGNOSTIC_IDS = [cls.__name__ for cls, _ in DIAGNOSTICS]


def make(cls, fields, lineno=3, texts=None):
    texts = texts or [f"{name} текст" for name in fields]
    return cls(lineno, *texts)


class TestExceptionClasses:
    def test_parse_error_derives_from_exception(self):
        assert varnok_py.ParseError.__bases__ == (Exception,)

    @pytest.mark.parametrize("cls", SUBCLASSES, ids=lambda c: c.__name__)
    def test_subclass_of_parse_error_only(self, cls):
        assert cls.__bases__ == (varnok_py.ParseError,)
        assert not issubclass(cls, builtins.SyntaxError)

    @pytest.mark.parametrize("cls", [varnok_py.ParseError, *SUBCLASSES], ids=lambda c: c.__name__)
    def test_names_and_no_docstring(self, cls):
        assert f"{cls.__module__}.{cls.__qualname__}" == f"varnok_py.{cls.__name__}"
        assert cls.__doc__ is None

    def test_builtin_syntax_error_does_not_catch(self):
        with pytest.raises(varnok_py.ParseError):
            try:
                varnok_py.parse(statement(*HEADER, "мусор"))
            except builtins.SyntaxError:
                pytest.fail("caught by the built-in SyntaxError")


# text, exception class, detail class, lineno, detail fields, message
LOCATED = [
    pytest.param(
        statement(*HEADER, "КонецФайла"),
        varnok_py.UnexpectedSection, 4, {"found": "КонецФайла", "context": "header"},
        "Unexpected section 'КонецФайла' in context 'header'",
        id="section-in-header",
    ),
    pytest.param(
        statement(*HEADER, "СекцияРасчСчет", "СекцияДокумент = Платёжное поручение"),
        varnok_py.UnexpectedSection, 5,
        {"found": "СекцияДокумент=Платёжное поручение", "context": "account"},
        "Unexpected section 'СекцияДокумент=Платёжное поручение' in context 'account'",
        id="document-in-account",
    ),
    pytest.param(
        statement(*HEADER, *GOOD_ACCOUNT, "КонецФайла", "", "КонецФайла"),
        varnok_py.UnexpectedSection, 11, {"found": "КонецФайла", "context": "finished"},
        "Unexpected section 'КонецФайла' in context 'finished'",
        id="section-after-end",
    ),
    pytest.param(
        statement(*HEADER, *GOOD_ACCOUNT, "КонецФайла", " Ключ = a = b "),
        varnok_py.UnexpectedAttribute, 10, {"key": "Ключ", "value": "a = b"},
        "Unexpected attribute 'Ключ' = 'a = b'",
        id="attribute-after-end",
    ),
    pytest.param(
        statement(*HEADER, "\t  не строка выписки  "),
        varnok_py.UnrecognizedLine, 4, {"line": "не строка выписки"},
        "Unrecognized line: 'не строка выписки'",
        id="unrecognized",
    ),
    pytest.param(
        statement(*HEADER, *account("ДатаНачала=01.01.2024", "НачальныйОстаток=1"), "КонецФайла"),
        varnok_py.MissingField, 7, {"field": "РасчСчет", "context": "account"},
        "Missing field 'РасчСчет' in context 'account'",
        id="missing-account-number",
    ),
    pytest.param(
        statement(*HEADER, *account("РасчСчет=1", "НачальныйОстаток=1"), "КонецФайла"),
        varnok_py.AccountParseError, 7, {"message": "missing field `ДатаНачала`"},
        "Account parse error: missing field `ДатаНачала`",
        id="missing-start-date",
    ),
    pytest.param(
        statement(*HEADER, *account("ДатаНачала=01.01.2024", "РасчСчет=1", 'НачальныйОстаток=1"0'),
                  "КонецФайла"),
        varnok_py.AccountParseError, 8,
        {"message": 'invalid value: string "1\\"0", expected a Decimal type representing a '
                    "fixed-point number"},
        'Account parse error: invalid value: string "1\\"0", expected a Decimal type representing a '
        "fixed-point number",
        id="bad-amount",
    ),
]


class TestMapping:
    @pytest.mark.parametrize(("text", "detail_cls", "lineno", "fields", "message"), LOCATED)
    @pytest.mark.parametrize("as_bytes", [False, True], ids=["str", "cp1251"])
    def test_located_kinds_carry_detail(self, text, detail_cls, lineno, fields, message, as_bytes):
        data = text.encode("cp1251") if as_bytes else text
        with pytest.raises(varnok_py.SyntaxError) as info:
            varnok_py.parse(data)
        exc = info.value
        assert type(exc) is varnok_py.SyntaxError
        assert exc.args == (message,)
        assert str(exc) == message
        assert type(exc.detail) is detail_cls
        assert exc.detail.lineno == lineno
        assert {name: getattr(exc.detail, name) for name in fields} == fields
        assert exc.__cause__ is None and exc.__context__ is None

    def test_hook_failure(self):
        def hook(section_type, attrs, header):
            raise ValueError("boom")

        text = statement(*HEADER, "СекцияДокумент=Платёжное поручение", "Номер=1", "КонецДокумента",
                         "КонецФайла")
        with pytest.raises(varnok_py.SyntaxError, match="^Hook error: ValueError: boom$") as info:
            varnok_py.parse(text, [hook])
        detail = info.value.detail
        assert type(detail) is varnok_py.HookError
        assert (detail.lineno, detail.message) == (6, "ValueError: boom")
        assert info.value.__cause__ is None and info.value.__context__ is None

    @pytest.mark.parametrize(
        ("data", "cls", "message"),
        [
            (b"", varnok_py.EmptyInputError, "Input is empty"),
            (b" \t\r\n\x0c", varnok_py.EmptyInputError, "Input is empty"),
            ("", varnok_py.EmptyInputError, "Input is empty"),
            (b"\n1CClientBankExchange\n", varnok_py.NotStatementError, "Input is not a 1C statement"),
            (b"\x00\x01\x02\x03" * 8, varnok_py.NotStatementError, "Input is not a 1C statement"),
            (statement(*HEADER, "СекцияРасчСчет"), varnok_py.UnfinishedError, "Statement is not finished"),
            (statement(*HEADER, *GOOD_ACCOUNT), varnok_py.UnfinishedError, "Statement is not finished"),
        ],
    )
    def test_unlocated_kinds_have_no_detail(self, data, cls, message):
        with pytest.raises(cls) as info:
            varnok_py.parse(data)
        exc = info.value
        assert type(exc) is cls
        assert exc.args == (message,)
        assert not hasattr(exc, "detail")
        assert exc.__cause__ is None and exc.__context__ is None

    def test_not_chained_to_the_exception_being_handled(self):
        try:
            raise KeyError("handled")
        except KeyError:
            with pytest.raises(varnok_py.SyntaxError) as info:
                varnok_py.parse(statement(*HEADER, "мусор"))
        assert info.value.__context__ is None


class TestDiagnosticConstruction:
    @pytest.mark.parametrize(("cls", "fields"), DIAGNOSTICS, ids=DIAGNOSTIC_IDS)
    def test_positional_and_keyword_in_any_order(self, cls, fields):
        texts = [f"{name} значение" for name in fields]
        positional = cls(5, *texts)
        keywords = cls(**dict(reversed(list(zip(fields, texts)))), lineno=5)
        for obj in (positional, keywords):
            assert obj.lineno == 5
            assert [getattr(obj, name) for name in fields] == texts
            assert obj.__getnewargs__() == (5, *texts)

    @pytest.mark.parametrize(("cls", "fields"), DIAGNOSTICS, ids=DIAGNOSTIC_IDS)
    def test_signature_is_the_only_documentation(self, cls, fields):
        assert cls.__text_signature__ == "(" + ", ".join(["lineno", *fields]) + ")"
        assert cls.__doc__ is None
        assert f"{cls.__module__}.{cls.__qualname__}" == f"varnok_py.{cls.__name__}"

    @pytest.mark.parametrize(("cls", "fields"), DIAGNOSTICS, ids=DIAGNOSTIC_IDS)
    def test_argument_count_errors(self, cls, fields):
        texts = ["x"] * len(fields)
        with pytest.raises(TypeError):
            cls(1, *texts[:-1])
        with pytest.raises(TypeError):
            cls(1, *texts, "surplus")
        with pytest.raises(TypeError):
            cls(1, *texts, lineno=1)
        with pytest.raises(TypeError):
            cls(1, *texts, unknown="x")

    @pytest.mark.parametrize(("cls", "fields"), DIAGNOSTICS, ids=DIAGNOSTIC_IDS)
    @pytest.mark.parametrize("bad", [b"bytes", 1, None, ["list"]], ids=["bytes", "int", "None", "list"])
    def test_texts_must_be_str(self, cls, fields, bad):
        for i, name in enumerate(fields):
            texts = ["ok"] * len(fields)
            texts[i] = bad
            with pytest.raises(TypeError, match=f"'{name}'"):
                cls(1, *texts)

    def test_str_subclass_is_read_back_as_str(self):
        class Text(str):
            pass

        obj = varnok_py.HookError(1, Text("сообщение"))
        assert type(obj.message) is str and obj.message == "сообщение"

    class Index:
        def __init__(self, value):
            self.value = value

        def __index__(self):
            return self.value

    @pytest.mark.parametrize(
        ("lineno", "expected"),
        [(0, 0), (2**64 - 1, 2**64 - 1), (True, 1), (Index(42), 42)],
        ids=["zero", "max", "bool", "index"],
    )
    def test_lineno_through_the_index_protocol(self, lineno, expected):
        obj = varnok_py.MissingField(lineno, "РасчСчет", "account")
        assert obj.lineno == expected and type(obj.lineno) is int

    @pytest.mark.parametrize("lineno", [-1, 2**64, Index(-5)], ids=["negative", "too-large", "index"])
    def test_lineno_out_of_range(self, lineno):
        with pytest.raises(OverflowError):
            varnok_py.MissingField(lineno, "РасчСчет", "account")

    @pytest.mark.parametrize("lineno", ["1", 1.0, None, b"1"])
    def test_lineno_of_wrong_type(self, lineno):
        with pytest.raises(TypeError, match="'lineno'"):
            varnok_py.MissingField(lineno, "РасчСчет", "account")


class TestDiagnosticObjects:
    @pytest.mark.parametrize(("cls", "fields"), DIAGNOSTICS, ids=DIAGNOSTIC_IDS)
    def test_read_only_without_dict(self, cls, fields):
        obj = make(cls, fields)
        for name in ["lineno", *fields]:
            with pytest.raises(AttributeError):
                setattr(obj, name, getattr(obj, name))
        with pytest.raises(AttributeError):
            obj.other = 1
        assert not hasattr(obj, "__dict__")

    @pytest.mark.parametrize(("cls", "fields"), DIAGNOSTICS, ids=DIAGNOSTIC_IDS)
    def test_not_subclassable(self, cls, fields):
        with pytest.raises(TypeError):
            type("Sub", (cls,), {})

    @pytest.mark.parametrize(("cls", "fields"), DIAGNOSTICS, ids=DIAGNOSTIC_IDS)
    def test_identity_equality_and_hash(self, cls, fields):
        a, b = make(cls, fields), make(cls, fields)
        assert a == a and a != b
        assert hash(a) != hash(b) or a is b
        with pytest.raises(TypeError):
            a < b  # noqa: B015

    @pytest.mark.parametrize(("cls", "fields"), DIAGNOSTICS, ids=DIAGNOSTIC_IDS)
    @pytest.mark.parametrize(
        "clone",
        [
            *(lambda o, p=p: pickle.loads(pickle.dumps(o, protocol=p)) for p in range(2, 6)),
            copy.copy,
            copy.deepcopy,
        ],
        ids=["pickle2", "pickle3", "pickle4", "pickle5", "copy", "deepcopy"],
    )
    def test_pickle_and_copy(self, cls, fields, clone):
        obj = make(cls, fields, lineno=2**64 - 1, texts=[f'{n} "\n\ud800' for n in fields])
        other = clone(obj)
        assert type(other) is cls
        assert other is not obj and other != obj
        names = ["lineno", *fields]
        assert [getattr(other, n) for n in names] == [getattr(obj, n) for n in names]

    def test_repr_of_every_class(self):
        assert [repr(make(cls, fields, lineno=7)) for cls, fields in DIAGNOSTICS] == [
            'UnrecognizedLine(lineno=7, line="line текст")',
            'UnexpectedAttribute(lineno=7, key="key текст", value="value текст")',
            'MissingField(lineno=7, field="field текст", context="context текст")',
            'UnexpectedSection(lineno=7, found="found текст", context="context текст")',
            'AccountParseError(lineno=7, message="message текст")',
            'DocumentParseError(lineno=7, message="message текст")',
            'HookError(lineno=7, message="message текст")',
        ]

    @pytest.mark.parametrize(
        ("text", "shown"),
        [
            ("КонецФайла", '"КонецФайла"'),
            ('a"b', '"a\\"b"'),
            ("a\\b", '"a\\\\b"'),
            ("\t\r\n\0", '"\\t\\r\\n\\0"'),
            ("it's", '"it\'s"'),
            ("a\u00a0b", '"a\\u{a0}b"'),
            ("e\u0301", '"e\\u{301}"'),
            ("\x7f\u200b", '"\\u{7f}\\u{200b}"'),
            ("\ud800", '"\\u{d800}"'),
            ("", '""'),
        ],
    )
    def test_repr_quotes_the_texts(self, text, shown):
        obj = varnok_py.HookError(1, text)
        assert repr(obj) == str(obj) == f"HookError(lineno=1, message={shown})"
        assert obj.message == text


class TestSectionType:
    def test_class(self):
        assert f"{SectionType.__module__}.{SectionType.__qualname__}" == "varnok_py.SectionType"
        assert SectionType.__doc__ == "Тип секции выписки для использования в hooks."
        assert SectionType.__bases__ == (object,)

    @pytest.mark.parametrize(("member", "value", "text"), [
        (SectionType.Document, 0, "SectionType.Document"),
        (SectionType.Account, 1, "SectionType.Account"),
    ])
    def test_members(self, member, value, text):
        assert type(member) is SectionType
        assert int(member) == value
        assert repr(member) == str(member) == text

    def test_members_are_single_objects(self):
        assert SectionType.Document is SectionType.Document
        assert SectionType.Document is not SectionType.Account

    def test_equality_by_value_among_members(self):
        assert SectionType.Document == SectionType.Document
        assert SectionType.Account != SectionType.Document
        assert not (SectionType.Account == SectionType.Document)
        assert not (SectionType.Document != SectionType.Document)

    @pytest.mark.parametrize("other", [0, 1, "SectionType.Document", None])
    def test_other_types_are_not_implemented(self, other):
        assert SectionType.Document.__eq__(other) is NotImplemented
        assert (SectionType.Document == other) is False
        assert (SectionType.Document != other) is True

    @pytest.mark.parametrize("op", ["__lt__", "__le__", "__gt__", "__ge__"])
    def test_no_ordering(self, op):
        assert getattr(SectionType.Document, op)(SectionType.Account) is NotImplemented
        with pytest.raises(TypeError):
            sorted([SectionType.Account, SectionType.Document])

    def test_unhashable(self):
        with pytest.raises(TypeError):
            hash(SectionType.Document)
        with pytest.raises(TypeError):
            {SectionType.Account}  # noqa: B018

    def test_cannot_be_called_subclassed_or_changed(self):
        with pytest.raises(TypeError):
            SectionType()
        with pytest.raises(TypeError):
            SectionType(0)
        with pytest.raises(TypeError):
            type("Sub", (SectionType,), {})
        with pytest.raises(TypeError):
            SectionType.Document = SectionType.Account
        with pytest.raises(AttributeError):
            SectionType.Document.value = 2
