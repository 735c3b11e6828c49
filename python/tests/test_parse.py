"""parse: argument binding, conversion of hooks and statement, and that nothing leaks
over many failing calls."""

import re
import sys
from collections.abc import Sequence

import pytest

import varnok_py
from leaks import growth_per_call
from threads import run_in_threads
from varnok_py import parse


NOTE = "while processing 'hooks'"
STATEMENT = "\n".join([
    "1CClientBankExchange",
    "ВерсияФормата=1.03",
    "СекцияРасчСчет",
    "ДатаНачала=01.01.2024",
    "РасчСчет=40702810000000000001",
    "НачальныйОстаток=100.00",
    "КонецРасчСчет",  # line 7
    "СекцияДокумент=Платёжное поручение",
    "Номер=1",
    "КонецДокумента",  # line 10
    "КонецФайла",
]) + "\n"


def exact(message: str) -> str:
    return "^" + re.escape(message) + "$"


def summary(result) -> tuple:
    return (
        result.encoding,
        result.header,
        list(result.accounts),
        [(d.doc_number, d.doc_type) for d in result.documents],
        result.warnings,
    )


class TestArgumentBinding:
    @pytest.mark.parametrize(
        ("args", "kwargs", "message"),
        [
            ((), {}, "parse() missing 1 required positional argument: 'statement'"),
            ((), {"hooks": None}, "parse() missing 1 required positional argument: 'statement'"),
            ((b"", None, None), {}, "parse() takes from 1 to 2 positional arguments but 3 were given"),
            ((b"", None, None, None), {}, "parse() takes from 1 to 2 positional arguments but 4 were given"),
            ((), {"statement": b"", "stmt": 1}, "parse() got an unexpected keyword argument 'stmt'"),
            ((b"",), {"Statement": b""}, "parse() got an unexpected keyword argument 'Statement'"),
            ((b"",), {"statement": b""}, "parse() got multiple values for argument 'statement'"),
            ((b"", None), {"hooks": None}, "parse() got multiple values for argument 'hooks'"),
        ],
    )
    def test_binding_errors(self, args, kwargs, message):
        with pytest.raises(TypeError, match=exact(message)):
            parse(*args, **kwargs)

    def test_binding_errors_come_before_hooks(self):
        with pytest.raises(TypeError, match="unexpected keyword argument"):
            parse(b"", "not hooks", bad=1)

    @pytest.mark.parametrize(
        "kwargs",
        [
            {"statement": STATEMENT},
            {"statement": STATEMENT, "hooks": None},
            {"hooks": [], "statement": STATEMENT},
            {"".join(["state", "ment"]): STATEMENT, "".join(["ho", "oks"]): ()},
        ],
        ids=["statement", "both", "reversed", "not-interned"],
    )
    def test_keywords(self, kwargs):
        assert summary(parse(**kwargs)) == summary(parse(STATEMENT))

    def test_keyword_given_as_str_subclass(self):
        class Name(str):
            pass

        assert summary(parse(**{Name("statement"): STATEMENT})) == summary(parse(STATEMENT))


class NotASequence:
    class Nested:
        pass


