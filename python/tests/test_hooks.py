"""Python callables as section hooks: arguments, read-back of attrs, failure texts."""

import gc
import sys
import threading
import weakref

import pytest

import varnok_py
from statements import DOCUMENT, account_section, document_section
from statements import statement_text as build_statement
from varnok_py import SectionType, parse

HEADER = {"ВерсияФормата": "1.03", "Отправитель": "Бухгалтерия"}

ACCOUNT = {
    "ДатаНачала": "01.01.2024",
    "РасчСчет": "40702810000000000001",
    "НачальныйОстаток": "1000.00",
}


def statement_text(*sections):
    return build_statement(*sections, header=HEADER)


ONE_DOCUMENT = statement_text(document_section(DOCUMENT))
DOCUMENT_END_LINE = ONE_DOCUMENT.splitlines().index("КонецДокумента") + 1


def hook_error(text, hooks):
    with pytest.raises(varnok_py.SyntaxError) as info:
        parse(text, hooks)
    return info.value


class Recorder:
    """A hook that records what it was called with (copies of the dicts)."""

    def __init__(self):
        self.calls = []

    def __call__(self, section_type, attrs, header):
        self.calls.append((section_type, list(attrs.items()), dict(header)))


class TestCalls:
    def test_one_call_per_section_in_input_order(self):
        recorder = Recorder()
        text = statement_text(
            document_section(DOCUMENT), account_section(ACCOUNT), document_section({**DOCUMENT, "Номер": "18"})
        )
        parse(text, [recorder])
        assert [(t, dict(a).get("Номер")) for t, a, _ in recorder.calls] == [
            (SectionType.Document, "17"),
            (SectionType.Account, None),
            (SectionType.Document, "18"),
        ]
        assert recorder.calls[1][1] == list(ACCOUNT.items())
        assert all(header == HEADER for _, _, header in recorder.calls)

    def test_arguments(self):
        seen = []

        def hook(*args, **kwargs):
            seen.append((args, kwargs))

        parse(statement_text(account_section(ACCOUNT), document_section(DOCUMENT)), [hook])
        (account_args, account_kwargs), (document_args, _) = seen
        assert account_kwargs == {}
        assert account_args[0] is SectionType.Account
        assert document_args[0] is SectionType.Document
        assert type(account_args[1]) is dict and type(account_args[2]) is dict
        assert list(document_args[1]) == list(DOCUMENT)  # the kind is not an attribute
        assert list(account_args[2].items()) == list(HEADER.items())
        assert account_args[1] is not document_args[1]
        assert account_args[2] is not document_args[2]

    def test_hooks_run_in_order_and_see_earlier_changes(self):
        order = []

        def first(section_type, attrs, header):
            order.append("first")
            attrs["Номер"] = attrs["Номер"] + "-a"

        def second(section_type, attrs, header):
            order.append("second")
            attrs["Номер"] = attrs["Номер"] + "-b"

        s = parse(ONE_DOCUMENT, [first, second])
        assert order == ["first", "second"]
        assert s.documents[0].doc_number == "17-a-b"

    @pytest.mark.parametrize("returned", [True, 1, "stop", NotImplemented, None])
    def test_return_value_is_ignored(self, returned):
        s = parse(ONE_DOCUMENT, [lambda t, a, h: returned])
        assert s.documents[0].doc_number == "17"

    def test_a_section_and_a_header_without_attributes_give_empty_dicts(self):
        recorder = Recorder()
        statement = parse(build_statement(document_section({}), header={}), [recorder])
        assert recorder.calls == [(SectionType.Document, [], {})]
        assert len(statement.warnings) == 1


