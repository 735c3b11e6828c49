// The Python functions of the native exports: parse a file's bytes once, then write the
// documents of many parsed files as JSON Lines, CSV, xlsx sheet rows or an Arrow C stream.
#pragma once

#include <Python.h>

namespace varnok::native {

// parse(data: bytes, file: str | None) -> ParsedFile capsule, or None when the read fails.
PyObject* parse(PyObject* module, PyObject* const* args, Py_ssize_t nargs) noexcept;
// parse_path(path: str) -> the same for the file at path, read here; None too when it cannot
// be read or its name is not UTF-8 (the Python path then reads it and words the error).
PyObject* parse_path(PyObject* module, PyObject* path) noexcept;
// document_count(parsed) -> int
PyObject* document_count(PyObject* module, PyObject* parsed) noexcept;
// interval_count(parsed) -> int: the intervals of all its accounts
PyObject* interval_count(PyObject* module, PyObject* parsed) noexcept;
// jsonl(parsed_files: Sequence, begin=0, end=all) -> tuple of output pieces (bytes-like), to
// be written in order, of the documents [begin, end) of them all
PyObject* jsonl(PyObject* module, PyObject* const* args, Py_ssize_t nargs) noexcept;
// csv(parsed_files: Sequence, header: bool, begin=0, end=all) -> the same
PyObject* csv(PyObject* module, PyObject* const* args, Py_ssize_t nargs) noexcept;
// xlsx_rows(parsed_files: Sequence, first_row: int) -> the same: the sheet rows of their
// documents, numbered from first_row
PyObject* xlsx_rows(PyObject* module, PyObject* const* args, Py_ssize_t nargs) noexcept;
// interval_rows(parsed_files: Sequence, format: "csv" | "jsonl" | "xlsx", header=True) -> the
// same, of their accounts' intervals (CSV with its header unless told not to; xlsx sheet
// rows numbered from 2)
PyObject* interval_rows(PyObject* module, PyObject* const* args, Py_ssize_t nargs) noexcept;
// document_facts(parsed) -> (lines, directions, fingerprints): per document its section's
// start line (None when unknown), its direction and its fingerprint
PyObject* document_facts(PyObject* module, PyObject* parsed) noexcept;
// warnings(parsed) -> [(line, message)]: the documents the read dropped, as varnok_py gives them
PyObject* warnings(PyObject* module, PyObject* parsed) noexcept;
// dates_fit(parsed, intervals) -> whether every date of the file's documents (or of its
// account intervals) is one datetime.date can hold
PyObject* dates_fit(PyObject* module, PyObject* const* args, Py_ssize_t nargs) noexcept;
// long_text(parsed, limit, intervals) -> (line, column name, length) of the first text of a
// document (or interval) longer than `limit` UTF-16 code units, or None
PyObject* long_text(PyObject* module, PyObject* const* args, Py_ssize_t nargs) noexcept;
// document_stream(parsed_files: Sequence) -> "arrow_array_stream" capsule
PyObject* document_stream(PyObject* module, PyObject* files) noexcept;

}  // namespace varnok::native
