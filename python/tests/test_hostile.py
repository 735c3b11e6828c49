"""Hostile and extreme input through the module: random bytes, every truncation, NUL and
lone CR, a 100 MB line, hundreds of thousands of sections, and hooks that recurse into
parse, flood the attributes, and dicts and hook lists changed by other threads while a
read uses them."""

import contextlib
import itertools
import random
import threading
import time

import pytest

import varnok_py
from threads import run_in_threads
from varnok_py import parse

FIELDS = ("Номер=7\nДата=02.01.2024\nНазначениеПлатежа=Оплата\nСумма=10.50\nПлательщикИНН=7700000000\n"
          "ПлательщикБИК=044525000\nПлательщикБанк1=Банк\nПлательщикСчет=40702810000000000001\n"
          "ПолучательИНН=7800000000\nПолучательСчет=40702810000000000002\nПолучательБИК=044030000\n"
          "ПолучательБанк1=Банк 2\n")
ACCOUNT = "СекцияРасчСчет\nДатаНачала=01.01.2024\nНачальныйОстаток=100.00\nРасчСчет=40702810000000000001\nКонецРасчСчет\n"
DOCUMENT = "СекцияДокумент=Платежное поручение\n" + FIELDS + "КонецДокумента\n"


def statement(body, header="ВерсияФормата=1.03\n"):
    return "1CClientBankExchange\n" + header + body + "КонецФайла\n"


def outcome(text, hooks=None):
    """The result, or the module's exception; anything else escapes and fails the test."""
    try:
        return parse(text, hooks)
    except varnok_py.ParseError as e:
        return e


class TestUntrustedBytes:
    def test_random_bytes_give_a_statement_or_a_parse_error(self):
        rng = random.Random(20240105)
        for i in range(2000):
            data = bytes(rng.randrange(256) for _ in range(rng.randrange(200)))
            if i % 2:
                data = b"1CClientBankExchange\n" + data
            result = outcome(data)
            assert isinstance(result, (varnok_py.Statement, varnok_py.ParseError))

    def test_every_prefix_of_a_str_statement(self):
        full = statement(ACCOUNT + DOCUMENT)
        whole = parse(full)
        complete = full.rindex("КонецФайла") + len("КонецФайла")
        for n in range(len(full) + 1):
            result = outcome(full[:n])
            if n >= complete:
                assert repr(result) == repr(whole)
                assert result.documents == whole.documents
            elif n == 0:
                assert isinstance(result, varnok_py.EmptyInputError)
            elif isinstance(result, varnok_py.SyntaxError):
                # Only a cut marker line is unrecognised, and it is the last line.
                assert isinstance(result.detail, varnok_py.UnrecognizedLine), (n, result)
                assert result.detail.lineno == full[:n].count("\n") + 1
            else:
                assert isinstance(result, (varnok_py.UnfinishedError, varnok_py.NotStatementError)), (n, result)

    def test_nul_and_lone_cr_stay_in_values(self):
        s = parse(statement(DOCUMENT.replace("Оплата", "a\x00b\rc"), header="Ключ=\x00\n"))
        assert s.header == {"Ключ": "\x00"}
        assert s.documents[0].purpose == "a\x00b\rc"

    def test_lone_surrogate_str_is_refused(self):
        with pytest.raises(TypeError, match="^statement must be bytes or str$"):
            parse(statement(DOCUMENT).replace("Оплата", "\ud800"))


class TestExtremeSizes:
    def test_hundred_megabyte_header_value(self):
        size = 100 << 20
        text = ("1CClientBankExchange\nД=".encode("cp1251") + b"x" * size + b"\n"
                + (DOCUMENT + "КонецФайла\n").encode("cp1251"))
        s = parse(text)
        assert s.encoding == "cp1251"
        assert len(s.header["Д"]) == size
        assert len(s.documents) == 1

    def test_hundred_megabyte_unrecognised_line(self):
        size = 100 << 20
        with pytest.raises(varnok_py.SyntaxError) as info:
            parse("1CClientBankExchange\n" + "y" * size + "\n")
        assert info.value.detail.lineno == 2
        assert len(info.value.detail.line) == size

    def test_many_tiny_sections_become_warnings(self):
        n = 200_000
        s = parse(statement("СекцияДокумент=\nКонецДокумента\n" * n))
        assert s.documents == []
        assert len(s.warnings) == n
        assert s.warnings[0] == (4, "missing field `Номер`")
        assert s.warnings[-1] == (2 * n + 2, "missing field `Номер`")
        assert repr(s).endswith(f"documents=[...0], warnings=[...{n}])")

    def test_key_repeated_hundred_thousand_times(self):
        numbers = "".join(f"Номер={i}\n" for i in range(100_000))
        s = parse(statement("СекцияДокумент=Д\n" + FIELDS + numbers + "КонецДокумента\n"))
        assert s.documents[0].doc_number == "99999"