class TestReadBack:
    def test_a_hook_doing_nothing_keeps_attributes_and_order(self):
        after = Recorder()
        parse(ONE_DOCUMENT, [lambda t, a, h: None, after])
        assert after.calls[0][1] == list(DOCUMENT.items())

    def test_assigning_keeps_the_position(self):
        def hook(section_type, attrs, header):
            attrs["Номер"] = "99"

        after = Recorder()
        s = parse(ONE_DOCUMENT, [hook, after])
        assert after.calls[0][1] == list({**DOCUMENT, "Номер": "99"}.items())
        assert s.documents[0].doc_number == "99"

    def test_delete_and_set_moves_the_key_to_the_end(self):
        def hook(section_type, attrs, header):
            value = attrs.pop("Номер")
            attrs["Номер"] = value

        after = Recorder()
        parse(ONE_DOCUMENT, [hook, after])
        keys = [k for k, _ in after.calls[0][1]]
        assert keys == [k for k in DOCUMENT if k != "Номер"] + ["Номер"]

    def test_a_new_dict_order_takes_effect(self):
        def hook(section_type, attrs, header):
            items = list(attrs.items())
            attrs.clear()
            attrs.update(reversed(items))

        after = Recorder()
        parse(ONE_DOCUMENT, [hook, after])
        assert after.calls[0][1] == list(reversed(DOCUMENT.items()))

    @pytest.mark.parametrize(
        "rearrange",
        [
            lambda a: a.update({"Номер": a["Дата"], "Дата": a["Номер"]}),
            lambda a: a.update(zip(list(a), list(a.values())[1:] + list(a.values())[:1])),
            lambda a: [a.__setitem__(k, a.pop(k)) for k in list(a)[:3]],
            lambda a: a.update({k: "".join(v) for k, v in a.items()}),
            lambda a: a.popitem(),
            lambda a: a.pop(next(iter(a))),
            lambda a: a.update({list(a)[5]: "новое"}),
            lambda a: a.update({"Новый": "1"}),
        ],
        ids=["values-swapped", "values-rotated", "keys-moved-to-the-end", "equal-new-objects",
             "last-removed", "first-removed", "one-value-changed", "one-key-added"],
    )
    def test_the_given_objects_moved_around_read_back_as_their_texts(self, rearrange):
        expected = dict(DOCUMENT)
        rearrange(expected)
        after = Recorder()
        parse(ONE_DOCUMENT, [lambda t, a, h: rearrange(a), after])
        assert after.calls[0][1] == list(expected.items())

    @pytest.mark.parametrize("how", ["by the release of what it returns", "by another thread"])
    def test_a_change_made_outside_the_hooks_own_code_takes_effect(self, how):
        class ChangesOnRelease:
            def __init__(self, attrs):
                self.attrs = attrs

            def __del__(self):
                self.attrs["Номер"] = "99"

        def hook(section_type, attrs, header):
            if how == "by another thread":
                thread = threading.Thread(target=attrs.__setitem__, args=("Номер", "99"))
                thread.start()
                thread.join()
                return None
            return ChangesOnRelease(attrs)

        assert parse(ONE_DOCUMENT, [hook]).documents[0].doc_number == "99"

    def test_removing_a_required_key_drops_the_document(self):
        def hook(section_type, attrs, header):
            del attrs["Сумма"]

        s = parse(ONE_DOCUMENT, [hook])
        assert s.documents == []
        assert s.warnings == [(DOCUMENT_END_LINE, "missing field `Сумма`")]

    def test_added_kind_key_collides_with_the_document_kind(self):
        def hook(section_type, attrs, header):
            attrs["СекцияДокумент"] = "Другое"

        s = parse(ONE_DOCUMENT, [hook])
        assert s.warnings == [(DOCUMENT_END_LINE, "duplicate field `СекцияДокумент`")]

    def test_document_kind_is_kept(self):
        def hook(section_type, attrs, header):
            attrs["Плательщик"] = "ООО «Новый»"

        (document,) = parse(ONE_DOCUMENT, [hook]).documents
        assert (document.counterparty, document.doc_type) == ("ООО «Новый»", "Платежное поручение")

    def test_changing_the_account_number_moves_the_interval(self):
        def hook(section_type, attrs, header):
            if section_type is SectionType.Account and attrs["ДатаНачала"] == "01.02.2024":
                attrs["РасчСчет"] = "222"

        later = {**ACCOUNT, "ДатаНачала": "01.02.2024"}
        s = parse(statement_text(account_section(ACCOUNT), account_section(later)), [hook])
        assert {number: [i.date_start for i in a.intervals] for number, a in s.accounts.items()} == {
            ACCOUNT["РасчСчет"]: ["2024-01-01"],
            "222": ["2024-02-01"],
        }

    def test_str_subclass_keys_and_values_are_taken_as_text(self):
        class Text(str):
            def __str__(self):
                return "not this"

        def hook(section_type, attrs, header):
            attrs["Номер"] = Text("41")
            attrs[Text("Код")] = "0"

        (document,) = parse(ONE_DOCUMENT, [hook]).documents
        assert (document.doc_number, document.uin) == ("41", "0")

    def test_header_changes_have_no_effect(self):
        seen = []

        def vandal(section_type, attrs, header):
            seen.append(dict(header))
            header.clear()
            header["Чужой"] = "1"

        after = Recorder()
        s = parse(statement_text(*[document_section(DOCUMENT)] * 3), [vandal, after, Recorder()])
        assert seen == [HEADER] * 3 and [header for _, _, header in after.calls] == [HEADER] * 3
        assert s.header == HEADER

    def test_dicts_a_hook_keeps_stay_its_own(self):
        # Each call gets its own dicts, whatever the hook keeps of earlier ones (a dict, a
        # view of one) or leaves behind.
        kept = []

        def keeper(section_type, attrs, header):
            number = attrs["Номер"]
            if number in ("2", "4"):
                kept.append((number, attrs, header, dict(header)))
            elif number == "3":
                kept.append((number, attrs.items(), header.keys(), dict(header)))

        sections = [document_section({**DOCUMENT, "Номер": str(n)}) for n in range(1, 7)]
        parse(statement_text(*sections), [keeper])
        assert [(n, dict(a)["Номер"]) for n, a, _, _ in kept] == [("2", "2"), ("3", "3"), ("4", "4")]
        assert all(dict(zip(h, copy.values())) == copy == HEADER for _, _, h, copy in kept)
        assert len({id(a) for _, a, _, _ in kept}) == len({id(h) for _, _, h, _ in kept}) == 3

    def test_a_kept_dict_changed_later_has_no_effect(self):
        kept = []

        def keeper(section_type, attrs, header):
            kept.append(attrs)

        def late(section_type, attrs, header):
            kept[-1]["Номер"] = "changed too late"

        (document,) = parse(ONE_DOCUMENT, [keeper, late]).documents
        assert document.doc_number == "17"


