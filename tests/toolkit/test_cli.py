"""The `varnok` command line, run as a subprocess (the console script when installed)."""
import contextlib
import csv
import io
import json
import os
import shutil
import signal
import subprocess
import sys
import time

import pytest
from conftest import OWN, SAMPLES, account, clean_statement, document, statement

import varnok
from varnok import cli

COMMAND = [shutil.which("varnok")] if shutil.which("varnok") else [sys.executable, "-m", "varnok"]
BROKEN = "1CClientBankExchange\nВерсияФормата=1.03\nСекцияДокумент\nКонецФайла\n"


def run(*args, cwd=None, env=(), **options):
    options = {"capture_output": True, "text": True, **options}
    return subprocess.run([*COMMAND, *map(str, args)], cwd=cwd, timeout=300,
                          env={**os.environ, "PYTHONDONTWRITEBYTECODE": "1", **dict(env)}, **options)


@pytest.fixture
def folder(write_file):
    """good.txt, findings.txt (income total off), broken.txt, nested/skipped.dat, nested/more.txt."""
    write_file("good.txt", clean_statement())
    write_file("findings.txt", statement(account(income="99.00"), document("1", "5.00")), "utf-8")
    write_file("broken.txt", BROKEN)
    write_file("nested/skipped.dat", BROKEN)
    write_file("nested/more.txt", clean_statement())
    return write_file("good.txt", clean_statement()).parent


class TestCheck:
    def test_json_report(self, folder):
        result = run("check", "--json", folder)
        assert result.returncode == 1, result.stderr
        files = {os.path.relpath(f["file"], folder): f for f in json.loads(result.stdout)["files"]}
        assert sorted(files) == ["broken.txt", "findings.txt", "good.txt", os.path.join("nested", "more.txt")]
        good, broken, findings = files["good.txt"], files["broken.txt"], files["findings.txt"]
        assert good == {"file": str(folder / "good.txt"), "ok": True, "encoding": "cp1251", "error": None,
                        "warnings": [], "findings": [], "validation": []}
        assert broken["ok"] is False and broken["encoding"] is None
        assert broken["error"] == {"type": "SyntaxError", "message": "Unrecognized line: 'СекцияДокумент'",
                                   "line": 3}
        assert findings["encoding"] == "utf-8" and findings["findings"] == [{
            "account": OWN, "date_start": "2024-03-01", "date_end": "2024-03-31", "check": "income",
            "expected": "99.00", "actual": "5.00"}]

    def test_text_report_and_exit_status(self, folder):
        result = run("check", folder / "good.txt", folder / "broken.txt", folder / "nested" / "skipped.dat")
        lines = result.stdout.splitlines()
        assert result.returncode == 1
        assert f"{folder / 'broken.txt'}:3: error: Unrecognized line: 'СекцияДокумент'" in lines
        assert lines[-1] == "3 files checked: 1 ok, 2 with problems"
        assert run("check", folder / "good.txt").returncode == 0

    def test_validation_counts_only_when_strict(self, write_file):
        path = write_file("typo.txt", statement(document("1", ПлательщикИНН="7728168970")))
        loose, strict = run("check", "--json", path), run("check", "--json", "--strict", path)
        assert loose.returncode == 0 and strict.returncode == 1
        report = json.loads(strict.stdout)["files"][0]
        assert report["ok"] is False and report["validation"][0]["field"] == "counterparty_inn"
        assert json.loads(loose.stdout)["files"][0]["ok"] is True

    def test_threads_do_not_change_the_report(self, folder):
        assert run("check", "--json", "-j", "1", folder).stdout == run("check", "--json", "-j", "3", folder).stdout

    @pytest.mark.skipif(not SAMPLES.is_dir(), reason="no real samples")
    def test_real_samples_match_the_expected_outcomes(self):
        result = run("check", "--json", SAMPLES)
        assert result.returncode in (0, 1), result.stderr
        reports = {os.path.basename(f["file"]): f for f in json.loads(result.stdout)["files"]}
        with open(SAMPLES / "EXPECTED.tsv", encoding="utf-8") as f:
            expected = list(csv.DictReader(f, delimiter="\t"))
        for row in expected:
            report = reports[row["file"]]
            if row["outcome"] == "Statement":
                assert report["error"] is None and report["encoding"] == row["encoding"], row["file"]
                assert len(report["warnings"]) == int(row["warnings"]), row["file"]
            else:
                assert report["error"]["type"] == row["outcome"], row["file"]