class TestHostileHooks:
    def test_a_hook_may_call_parse_recursively(self):
        inner = statement(ACCOUNT)
        results = []

        def hook(section_type, attrs, header):
            results.append(repr(parse(inner)))  # hook-free: detaches inside the hook
            if len(results) < 20:
                results.append(repr(parse(inner, [hook])))

        outer = parse(statement(DOCUMENT), [hook])
        assert len(outer.documents) == 1
        assert set(results) == {repr(parse(inner))}

    def test_unbounded_recursion_becomes_a_hook_error(self):
        def hook(section_type, attrs, header):
            parse(statement(DOCUMENT), [hook])

        with pytest.raises(varnok_py.SyntaxError, match="^Hook error: ") as info:
            parse(statement(DOCUMENT), [hook])
        # The innermost failure is a RecursionError, wrapped once per level on the way out.
        assert "RecursionError" in str(info.value)

    def test_a_hook_flooding_the_attributes(self):
        def hook(section_type, attrs, header):
            attrs.update((f"K{i}", "v" * 10) for i in range(100_000))
            attrs["НазначениеПлатежа"] = "z" * (1 << 20)

        s = parse(statement(DOCUMENT * 3), [hook])
        assert [len(d.purpose) for d in s.documents] == [1 << 20] * 3

    def test_thousands_of_hooks(self):
        calls = []
        s = parse(statement(DOCUMENT), [lambda t, a, h: calls.append(1)] * 10_000)
        assert len(calls) == 10_000 and len(s.documents) == 1

    @pytest.mark.thread_unsafe(reason="starts its own thread")
    def test_attrs_changed_by_another_thread_during_read_back(self):
        # With a global lock the read-back cannot interleave with the other thread; without
        # one it may, and must then abandon the read with the internal error, never crash.
        current = [{}]
        steps = itertools.count()

        def mutate():
            i = next(steps)
            current[0][f"X{i % 50}"] = "v"
            current[0].pop(f"X{(i + 25) % 50}", None)

        def hook(section_type, attrs, header):
            current[0] = attrs
            time.sleep(0.0005)  # let the other thread in while attrs is live

        with repeated_on_another_thread(mutate):
            for _ in range(50):
                s = outcome_of_contended(statement(DOCUMENT * 5), [hook])
                assert not isinstance(s, Exception) and (isinstance(s, BaseException) or len(s.documents) == 5)

    @pytest.mark.thread_unsafe(reason="starts its own thread")
    def test_values_replaced_by_another_thread_during_read_back(self):
        # The other thread sets Номер, then Сумма to the same number: the dict never holds a
        # Сумма above its Номер. The read takes Номер first and Сумма after a thousand other
        # keys, so a document built from values of different moments shows one.
        current = [{}]
        steps = itertools.count()

        def replace():
            i = next(steps)
            current[0]["Номер"] = str(i)
            current[0]["Сумма"] = f"{i}.00"

        def hook(section_type, attrs, header):
            del attrs["Сумма"]
            attrs["Номер"] = "0"
            attrs.update({f"K{i}": "v" for i in range(1000)})
            attrs["Сумма"] = "0.00"
            current[0] = attrs
            time.sleep(0)

        with repeated_on_another_thread(replace):
            read = [outcome_of_contended(statement(DOCUMENT * 20), [hook]) for _ in range(20)]
        assert not any(isinstance(s, Exception) for s in read)
        statements = [s for s in read if not isinstance(s, BaseException)]
        assert [d for s in statements for d in s.documents if int(d.amount[:-3]) > int(d.doc_number)] == []


@contextlib.contextmanager
def repeated_on_another_thread(step):
    """step() called over and over on another thread while the block runs."""
    stop = threading.Event()

    def loop():
        while not stop.is_set():
            step()

    thread = threading.Thread(target=loop)
    thread.start()
    try:
        yield
    finally:
        stop.set()
        thread.join()


