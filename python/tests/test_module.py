"""The module object: its names and their order, __doc__, parse as a built-in, and the
process-wide classes shared by every module object."""

import importlib.util
import inspect
import types

import pytest

import varnok_py


PUBLIC_NAMES = [
    "Interval",
    "Account",
    "Document",
    "Statement",
    "SectionType",
    "UnexpectedSection",
    "UnexpectedAttribute",
    "UnrecognizedLine",
    "MissingField",
    "AccountParseError",
    "DocumentParseError",
    "HookError",
    "parse",
    "ParseError",
    "NotStatementError",
    "EmptyInputError",
    "UnfinishedError",
    "SyntaxError",
]


PARSE_DOC = """\
Парсит выписку 1CClientBankExchange из байтов или строки.

# Аргументы

* `statement` - Сырые байты или строка файла выписки (поддерживает кодировки CP1251 и UTF-8)
* `hooks` - Опциональный список callable для модификации секций во время парсинга.
  Сигнатура hook: `(section_type: SectionType, attrs: dict, header: dict) -> None`
  - `section_type`: тип секции (`SectionType.Document` или `SectionType.Account`)
  - attrs: словарь атрибутов секции (можно модифицировать)
  - header: словарь заголовка выписки (только для чтения)

# Возвращает

Объект Statement с атрибутами:
- encoding: "cp1251" или "utf-8"
- header: словарь пар ключ-значение заголовка
- accounts: словарь номер счёта -> объект Account
- documents: список объектов Document
- warnings: список кортежей (lineno, message)

# Ошибки

* `NotStatementError` - Если входные данные не являются выпиской 1C
* `EmptyInputError` - Если входные данные пусты
* `UnfinishedError` - Если выписка не завершена корректно
* `SyntaxError` - Если в выписке синтаксическая ошибка (включая ошибки hooks)
* `ParseError` - Для прочих ошибок парсинга"""


def fresh_module() -> types.ModuleType:
    """A second module object from the same extension, executed anew."""
    spec = importlib.util.find_spec("varnok_py")
    assert spec is not None and spec.loader is not None
    module = importlib.util.module_from_spec(spec)
    spec.loader.exec_module(module)
    return module


class TestAttributes:
    def test_all_lists_the_names_in_order(self):
        assert varnok_py.__all__ == PUBLIC_NAMES
        assert all(type(name) is str for name in varnok_py.__all__)

    def test_nothing_else_is_public(self):
        extra = {
            name
            for name in vars(varnok_py)
            if not (name.startswith("__") and name.endswith("__"))
        }
        assert extra == set(PUBLIC_NAMES)

    def test_doc_is_empty(self):
        assert varnok_py.__doc__ == ""

    @pytest.mark.parametrize("name", PUBLIC_NAMES[4:12] + PUBLIC_NAMES[13:])
    def test_classes_carry_the_module_prefix(self, name):
        cls = getattr(varnok_py, name)
        assert isinstance(cls, type)
        assert (cls.__module__, cls.__name__) == ("varnok_py", name)


class TestParseFunction:
    def test_is_a_builtin_bound_to_the_module(self):
        assert isinstance(varnok_py.parse, types.BuiltinFunctionType)
        assert varnok_py.parse.__self__ is varnok_py
        assert varnok_py.parse.__module__ == "varnok_py"
        assert varnok_py.parse.__name__ == "parse"

    def test_signature(self):
        assert varnok_py.parse.__text_signature__ == "(statement, hooks=None)"
        params = inspect.signature(varnok_py.parse).parameters
        assert list(params) == ["statement", "hooks"]
        assert params["hooks"].default is None
        assert all(p.kind is p.POSITIONAL_OR_KEYWORD for p in params.values())

    def test_doc(self):
        assert varnok_py.parse.__doc__ == PARSE_DOC


class TestSecondModuleObject:
    def test_shares_the_classes(self):
        other = fresh_module()
        assert other is not varnok_py
        assert other.__all__ == PUBLIC_NAMES
        for name in PUBLIC_NAMES:
            if name != "parse":
                assert getattr(other, name) is getattr(varnok_py, name), name
        assert other.SectionType.Document is varnok_py.SectionType.Document

    def test_parse_is_bound_to_its_own_module(self):
        other = fresh_module()
        assert other.parse is not varnok_py.parse
        assert other.parse.__self__ is other
        with pytest.raises(varnok_py.EmptyInputError):
            other.parse(b"")


class TestInterpreters:
    def test_subinterpreter_refuses_the_import(self):
        try:
            from concurrent import interpreters
        except ImportError:  # its name before CPython 3.14, kept by the free-threaded 3.15.0a0
            interpreters = pytest.importorskip("test.support.interpreters")
        interp = interpreters.create()
        try:
            refused = "ImportError: .*does not support loading in subinterpreters"
            with pytest.raises(interpreters.ExecutionFailed, match=refused):
                interp.exec("import varnok_py")
        finally:
            interp.close()