class TestUsage:
    @pytest.mark.parametrize("args", [[], ["nosuchcommand"], ["check"], ["export", "x.txt"],
                                      ["check", "-j", "0", "x.txt"], ["export", "--format", "pdf", "x"],
                                      ["check", ""], ["export", "x.txt", "-f", "csv", "-o", ""]])  # (an unset variable)
    def test_usage_errors_exit_2(self, args):
        result = run(*args)
        assert result.returncode == 2 and "usage:" in result.stderr and result.stdout == ""

    @pytest.mark.parametrize("command", [[], ["export"], ["check"]])
    def test_help_fits_the_terminal_width(self, command):
        result = subprocess.run([*COMMAND, *command, "--help"], capture_output=True, text=True, timeout=300,
                                env={**os.environ, "COLUMNS": "52"})
        lines = result.stdout.splitlines()
        assert result.returncode == 0 and len(lines) > 5 and max(map(len, lines)) <= 52

    def test_version(self):
        result = run("--version")
        assert result.returncode == 0 and result.stdout.strip() == f"varnok {varnok.__version__}"

    def test_main_returns_the_status(self, folder, capsys):
        from varnok.cli import main

        assert main(["check", str(folder / "good.txt")]) == 0
        assert main(["--bad-option"]) == 2


class TestExport:
    def test_csv_of_a_folder_leaves_out_broken_files(self, folder, tmp_path):
        out = tmp_path / "all.csv"
        result = run("export", folder, "--format", "csv", "-o", out)
        assert result.returncode == 1 and "broken.txt:3: Unrecognized line" in result.stderr
        rows = list(csv.DictReader(io.StringIO(out.read_text(encoding="utf-8"))))
        assert [os.path.basename(r["file"]) for r in rows] == ["findings.txt", "good.txt", "good.txt",
                                                              "more.txt", "more.txt"]

    @pytest.mark.parametrize("to_stdout", [[], ["-o", "-"]])
    def test_jsonl_to_stdout_and_intervals(self, folder, to_stdout):
        result = run("export", folder / "good.txt", "--format", "jsonl", *to_stdout, cwd=folder)
        rows = [json.loads(line) for line in result.stdout.splitlines()]
        assert result.returncode == 0 and [r["amount"] for r in rows] == ["250.00", "40.50"]
        assert not (folder / "-").exists()
        intervals = run("export", folder / "good.txt", "--format", "jsonl", "--intervals")
        assert [json.loads(line)["end_amount"] for line in intervals.stdout.splitlines()] == ["1209.50"]

    @pytest.mark.parametrize("fmt", ["csv", "jsonl"])
    def test_a_stdout_that_cannot_hold_a_value_is_said_so(self, write_file, fmt):
        path = write_file("a.txt", statement(document("1", НазначениеПлатежа="a\u2028b")), "utf-8")
        result = subprocess.run([*COMMAND, "export", str(path), "-f", fmt], capture_output=True, text=True,
                                env={**os.environ, "PYTHONIOENCODING": "cp1251"})
        assert result.returncode == 1 and "Traceback" not in result.stderr
        assert "encoding (cp1251) cannot hold U+2028" in result.stderr

    def test_xlsx(self, folder, tmp_path):
        out = tmp_path / "all.xlsx"
        assert run("export", folder / "good.txt", "-f", "xlsx", "-o", out).returncode == 0
        assert out.read_bytes()[:2] == b"PK"

    def test_an_unwritable_output_fails_cleanly(self, folder, tmp_path):
        result = run("export", folder / "good.txt", "-f", "csv", "-o", tmp_path / "missing" / "out.csv")
        assert result.returncode != 0 and "Traceback" not in result.stderr

    def test_files_left_out_are_reported_when_the_writing_fails_too(self, folder, tmp_path):
        # Nothing left to write a statement of: the writer refuses, and says why after the file.
        result = run("export", folder / "broken.txt", "-f", "statement", "-o", tmp_path / "out.txt")
        assert result.returncode == 1 and not (tmp_path / "out.txt").exists()
        assert result.stderr.splitlines()[0] == (
            f"varnok export: {folder / 'broken.txt'}:3: Unrecognized line: 'СекцияДокумент' (left out)")

    @pytest.mark.parametrize("name", ["out", "out/"])
    def test_a_folder_as_output_is_refused_and_nothing_is_written(self, folder, tmp_path, name):
        (tmp_path / "out").mkdir()
        before = sorted(os.listdir(tmp_path))
        result = run("export", folder / "good.txt", "-f", "csv", "-o", str(tmp_path / "out") + name[3:])
        assert result.returncode == 1 and "Is a directory" in result.stderr and ".tmp" not in result.stderr
        assert sorted(os.listdir(tmp_path)) == before and os.listdir(tmp_path / "out") == []

    @pytest.mark.parametrize(("name", "check"), [
        ("all.XLSX", lambda data: data[:2] == b"PK"),
        ("all.jsonl", lambda data: json.loads(data.splitlines()[0])["amount"] == "250.00"),
        ("all.csv", lambda data: data.startswith(b"file,line,")),
    ])
    def test_the_format_follows_the_output_extension(self, folder, tmp_path, name, check):
        assert run("export", folder / "good.txt", "-o", tmp_path / name).returncode == 0
        assert check((tmp_path / name).read_bytes())

    @pytest.mark.parametrize(("args", "said"), [
        ((), "give --format"),
        (("-f", "csv", "-e", "cp1251"), "--encoding is the statement format's"),
    ])
    def test_usage_errors_write_nothing(self, folder, tmp_path, args, said):
        result = run("export", folder / "good.txt", "-o", tmp_path / "out.dat", *args)
        assert result.returncode == 2 and said in result.stderr and not (tmp_path / "out.dat").exists()