def raising(exc):
    def hook(section_type, attrs, header):
        raise exc

    return hook


def setting(key, value):
    def hook(section_type, attrs, header):
        attrs[key] = value

    return hook


def encode_error(text):
    try:
        text.encode("utf-8")
    except UnicodeEncodeError as exc:
        return f"UnicodeEncodeError: {exc}"
    raise AssertionError("encodable")


class StrFails(Exception):
    def __str__(self):
        raise RuntimeError("no text")


class TestFailures:
    @pytest.mark.parametrize(
        ("hook", "text"),
        [
            pytest.param(raising(ValueError("boom")), "ValueError: boom", id="value-error"),
            pytest.param(raising(KeyError("x")), "KeyError: 'x'", id="key-error"),
            pytest.param(raising(RuntimeError()), "RuntimeError: ", id="no-arguments"),
            pytest.param(raising(StrFails("x")), "StrFails: <exception str() failed>", id="str-raises"),
            pytest.param(raising(ValueError("a\udc80b")), "ValueError: a\ufffd\ufffd\ufffdb", id="lone-surrogate"),
            pytest.param(setting("Номер", 5), "TypeError: 'int' object is not an instance of 'str'", id="int-value"),
            pytest.param(setting("Номер", None), "TypeError: 'None' is not an instance of 'str'", id="none-value"),
            pytest.param(setting(b"k", "v"), "TypeError: 'bytes' object is not an instance of 'str'", id="bytes-key"),
            pytest.param(setting(7, None), "TypeError: 'int' object is not an instance of 'str'", id="key-first"),
            pytest.param(setting("\udc80", "v"), encode_error("\udc80"), id="surrogate-key"),
            pytest.param(setting("Номер", "1\ud800"), encode_error("1\ud800"), id="surrogate-value"),
        ],
    )
    def test_failure_text(self, hook, text):
        exc = hook_error(ONE_DOCUMENT, [hook])
        assert str(exc) == "Hook error: " + text
        assert exc.args == ("Hook error: " + text,)
        assert type(exc.detail) is varnok_py.HookError
        assert (exc.detail.lineno, exc.detail.message) == (DOCUMENT_END_LINE, text)

    @pytest.mark.parametrize("exc", [KeyboardInterrupt(), SystemExit(3)], ids=["ctrl-c", "exit"])
    def test_what_is_no_exception_passes_through(self, exc):
        """Ctrl-C in a hook stops the program, not the statement: were it a SyntaxError, a
        loop over files that goes on after one would go on."""
        later = Recorder()
        with pytest.raises(type(exc)) as info:
            parse(ONE_DOCUMENT, [raising(exc), later])
        assert info.value is exc and later.calls == []

    def test_qualified_name_of_the_exception_type(self):
        class Local(Exception):
            pass

        exc = hook_error(ONE_DOCUMENT, [raising(Local("z"))])
        assert exc.detail.message == f"{Local.__qualname__}: z"
        assert ".<locals>.Local: z" in exc.detail.message

    @pytest.mark.parametrize(
        ("hooks", "type_name"),
        [([1], "int"), (b"\x01", "int"), (["hook"], "str"), ([None], "NoneType")],
    )
    def test_non_callable_hooks(self, hooks, type_name):
        exc = hook_error(ONE_DOCUMENT, hooks)
        assert str(exc) == f"Hook error: TypeError: '{type_name}' object is not callable"

    def test_the_hook_exception_is_not_chained(self):
        exc = hook_error(ONE_DOCUMENT, [raising(ValueError("boom"))])
        assert exc.__cause__ is None
        assert exc.__context__ is None

    def test_a_failure_stops_the_hooks_and_the_read(self):
        after = Recorder()
        text = statement_text(account_section(ACCOUNT), document_section(DOCUMENT))
        account_end = text.splitlines().index("КонецРасчСчет") + 1
        exc = hook_error(text, [raising(ValueError("boom")), after])
        assert after.calls == []
        assert exc.detail.lineno == account_end

    def test_failure_after_read_back_of_an_earlier_section(self):
        calls = []

        def hook(section_type, attrs, header):
            calls.append(section_type)
            if section_type is SectionType.Document:
                attrs["Номер"] = 1

        text = statement_text(account_section(ACCOUNT), document_section(DOCUMENT))
        exc = hook_error(text, [hook])
        assert calls == [SectionType.Account, SectionType.Document]
        assert exc.detail.lineno == text.splitlines().index("КонецДокумента") + 1