class TestHooksConversion:
    @pytest.mark.parametrize(
        ("hooks", "message"),
        [
            ("hook", "Can't extract `str` to `Vec`"),
            ("", "Can't extract `str` to `Vec`"),
            (type("Text", (str,), {})("x"), "Can't extract `str` to `Vec`"),
            (5, "'int' object is not an instance of 'Sequence'"),
            ({}, "'dict' object is not an instance of 'Sequence'"),
            ({print}, "'set' object is not an instance of 'Sequence'"),
            ((f for f in [print]), "'generator' object is not an instance of 'Sequence'"),
            (NotASequence.Nested(), "'NotASequence.Nested' object is not an instance of 'Sequence'"),
        ],
        ids=["str", "empty-str", "str-subclass", "int", "dict", "set", "generator", "nested-class"],
    )
    @pytest.mark.parametrize("statement", [STATEMENT, 12345], ids=["good-statement", "bad-statement"])
    def test_rejected_with_note(self, hooks, message, statement):
        with pytest.raises(TypeError, match="^" + re.escape(message)) as info:
            parse(statement, hooks)
        assert str(info.value) == message
        assert info.value.__notes__ == [NOTE]

    def test_iteration_failure_keeps_its_class_and_gets_the_note(self):
        class Broken(Sequence):
            def __len__(self):
                return 1

            def __getitem__(self, index):
                raise KeyError("inside")

            def __iter__(self):
                yield print
                raise LookupError("while iterating")

        with pytest.raises(LookupError, match="while iterating") as info:
            parse(STATEMENT, Broken())
        assert info.value.__notes__ == [NOTE]

    def test_ctrl_c_while_asking_the_length_is_not_lost(self):
        class Hooks(Sequence):
            def __len__(self):
                raise KeyboardInterrupt

            def __getitem__(self, index):
                raise IndexError(index)

        with pytest.raises(KeyboardInterrupt):
            parse(STATEMENT, Hooks())

    def test_failing_add_note_is_discarded(self):
        class Unnotable(Exception):
            def add_note(self, note):
                raise RuntimeError("no notes here")

        class Raising(Sequence):
            def __len__(self):
                return 0

            def __getitem__(self, index):
                raise Unnotable("original")

        with pytest.raises(Unnotable, match="original") as info:
            parse(STATEMENT, Raising())
        assert not hasattr(info.value, "__notes__")
        assert info.value.__context__ is None

    @pytest.mark.parametrize(
        "length",
        [lambda: 1 / 0, lambda: sys.maxsize, lambda: -1, lambda: 0],
        ids=["raises", "huge", "negative", "wrong"],
    )
    def test_length_only_sizes_the_list(self, length):
        seen = []

        class Hooks(Sequence):
            def __len__(self):
                return length()

            def __getitem__(self, index):
                if index >= 2:
                    raise IndexError
                return lambda section_type, attrs, header: seen.append((index, section_type))

        parse(STATEMENT, Hooks())
        assert seen == [
            (0, varnok_py.SectionType.Account),
            (1, varnok_py.SectionType.Account),
            (0, varnok_py.SectionType.Document),
            (1, varnok_py.SectionType.Document),
        ]

    @pytest.mark.parametrize("hooks", [None, [], (), b""], ids=["None", "list", "tuple", "bytes"])
    def test_no_hooks(self, hooks):
        assert summary(parse(STATEMENT, hooks)) == summary(parse(STATEMENT))

    def test_tuple_of_callables(self):
        calls = []
        parse(STATEMENT, (lambda *a: calls.append(1), lambda *a: calls.append(2)))
        assert calls == [1, 2, 1, 2]

    def test_bytes_elements_are_not_callable(self):
        message = "Hook error: TypeError: 'int' object is not callable"
        with pytest.raises(varnok_py.SyntaxError, match=exact(message)) as info:
            parse(STATEMENT, b"a")
        assert info.value.detail.lineno == 7

    def test_the_list_is_copied_before_the_read(self):
        calls = []
        hooks = []

        def first(section_type, attrs, header):
            calls.append("first")
            hooks.clear()

        def second(section_type, attrs, header):
            calls.append("second")

        hooks.extend([first, second])
        parse(STATEMENT, hooks)
        assert calls == ["first", "second"] * 2
        assert hooks == []