@pytest.mark.parametrize("command", [["check"], ["summary"], ["export", "-f", "csv", "-o", "out.csv"],
                                     ["export", "-f", "statement", "-o", "out.csv"]])
@pytest.mark.parametrize("inputs", ["an empty folder", "files that all fail"])
def test_nothing_read_is_a_problem_and_replaces_no_output(command, inputs, folder, tmp_path):
    (tmp_path / "empty").mkdir()
    (tmp_path / "out.csv").write_text("kept")
    paths = [tmp_path / "empty"] if inputs == "an empty folder" else [folder / "broken.txt", folder / "missing.txt"]
    result = run(*command, *paths, cwd=tmp_path)
    assert result.returncode == 1 and (tmp_path / "out.csv").read_text() == "kept"
    said = "no statements (*.txt) found" if inputs == "an empty folder" else "broken.txt:3:"
    assert said in result.stdout + result.stderr


@pytest.mark.parametrize("args, status", [
    (["-f", "csv"], 1), (["-f", "jsonl"], 1), (["-f", "xlsx", "-o", "out.xlsx"], 1), (["-f", "statement", "-o", "out.txt"], 1),
    (["-f", "csv", "--intervals"], 0)])
def test_export_names_the_documents_the_reader_dropped(write_file, args, status):
    path = write_file("dropped.txt", statement(account(), document("1", "x"), document("2", "5.00")))
    result = run("export", path, *args, cwd=path.parent)
    assert result.returncode == status, result.stderr
    lines = result.stderr.splitlines()
    assert lines == ([f"{path}:26: document dropped by the reader, so not exported: invalid value: "
                      'string "x", expected a Decimal type representing a fixed-point number'] if status else [])


def test_summary(folder):
    result = run("summary", folder / "good.txt", folder / "broken.txt")
    assert result.returncode == 1
    assert f"  account {OWN}" in result.stdout
    assert "    2024-03-01..2024-03-31  start 1000.00  income 250.00  expense 40.50  end 1209.50" in result.stdout
    assert "  by direction: income 1, expense 1, internal 0, unrelated 0" in result.stdout
    assert "broken.txt:3: error:" in result.stdout


@pytest.mark.parametrize("args, stream", [
    (["check"], "stdout"), (["summary"], "stdout"), (["export", "--format", "csv", "-o", "out.csv"], "stderr"),
    (["convert", "--encoding", "utf-8", "-o", "out.txt"], "stderr")])
def test_control_characters_from_a_file_are_shown_escaped(write_file, args, stream):
    # A line meant to erase the report's line on a terminal and write its own in its place.
    path = write_file("crafted.txt", "1CClientBankExchange\nВерсияФормата=1.03\n\x1b[2K\rall ok\x7f\nКонецФайла\n")
    result = run(*args, path, cwd=path.parent)
    shown = getattr(result, stream)
    assert result.returncode == 1
    assert "\\x1b[2K\\x0dall ok\\x7f" in shown
    assert not any(c < " " and c not in "\n\t" or "\x7f" <= c <= "\x9f" for c in shown)


