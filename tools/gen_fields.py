#!/usr/bin/env python3
"""Writes what follows from the core's document field table: the Document block of the
stubs, the README's field table, python/varnok/_fields.py and the fields of
varnok.typed.TypedDocument.

The table is read by compiling a few lines of C++ against core/include/varnok/fields.hpp
and printing it, so the compiler, not a second parser, says what the table holds.

    tools/gen_fields.py           rewrite the four outputs
    tools/gen_fields.py --check   exit 1 if a checked-in output differs from what it
                                  would write (the test command runs this)
"""

import argparse
import os
import pathlib
import subprocess
import sys
import tempfile
from typing import NamedTuple

ROOT = pathlib.Path(__file__).resolve().parent.parent
HEADER = ROOT / "core/include/varnok/fields.hpp"
STUBS = ROOT / "python/stubs/varnok_py-stubs/__init__.pyi"
README = ROOT / "README.md"
FIELDS_MODULE = ROOT / "python/varnok/_fields.py"
TYPED = ROOT / "python/varnok/typed.py"

# Prints the document fields one a line in table order (key, name, kind, required), the
# attribute order as table indices, then the interval fields and the account number.
PRINTER = r"""
#include <cstdio>
#include <varnok/fields.hpp>
void print(const varnok::FieldInfo& f) {
  constexpr const char* kKinds[] = {"text", "date", "amount"};
  std::printf("%.*s\t%.*s\t%s\t%d\n", int(f.key.size()), f.key.data(), int(f.name.size()), f.name.data(),
              kKinds[static_cast<int>(f.kind)], f.required ? 1 : 0);
}
int main() {
  for (const auto& f : varnok::kDocumentFields) print(f);
  for (auto f : varnok::kAttributeOrder) std::printf("%d ", static_cast<int>(f));
  std::printf("\n");
  for (const auto& f : varnok::kIntervalFields) print(f);
  print(varnok::kAccountNumberField);
}
"""


class Field(NamedTuple):
    key: str
    name: str
    kind: str
    required: bool


class Tables(NamedTuple):
    fields: list[Field]     # the document fields in table order
    ordered: list[Field]    # the same in attribute order
    intervals: list[Field]  # the interval fields in the order they are written
    number: Field           # the account number


def read_table() -> Tables:
    compiler = os.environ.get("CXX", "c++")
    with tempfile.TemporaryDirectory() as tmp:
        source = pathlib.Path(tmp, "print_fields.cpp")
        source.write_text(PRINTER, encoding="utf-8")
        program = pathlib.Path(tmp, "print_fields")
        subprocess.run([compiler, "-std=c++23", "-I", str(HEADER.parent.parent), str(source), "-o", str(program)],
                       check=True)
        out = subprocess.run([str(program)], check=True, capture_output=True, text=True, encoding="utf-8").stdout
    lines = out.splitlines()
    count = next(i for i, line in enumerate(lines) if "\t" not in line)

    def field(row: str) -> Field:
        key, name, kind, required = row.split("\t")
        return Field(key, name, kind, required == "1")

    fields = [field(row) for row in lines[:count]]
    *intervals, number = [field(row) for row in lines[count + 1:]]
    return Tables(fields, [fields[int(i)] for i in lines[count].split()], intervals, number)


def fields_module(tables: Tables) -> str:
    def rows(fields: list[Field]) -> str:
        return "".join(f"    {row(f)},\n" for f in fields)

    def row(f: Field) -> str:
        return f'Field("{f.key}", "{f.name}", "{f.kind}", {f.required})'

    return f'''# Generated from the core's field tables by tools/gen_fields.py; do not edit.
from typing import NamedTuple


class Field(NamedTuple):
    key: str        # the statement key, e.g. "ПолучательБанк1"
    name: str       # the varnok_py.Document attribute, e.g. "payee_bank1"
    kind: str       # "text", "date" or "amount"
    required: bool  # a document lacking it is dropped with a warning


DOCUMENT_FIELDS: tuple[Field, ...] = (
{rows(tables.fields)})

# The account section: its number, then an interval's keys in the order they are written.
ACCOUNT_NUMBER = {row(tables.number)}
INTERVAL_FIELDS: tuple[Field, ...] = (
{rows(tables.intervals)})
'''


def stub_block(ordered: list[Field]) -> str:
    return "".join(
        f"    @property\n    def {f.name}(self) -> {'str' if f.required else 'str | None'}: ...\n" for f in ordered
    )


def typed_block(fields: list[Field]) -> str:
    kinds = {"text": "str", "date": "datetime.date", "amount": "Decimal"}
    return "".join(f"    {f.name}: {kinds[f.kind]}{'' if f.required else ' | None'}\n" for f in fields)


def readme_block(ordered: list[Field]) -> str:
    def cells(f: Field | None) -> str:
        if f is None:
            return "  |  |"
        # The kind comes from the section's first line, not from a key=value line.
        key = f"{f.key}=…" if f.name == "doc_type" else f.key
        return f" {key} | `{f.name}`{' (required)' if f.required else ''} |"

    lines = ["| Key | Attribute | Key | Attribute |", "|---|---|---|---|"]
    for i in range(0, len(ordered), 2):
        pair = ordered[i : i + 2]
        lines.append("|" + cells(pair[0]) + cells(pair[1] if len(pair) > 1 else None))
    return "\n".join(lines) + "\n"


def replace_between(text: str, begin: str, end: str, block: str, path: pathlib.Path) -> str:
    start = text.find(begin)
    stop = text.find(end)
    if start < 0 or stop < start:
        sys.exit(f"gen_fields: {path.relative_to(ROOT)} lacks the markers {begin!r} … {end!r}")
    start += len(begin)
    return text[:start] + "\n" + block + text[stop:]


def outputs() -> dict[pathlib.Path, str]:
    tables = read_table()
    stubs = STUBS.read_text(encoding="utf-8")
    readme = README.read_text(encoding="utf-8")
    typed = TYPED.read_text(encoding="utf-8")
    return {
        STUBS: replace_between(stubs, "    # BEGIN fields: generated by tools/gen_fields.py",
                               "    # END fields", stub_block(tables.ordered), STUBS),
        README: replace_between(readme, "<!-- BEGIN fields: generated by tools/gen_fields.py -->",
                                "<!-- END fields -->", readme_block(tables.ordered), README),
        FIELDS_MODULE: fields_module(tables),
        TYPED: replace_between(typed, "    # BEGIN fields: generated by tools/gen_fields.py",
                               "    # END fields", typed_block(tables.fields), TYPED),
    }


def main(argv: list[str] | None = None) -> int:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--check", action="store_true", help="only report outputs that differ")
    args = parser.parse_args(argv)
    stale = []
    for path, text in outputs().items():
        current = path.read_text(encoding="utf-8") if path.exists() else None
        if current == text:
            continue
        if args.check:
            stale.append(str(path.relative_to(ROOT)))
        else:
            path.parent.mkdir(parents=True, exist_ok=True)
            path.write_text(text, encoding="utf-8")
            print(f"gen_fields: wrote {path.relative_to(ROOT)}")
    if stale:
        print("gen_fields: out of date (run tools/gen_fields.py): " + ", ".join(stale), file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
