// varnok check's per-file work in one call, with the interpreter lock released (the thread
// state detached) from the read of the file to the rendered report.
#pragma once

#include <Python.h>

namespace varnok::native {

// check_files(paths: list[str], as_json: bool, strict: bool, separator: bytes)
//   -> (reports: bytes, bad: int, items: list[(ok, start, end) | None] | None)
// Reads each file (its report names it as given), parses, reconciles and validates it.
// reports holds, in UTF-8, the report of each file checked here (its diagnostic lines,
// each ending in a line feed, or its --json object), `separator` between two of them; bad
// is the number of files checked here that are not ok (with `strict`, validation problems
// count). items is None when every file was checked here; else one per file:
// reports[start:end] is the file's, ok whether it counts as ok, and None for a file that
// does not read or parse, or that needs what only the Python path renders: the caller
// then checks it in Python, which words every error. The lock is released once for the
// whole list, so that a few calls on a few threads check a folder in parallel on both
// builds. POSIX paths in UTF-8 only.
PyObject* check_files(PyObject* module, PyObject* const* args, Py_ssize_t nargs) noexcept;

}  // namespace varnok::native