@pytest.mark.parametrize("args, stream", [
    (["check"], "stdout"), (["summary"], "stdout"), (["export", "--format", "csv", "-o", "out.csv"], "stderr"),
    (["convert", "--encoding", "utf-8", "-o", "out.txt"], "stderr")])
@pytest.mark.parametrize("content", [BROKEN, "1CClientBankExchange\nВерсияФормата=1.03\nКонецФайла"],
                         ids=["unreadable", "no-file-end"])
def test_a_file_name_cannot_split_a_report_line(write_file, args, stream, content):
    # "path:line: message" is read line by line: a name's line break or tab is escaped.
    path = write_file("fake.txt:9: error: x\n\tbad.txt", content)
    result = run(*args, path, cwd=path.parent)
    assert result.returncode == 1
    lines = [line for line in getattr(result, stream).splitlines() if "bad.txt" in line]
    assert lines and all("fake.txt:9: error: x\\x0a\\x09bad.txt" in line for line in lines), lines


@pytest.mark.parametrize("args, stream", [
    (["check"], "stdout"), (["summary"], "stdout"), (["export", "--format", "csv", "-o", "out.csv"], "stderr")])
def test_a_name_that_is_not_utf8_shows_its_bytes_and_breaks_no_strict_stdout(write_file, args, stream):
    path = write_file(os.fsdecode(b"bad\xff\xfe.txt"), BROKEN)
    result = run(*args, path, cwd=path.parent, env={"PYTHONIOENCODING": "utf-8:strict"})
    assert result.returncode == 1 and "Traceback" not in result.stderr
    assert "bad\\xff\\xfe.txt:3: " in getattr(result, stream)


@pytest.mark.parametrize("env, args, said", [
    ({"PYTHONIOENCODING": "latin-1"}, ["summary", "{statement}"], "stdout's encoding (latin-1) cannot hold U+"),
    ({"PYTHONIOENCODING": "ascii", "LC_ALL": "C"}, ["convert", "--help"], "stdout's encoding (ascii) cannot hold U+"),
])
def test_a_stdout_that_cannot_hold_the_report_is_said(folder, env, args, said):
    result = run(*(a.format(statement=folder / "good.txt") for a in args), env=env)
    assert result.returncode == 1 and said in result.stderr and "Traceback" not in result.stderr


def test_a_full_stdout_is_one_message_and_status_1(folder):
    with open("/dev/full", "w") as full:
        result = run("summary", folder / "good.txt", stdout=full, capture_output=False, stderr=subprocess.PIPE)
    assert result.returncode == 1 and result.stderr == "varnok summary: No space left on device\n"


def test_stdin_as_a_socket_and_closed(folder):
    import socket

    data = (folder / "good.txt").read_bytes()
    ours, theirs = socket.socketpair()
    with ours, theirs:
        ours.sendall(data)
        ours.shutdown(socket.SHUT_WR)
        result = run("check", "-", stdin=theirs)
    assert result.returncode == 0 and result.stdout.endswith("1 file checked: 1 ok, 0 with problems\n")
    result = run("check", "-", stdin=subprocess.DEVNULL, cwd=folder, env={}, preexec_fn=lambda: os.close(0))
    assert result.returncode == 2 and "stdin is closed" in result.stderr


def test_a_file_named_twice_or_in_a_folder_named_too_is_read_once(folder, tmp_path):
    again = [folder / "good.txt", str(folder / "nested" / ".." / "good.txt")]
    for name, paths in (("once.out", [folder]), ("again.out", [folder, *again])):  # (not *.txt: not read)
        assert run("export", *paths, "-f", "statement", "-o", tmp_path / name).returncode == 1  # (broken.txt)
    assert (tmp_path / "again.out").read_bytes() == (tmp_path / "once.out").read_bytes()
    assert run("check", *again).stdout.endswith("1 file checked: 1 ok, 0 with problems\n")


def test_an_output_name_of_the_longest_kind(folder, tmp_path):
    out = tmp_path / ("a" * 251 + ".csv")  # (255 bytes: the temporary name beside it is made shorter)
    assert run("export", folder / "good.txt", "-o", out).returncode == 0 and out.read_text().startswith("file,line,")


