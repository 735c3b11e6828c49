// The module's exception classes: ParseError and its four subclasses.
#pragma once

#include <Python.h>

namespace varnok::py {

// Creates ParseError(Exception) and SyntaxError, NotStatementError, EmptyInputError,
// UnfinishedError (all deriving from ParseError) once per process. 0, or -1 with an
// exception carrying "Failed to initialize new exception type.".
[[nodiscard]] int init_exception_types() noexcept;

// The classes (borrowed, process-wide); valid after init_exception_types() succeeded.
[[nodiscard]] PyObject* parse_error_type() noexcept;
[[nodiscard]] PyObject* syntax_error_type() noexcept;
[[nodiscard]] PyObject* not_statement_error_type() noexcept;
[[nodiscard]] PyObject* empty_input_error_type() noexcept;
[[nodiscard]] PyObject* unfinished_error_type() noexcept;

}  // namespace varnok::py
