// The module's exception classes, created once per process and never released.
#include "errors/exceptions.hpp"

#include "pyref.hpp"

namespace varnok::py {
namespace {

OnceGuard exceptions_once;
PyObject* parse_error = nullptr;
PyObject* syntax_error = nullptr;
PyObject* not_statement_error = nullptr;
PyObject* empty_input_error = nullptr;
PyObject* unfinished_error = nullptr;

// Replaces the pending error by ImportError with the fixed text; the original stays
// reachable as its cause.
int fail_exception_creation() noexcept {
  PyRef cause = PyRef::steal(PyErr_GetRaisedException());
  PyErr_SetString(PyExc_ImportError, "Failed to initialize new exception type.");
  if (cause) {
    PyRef error = PyRef::steal(PyErr_GetRaisedException());
    PyException_SetCause(error.get(), cause.release());
    PyErr_SetRaisedException(error.release());
  }
  return -1;
}

int create_exception_types() noexcept {
  PyRef base = PyRef::steal(PyErr_NewException("varnok_py.ParseError", PyExc_Exception, nullptr));
  if (!base) return fail_exception_creation();
  PyRef syntax = PyRef::steal(PyErr_NewException("varnok_py.SyntaxError", base.get(), nullptr));
  if (!syntax) return fail_exception_creation();
  PyRef not_statement =
      PyRef::steal(PyErr_NewException("varnok_py.NotStatementError", base.get(), nullptr));
  if (!not_statement) return fail_exception_creation();
  PyRef empty_input = PyRef::steal(PyErr_NewException("varnok_py.EmptyInputError", base.get(), nullptr));
  if (!empty_input) return fail_exception_creation();
  PyRef unfinished = PyRef::steal(PyErr_NewException("varnok_py.UnfinishedError", base.get(), nullptr));
  if (!unfinished) return fail_exception_creation();

  // Published only when all five exist, so a failed attempt can simply be retried.
  parse_error = base.release();
  syntax_error = syntax.release();
  not_statement_error = not_statement.release();
  empty_input_error = empty_input.release();
  unfinished_error = unfinished.release();
  return 0;
}

}  // namespace

int init_exception_types() noexcept { return exceptions_once.run(create_exception_types); }

PyObject* parse_error_type() noexcept { return parse_error; }
PyObject* syntax_error_type() noexcept { return syntax_error; }
PyObject* not_statement_error_type() noexcept { return not_statement_error; }
PyObject* empty_input_error_type() noexcept { return empty_input_error; }
PyObject* unfinished_error_type() noexcept { return unfinished_error; }

}  // namespace varnok::py