def documents_of_shapes(count):
    """Documents of five shapes in runs of three, each with its own values: one key differs,
    an unknown key, the same keys in another order, one key fewer."""
    extras = [{"Код": "0"}, {"ВидОплаты": "01"}, {"Примечание": "x"}, {"Код": "0"}, {}]
    docs = []
    for i in range(count):
        shape = i // 3 % len(extras)
        doc = {**DOCUMENT, "Номер": str(i), "Сумма": f"{i}.00", **{k: f"{v}-{i}" for k, v in extras[shape].items()}}
        docs.append(dict(reversed(doc.items())) if shape == 3 else doc)
    return docs


class TestSectionsOfOneShape:
    """Sections with the same keys may be given one dict again, refilled, unless a hook kept
    or changed it: what a hook sees must not show that."""

    def test_every_call_sees_its_own_section(self):
        docs = documents_of_shapes(60)
        recorder = Recorder()
        s = parse(statement_text(*map(document_section, docs)), [recorder])
        assert [a for _, a, _ in recorder.calls] == [list(d.items()) for d in docs]
        assert [d.doc_number for d in s.documents] == [d["Номер"] for d in docs]

    def test_a_change_in_any_call_is_read_back(self):
        docs = [{**DOCUMENT, "Номер": str(i)} for i in range(50)]

        def hook(section_type, attrs, header):
            if attrs["Номер"] in ("1", "39"):
                attrs["Номер"] = "changed"

        s = parse(statement_text(*map(document_section, docs)), [hook])
        assert [d.doc_number for d in s.documents] == ["changed" if i in (1, 39) else str(i) for i in range(50)]

    def test_kept_dicts_keep_their_own_section(self):
        docs = documents_of_shapes(30)
        kept = []
        parse(statement_text(*map(document_section, docs)), [lambda t, a, h: kept.append(a)])
        assert [list(a.items()) for a in kept] == [list(d.items()) for d in docs]


class TestReferences:
    def test_hook_reference_count_is_unchanged(self):
        def hook(section_type, attrs, header):
            attrs["Номер"] = "1"

        before = sys.getrefcount(hook)
        parse(ONE_DOCUMENT, [hook, hook])
        assert sys.getrefcount(hook) == before

    def test_failing_hook_reference_count_is_unchanged(self):
        def hook(section_type, attrs, header):
            raise ValueError("boom")

        before = sys.getrefcount(hook)
        for _ in range(3):
            hook_error(ONE_DOCUMENT, [hook])
        gc.collect()  # the raised errors' tracebacks form cycles with the test's frames
        assert sys.getrefcount(hook) == before

    def test_the_hook_exception_is_released(self):
        refs = []

        class Boom(ValueError):
            pass

        def new_exception():
            exc = Boom("boom")
            refs.append(weakref.ref(exc))
            return exc

        def hook(section_type, attrs, header):
            raise new_exception()  # not bound in the hook's frame, so no cycle keeps it

        hook_error(ONE_DOCUMENT, [hook])
        assert refs[0]() is None

    def test_values_read_back_are_not_leaked(self):
        value = "значение-" + "x" * 20
        before = sys.getrefcount(value)
        parse(ONE_DOCUMENT, [setting("Код", value)])
        assert sys.getrefcount(value) == before
