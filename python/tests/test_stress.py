"""Many threads reading at once, mixing reads with and without hooks, failing hooks and
malformed inputs: every result must be the one the same read gives alone. Then many
thousands of reads must leave no objects and no memory behind."""

import sys
import threading
from pathlib import Path

import pytest

import varnok_py
from leaks import growth_per_call
from threads import THREADS, run_in_threads

ROOT = Path(__file__).resolve().parents[2]
READS_PER_THREAD = 2400 // THREADS

DOCUMENT_ATTRS = sorted(name for name in dir(varnok_py.Document) if not name.startswith("_"))
INTERVAL_ATTRS = ("date_start", "date_end", "start_amount", "end_amount", "total_income", "total_expense")


def _generated():
    sys.path.insert(0, str(ROOT / "bench"))
    try:
        import generate
    except ImportError:
        return []
    finally:
        sys.path.pop(0)
    return [generate.generate(size, encoding, seed, "\r\n", days=62)
            for seed, (size, encoding) in enumerate([(6000, "cp1251"), (9000, "utf-8")], start=1)]


def _inputs():
    data = [p.read_bytes() for p in sorted((ROOT / "tests" / "data").glob("*.txt"))] + _generated()
    small = ("1CClientBankExchange\nВерсияФормата=1.03\n"
             "СекцияРасчСчет\nДатаНачала=01.01.2024\nРасчСчет=1\nНачальныйОстаток=5\nКонецРасчСчет\n"
             "СекцияДокумент=Ордер\nНомер=1\nКонецДокумента\nКонецФайла\n")
    data.append(small)  # a str
    good = data[0] if data else small.encode()
    malformed = [
        good[: good.index(b"\n", len(good) // 2) + 1],  # unfinished
        good + "Лишнее=1\n".encode("cp1251"),         # an attribute after the end
        b"",                                          # empty
        bytes(range(256)) * 8,                        # not a statement
        small.replace("ДатаНачала=01.01.2024", "ДатаНачала=31.02.2024"),  # account parse error
        small.replace("КонецРасчСчет", "мусор"),      # unrecognised line
    ]
    return data + malformed


def _noop(section_type, attrs, header):
    return True


def _rewrite(section_type, attrs, header):
    header["ignored"] = "x"
    if section_type is varnok_py.SectionType.Document:
        attrs["НазначениеПлатежа"] = attrs.get("НазначениеПлатежа", "") + " (проверено)"
        attrs.pop("ДатаСписано", None)
    else:
        attrs["КонечныйОстаток"] = "1e3"


def _fail_at(n):
    calls = [0]

    def hook(section_type, attrs, header):
        calls[0] += 1
        if calls[0] == n:
            raise KeyError(f"section {n}")
    return hook


def _store_int(section_type, attrs, header):
    if section_type is varnok_py.SectionType.Document:
        attrs["Номер"] = 17


# Each factory makes fresh hooks for one read, so a counting hook starts from zero.
HOOKS = [
    lambda: None,
    lambda: [],
    lambda: [_noop],
    lambda: [_rewrite, _noop],
    lambda: [_fail_at(3)],
    lambda: (_rewrite, _fail_at(7)),
    lambda: [_store_int],
    lambda: [1],
]


def _fingerprint(result):
    """Everything a read returns, as plain values that compare by content."""
    if isinstance(result, BaseException):
        return (type(result).__qualname__, str(result), repr(getattr(result, "detail", None)),
                result.__cause__, result.__context__)
    return (
        repr(result), result.encoding, list(result.header.items()),
        [(number, account.number, [tuple(getattr(i, a) for a in INTERVAL_ATTRS) for i in account.intervals])
         for number, account in result.accounts.items()],
        [tuple(getattr(d, a) for a in DOCUMENT_ATTRS) for d in result.documents],
        list(result.warnings),
    )


def _read(statement, hooks):
    try:
        return _fingerprint(varnok_py.parse(statement, hooks))
    except varnok_py.ParseError as e:
        return _fingerprint(e)


CASES = [(i, h) for i in range(len(_inputs())) for h in range(len(HOOKS))]


@pytest.fixture(scope="module")
def inputs():
    return _inputs()


@pytest.fixture(scope="module")
def alone(inputs):
    return {(i, h): _read(inputs[i], HOOKS[h]()) for i, h in CASES}


# These tests start their own threads; run under pytest-run-parallel, they run once.
@pytest.mark.thread_unsafe(reason="starts its own threads")
class TestConcurrentReads:
    def test_every_result_equals_the_read_alone(self, inputs, alone):
        mismatches = []

        def work(t):
            for k in range(READS_PER_THREAD):
                case = CASES[(k * 7 + t * 13) % len(CASES)]
                if _read(inputs[case[0]], HOOKS[case[1]]()) != alone[case]:
                    mismatches.append(case)

        run_in_threads(work)
        assert mismatches == []

    def test_hooks_run_on_the_calling_thread(self, inputs):
        strays = []

        def work(_):
            me = threading.get_ident()

            def hook(section_type, attrs, header):
                if threading.get_ident() != me:
                    strays.append(threading.get_ident())

            for _ in range(20):
                for statement in inputs[:3]:
                    try:
                        varnok_py.parse(statement, [hook])
                    except varnok_py.ParseError:
                        pass

        run_in_threads(work)
        assert strays == []

    def test_sharing_one_result_between_threads(self, inputs):
        statement = varnok_py.parse(inputs[0])
        want = _fingerprint(statement)
        seen = []

        def work(_):
            for _ in range(50):
                seen.append(_fingerprint(statement) == want)

        run_in_threads(work)
        assert all(seen) and len(seen) == THREADS * 50


def _rss_kb():
    for line in Path("/proc/self/status").read_text().splitlines():
        if line.startswith("VmRSS:"):
            return int(line.split()[1])
    pytest.skip("no VmRSS in /proc/self/status")


@pytest.mark.thread_unsafe(reason="measures the whole process's memory")
class TestNoLeaks:
    @staticmethod
    def _mixed_reads(inputs):
        def run(n):
            for k in range(n):
                i, h = CASES[k % len(CASES)]
                _read(inputs[i], HOOKS[h]())
        return run

    def test_allocated_blocks_stay_flat(self, inputs):
        # A leak of one object per read would show as about 1 block per read.
        assert growth_per_call(self._mixed_reads(inputs), 2500) < 0.1

    def test_rss_stays_flat(self, inputs):
        # Each read allocates tens of kilobytes; keeping them would show as that per read.
        assert growth_per_call(self._mixed_reads(inputs), 2500, _rss_kb) < 1

    def test_a_hook_is_not_kept_alive(self, inputs):
        def hook(section_type, attrs, header):
            raise ValueError("boom")

        before = sys.getrefcount(hook)
        for _ in range(500):
            with pytest.raises(varnok_py.SyntaxError):
                varnok_py.parse(inputs[0], [hook])
        assert sys.getrefcount(hook) == before