def test_a_file_name_with_a_line_break_is_escaped_in_a_findings_report(write_file):
    # A file that reads, with a finding: check's own fast path, which leaves such a name
    # to the one that escapes it.
    path = write_file("a\nb.txt", statement(account(income="99.00"), document("1", "5.00")))
    result = run("check", path, cwd=path.parent)
    assert result.returncode == 1
    assert f"{path.parent}/a\\x0ab.txt: finding:" in result.stdout


@pytest.mark.parametrize("text", ["a\x85б\tв\n\x9b", "\x00\x08\x0b\x1f\x7f\x80\x9f\xa0«»", "чисто\tи\nясно", "",
                                  "\x1b[2K\rall ok", "\u0100\u0142\x9f",
                                  # bidirectional marks and overrides, and their neighbours
                                  "ok \u202eevil\u2066x\u200f\u061c\u2069\u202a\u200e", "\u2010\u202f\u2065\u206a\u0600\u061b",
                                  "\u202e\xe2\x80", "€\u20ac\u2028"])
def test_shown_escapes_control_characters_in_utf8_as_in_text(text):
    from varnok.cli import shown, shown_utf8

    _native = pytest.importorskip("varnok._native")

    assert shown("a\x85б\tв\n\x9b") == "a\\x85б\tв\n\\x9b"
    assert shown("1\u202e0.00") == "1\\u202e0.00"
    assert shown_utf8(text.encode()) == _native.shown_utf8(text.encode()) == shown(text).encode()
    if shown(text) == text:
        unchanged = text.encode()
        assert _native.shown_utf8(unchanged) is unchanged


@pytest.mark.parametrize("args", [["summary"], ["check"], ["export", "--format", "csv"],
                                  ["convert", "--encoding", "utf-8"]])
def test_a_reader_that_goes_away_ends_the_command_quietly(write_file, args):
    # Enough output (a validation line per document) to fill the pipe before the reader leaves.
    path = write_file("many.txt", statement(*(document(str(n), ПлательщикИНН="7728168970") for n in range(3000))))
    with subprocess.Popen([*COMMAND, *args, str(path)], stdout=subprocess.PIPE, stderr=subprocess.PIPE) as process:
        process.stdout.readline()
        process.stdout.close()
        stderr = process.stderr.read()
    assert stderr == b"" and process.returncode in (0, 1)  # check's 1: it found problems


@pytest.mark.parametrize(("args", "signum"), [
    (["check", "-"], signal.SIGTERM), (["export", "-f", "csv", "-"], signal.SIGTERM), (["summary", "-"], signal.SIGTERM),
    # Two pipes on two threads: the one the helper waits on must not keep the command alive.
    (["check", "-j", "2", "a.fifo", "b.fifo"], signal.SIGINT), (["summary", "-j", "2", "a.fifo", "b.fifo"], signal.SIGTERM),
])
def test_one_signal_ends_a_command_waiting_on_a_pipe(tmp_path, args, signum):
    for name in ("a.fifo", "b.fifo"):
        os.mkfifo(tmp_path / name)
    with subprocess.Popen([*COMMAND, *args], stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                          stderr=subprocess.PIPE, cwd=tmp_path) as process:
        time.sleep(1)  # (sent earlier, the signal ends the process all the same)
        process.send_signal(signum)
        try:
            status = process.wait(timeout=20)
        finally:
            process.stdin.close()  # (a command still waiting ends here, and the test fails)
            for name in ("a.fifo", "b.fifo"):  # (and so does a helper that still waits on a pipe)
                with contextlib.suppress(OSError):
                    os.close(os.open(tmp_path / name, os.O_WRONLY | os.O_NONBLOCK))
    assert status in (128 + signum, -signum)


@pytest.mark.parametrize("command", ["check", "summary"])
@pytest.mark.parametrize("own_process", [False, True])
def test_helpers_take_tables_of_their_own_only_when_the_command_is_the_program(write_file, monkeypatch, capsys,
                                                                              command, own_process):
    # Inside another program its finalizers may run on a helper: their close() would miss.
    from varnok import batch

    taken = []
    monkeypatch.setattr(batch, "_own_descriptor_table", lambda: taken.append(1))
    paths = [str(write_file(f"{i}.txt", clean_statement())) for i in range(16)]
    cli.main([command, "-j", "2", *paths], own_process=own_process)
    assert bool(taken) == own_process