class TestStatementConversion:
    @pytest.mark.parametrize(
        "statement",
        [bytearray(STATEMENT.encode()), memoryview(STATEMENT.encode()), 1, None, [b"x"], "a\ud800b"],
        ids=["bytearray", "memoryview", "int", "None", "list", "lone-surrogate"],
    )
    def test_rejected(self, statement):
        with pytest.raises(TypeError, match=exact("statement must be bytes or str")) as info:
            parse(statement)
        assert not hasattr(info.value, "__notes__")

    def test_rejected_before_any_hook_runs(self):
        calls = []
        with pytest.raises(TypeError, match="statement must be bytes or str"):
            parse(bytearray(b"x"), [lambda *a: calls.append(a)])
        assert calls == []

    def test_a_str_read_grows_no_utf8_copy(self):
        text = STATEMENT + "\n"  # (a str of its own, not ASCII)
        size = sys.getsizeof(text)
        parse(text)
        assert not text.isascii() and sys.getsizeof(text) == size

    def test_str_reads_like_its_utf8_bytes(self):
        from_str, from_bytes = parse(STATEMENT), parse(STATEMENT.encode())
        assert from_str.encoding == from_bytes.encoding == "utf-8"
        assert summary(from_str) == summary(from_bytes)

    def test_subclasses_are_read_in_place(self):
        class Raw(bytes):
            pass

        class Text(str):
            pass

        expected = summary(parse(STATEMENT))
        assert summary(parse(Raw(STATEMENT.encode()))) == expected
        assert summary(parse(Text(STATEMENT))) == expected

    def test_cp1251_bytes(self):
        result = parse(STATEMENT.encode("cp1251"))
        assert result.encoding == "cp1251"
        assert summary(result)[1:] == summary(parse(STATEMENT))[1:]

    def test_each_call_returns_a_new_object(self):
        assert parse(STATEMENT) is not parse(STATEMENT)


class TestThreads:
    def test_concurrent_calls_with_and_without_hooks(self):
        expected = summary(parse(STATEMENT))
        cp1251 = STATEMENT.encode("cp1251")

        def work(index):
            for _ in range(50):
                hooks = [lambda *a: None] if index % 2 else None
                assert summary(parse(cp1251, hooks))[1:] == expected[1:]
                with pytest.raises(varnok_py.SyntaxError):
                    parse(STATEMENT + "X=1\n", hooks)
                with pytest.raises(TypeError):
                    parse(STATEMENT, {})

        run_in_threads(work)


FAILING_CALLS = [
    lambda: parse(b""),
    lambda: parse("x"),
    lambda: parse(STATEMENT.replace("КонецФайла\n", "")),
    lambda: parse(STATEMENT + "X=1\n"),
    lambda: parse(STATEMENT.replace("РасчСчет=40702810000000000001\n", "")),
    lambda: parse(STATEMENT, [lambda *a: 1 / 0]),
    lambda: parse(STATEMENT, [1]),
    lambda: parse(STATEMENT, {}),
    lambda: parse(STATEMENT, NotASequence.Nested()),
    lambda: parse(STATEMENT, "".join(["ho", "ok"])),
    lambda: parse(bytearray(), [print]),
    lambda: parse(),
    lambda: parse(b"", x=1),
    lambda: varnok_py.HookError(-1, "x"),
    lambda: varnok_py.HookError(1, b"x"),
]


class TestReferences:
    @pytest.mark.thread_unsafe(reason="measures the whole process's allocated blocks")
    def test_failing_calls_do_not_leak(self):
        def run(times):
            for _ in range(times):
                for call in FAILING_CALLS:
                    try:
                        call()
                    except (varnok_py.ParseError, TypeError, OverflowError):
                        pass

        # One object kept per failing call would be len(FAILING_CALLS) blocks per pass.
        assert growth_per_call(run, 500) < 0.5

    def test_arguments_keep_their_reference_counts(self):
        def hook(section_type, attrs, header):
            pass

        hooks = [hook]
        not_hooks = NotASequence.Nested()
        data = STATEMENT.encode()
        objects = (hook, hooks, not_hooks, data)
        counts = [sys.getrefcount(o) for o in objects]
        for _ in range(100):
            parse(data, hooks)
            with pytest.raises(varnok_py.SyntaxError):
                parse(data + b"X=1\n", hooks)
            with pytest.raises(TypeError):
                parse(1, hooks)
            with pytest.raises(TypeError):
                parse(data, not_hooks)
        assert [sys.getrefcount(o) for o in objects] == counts
