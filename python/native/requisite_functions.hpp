// The requisite checks for Python: varnok.validate and the varnok.validation helpers use
// these, so that varnok check's native path and the typed view share one set of rules.
#pragma once

#include <Python.h>

namespace varnok::native {

// requisite_fields() -> the attribute names of the requisites checked, in their order.
PyObject* requisite_fields(PyObject* module, PyObject* unused) noexcept;
// requisite_problem(rule: str, value: str, bic: str) -> str | None; rule is "inn", "kpp",
// "bic", "account" or "correspondent_account".
PyObject* requisite_problem(PyObject* module, PyObject* const* args, Py_ssize_t nargs) noexcept;
// requisite_problems(texts: tuple[str | None, ...]) -> list of (position, message): the
// failing requisites among texts, given in requisite_fields() order.
PyObject* requisite_problems(PyObject* module, PyObject* texts) noexcept;

}  // namespace varnok::native