# A dict changed by another thread while the read walks it abandons the read with this
# internal error (derived from BaseException only); see PythonHook::read_back.
INTERNAL_FAILURES = {"dictionary changed size during iteration", "dictionary keys changed during iteration",
                     "dictionary changed during iteration"}
PURPOSES = {"Оплата"} | {f"поток {i} " * 40 for i in range(64)}


def outcome_of_contended(text, hooks):
    """The result, the module's exception or its internal error; anything else escapes."""
    try:
        return parse(text, hooks)
    except varnok_py.ParseError as e:
        return e
    except BaseException as e:
        if isinstance(e, Exception) or str(e) not in INTERNAL_FAILURES:
            raise
        return e


def readers_and_mutators(read, mutate, readers=2, reads=20):
    """read() `reads` times on each of `readers` threads while the other threads call
    mutate(index) over and over until every reader is done."""
    left = [readers]
    lock = threading.Lock()
    done = threading.Event()

    def work(index):
        if index >= readers:
            while not done.is_set():
                mutate(index)
            return
        try:
            for _ in range(reads):
                read()
        finally:
            with lock:
                left[0] -= 1
                if left[0] == 0:
                    done.set()

    run_in_threads(work)


def publishing(live, name):
    """A hook that leaves its `name` dict ("attrs" or "header") in `live` while it runs."""
    def hook(section_type, attrs, header):
        d = attrs if name == "attrs" else header
        live[id(d)] = d
        time.sleep(0.0001)  # let the other threads in while the dict is live
        del live[id(d)]
    return hook


@pytest.mark.thread_unsafe(reason="starts its own threads")
class TestDictsChangedByOtherThreads:
    def test_attrs_give_a_whole_statement_or_an_error(self):
        live = {}
        text = statement(DOCUMENT * 5)

        def mutate(index):
            for d in live.copy().values():
                d["НазначениеПлатежа"] = f"поток {index % 64} " * 40
                d["Сумма"] = "20.00"
                d[f"X{index}"] = "x"
                d.pop(f"X{index}", None)
                if index % 3 == 0:
                    d.pop("Номер", None)

        def read():
            s = outcome_of_contended(text, [publishing(live, "attrs")])
            if isinstance(s, varnok_py.Statement):
                assert len(s.documents) + len(s.warnings) == 5
                for d in s.documents:  # a value is one that was set, never a mix of two
                    assert d.purpose in PURPOSES and d.amount in {"10.50", "20.00"}

        readers_and_mutators(read, mutate)

    def test_header_changes_reach_neither_the_statement_nor_the_next_hook(self):
        live = {}
        text = statement(DOCUMENT * 5, header="ВерсияФормата=1.03\nОтправитель=Банк\n")
        expected = parse(text).header
        checked = publishing(live, "header")

        def hook(section_type, attrs, header):
            if header != expected:
                raise AssertionError(f"the hook was given {header}")
            checked(section_type, attrs, header)

        def mutate(index):
            for h in live.copy().values():
                h["ВерсияФормата"] = str(index)
                h[f"K{index}"] = "v"
                h.pop("Отправитель", None)
                if index % 2:
                    h.clear()

        def read():
            s = parse(text, [hook])
            assert s.header == expected and len(s.documents) == 5

        readers_and_mutators(read, mutate)


@pytest.mark.thread_unsafe(reason="starts its own threads")
class TestHookListChanged:
    def test_by_a_hook_during_the_read(self):
        calls = []

        def first(section_type, attrs, header):
            calls.append("first")
            hooks.clear()
            hooks.append(1)

        hooks = [first, lambda t, a, h: calls.append("second")]
        s = parse(statement(ACCOUNT + DOCUMENT * 2), hooks)
        # The read runs the hooks the list held when it started.
        assert len(s.documents) == 2 and calls == ["first", "second"] * 3

    def test_by_other_threads(self):
        hooks = [lambda t, a, h: None] * 4
        text = statement(ACCOUNT + DOCUMENT * 3)

        def mutate(index):
            hooks.append(lambda t, a, h: None)
            hooks.insert(0, index)  # not callable: a hook error if the read takes it
            try:
                hooks.pop()
                del hooks[0]
            except IndexError:
                pass
            if index % 4 == 0:
                hooks.clear()

        def read():
            s = outcome_of_contended(text, hooks)
            if isinstance(s, varnok_py.ParseError):
                assert isinstance(s.detail, varnok_py.HookError), s
                assert "is not callable" in s.detail.message
            else:
                assert len(s.documents) == 3

        readers_and_mutators(read, mutate)