def test_ctrl_c_while_the_commands_load_is_no_traceback(monkeypatch, capsys):
    def interrupted(name):
        raise KeyboardInterrupt

    monkeypatch.setattr(cli, "import_module", interrupted)
    assert cli.main(["check", "x.txt"]) == 130
    assert capsys.readouterr().err == "varnok: interrupted\n"


def test_json_report_names_files_in_utf8_whatever_their_bytes(tmp_path):
    good, broken = os.fsdecode(b"good\xfe.txt"), os.fsdecode(b"\xff.txt")  # read natively / in Python
    (tmp_path / good).write_bytes(clean_statement().encode("cp1251"))
    (tmp_path / broken).write_bytes(BROKEN.encode("cp1251"))
    result = subprocess.run([*COMMAND, "check", "--json", str(tmp_path)], capture_output=True, timeout=300)
    files = json.loads(result.stdout.decode("utf-8"))["files"]
    assert [os.path.basename(f["file"]) for f in files] == ["good\ufffd.txt", "\ufffd.txt"]


@pytest.mark.parametrize("args, expected", [
    (["check"], "1 file checked: 1 ok"), (["summary"], f"  account {OWN}"), (["export", "-f", "jsonl"], '"line": '),
    (["convert", "-e", "utf-8"], "Кодировка=UTF-8")])
def test_a_dash_reads_the_statement_from_stdin(args, expected):
    result = subprocess.run([*COMMAND, *args, "-"], input=clean_statement().encode("cp1251"), capture_output=True,
                            timeout=300)
    assert result.returncode == 0 and expected in result.stdout.decode(), result.stderr


@pytest.mark.parametrize("args", [["export", "-f", "csv"], ["export", "-f", "statement"], ["convert", "-e", "utf-8"]])
def test_a_full_disk_names_the_output_and_keeps_what_it_held(write_file, monkeypatch, capsys, args):
    source, out = write_file("in.txt", clean_statement()), write_file("out.txt", "before")

    def full(fd):
        raise OSError(28, "No space left on device")  # (as the flush of the last bytes would say)

    monkeypatch.setattr(os, "fsync", full)
    assert cli.main([*args, str(source), "-o", str(out)]) == 1
    assert f"{out}: No space left on device" in capsys.readouterr().err
    assert out.read_text() == "before" and sorted(os.listdir(out.parent)) == ["in.txt", "out.txt"]


@pytest.mark.parametrize(("args", "status"), [(["check"], 1), (["convert", "-e", "utf-8"], 1),
                                              (["export", "-f", "csv"], 1), (["export", "-o", "out.csv"], 0)])
def test_a_closed_stdout_is_said_so_and_an_output_file_still_written(write_file, args, status):
    source = write_file("in.txt", clean_statement())
    result = subprocess.run([*COMMAND, *args, source], stderr=subprocess.PIPE, text=True, cwd=source.parent,
                            preexec_fn=lambda: os.close(1), timeout=300)
    assert (result.returncode, result.stderr) == (status, "" if status == 0 else f"varnok {args[0]}: stdout is closed\n")


@pytest.mark.parametrize("fmt", ["csv", "statement"])
def test_an_output_that_cannot_be_made_is_said_before_anything_is_read(write_file, monkeypatch, capsys, fmt):
    source = write_file("in.txt", clean_statement())
    out = source.parent / "missing" / "out"
    monkeypatch.setattr(varnok.export, "export_files", lambda *a, **k: pytest.fail("the files were read"))
    assert cli.main(["export", str(source), "-f", fmt, "-o", str(out)]) == 1
    assert capsys.readouterr().err == f"varnok export: {out}: No such file or directory\n"


def test_on_a_terminal_summaries_are_written_as_they_come(write_file, monkeypatch):
    """Not held until the end: the report of 50,000 files took hundreds of megabytes."""
    from varnok.commands import summary

    class Terminal(io.StringIO):
        def isatty(self):
            return True

    paths = [write_file(f"s{i}.txt", clean_statement()) for i in range(3)]
    out, written_before = Terminal(), []
    read = summary.read_for_report
    monkeypatch.setattr(summary, "read_for_report", lambda path: (written_before.append(len(out.getvalue())), read(path))[1])
    monkeypatch.setattr(sys, "stdout", out)
    assert cli.main(["summary", "-j", "1", *map(str, paths)]) == 0
    assert written_before[0] == 0 < written_before[1] < written_before[2] < len(out.getvalue())
