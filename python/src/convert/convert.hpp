// The result classes Statement, Account, Interval, Document and the conversion that
// consumes a core Statement record into them.
#pragma once

#include <Python.h>

#include <varnok/statement.hpp>

#include "pyref.hpp"

namespace varnok::py {

// Creates the four result classes once per process (guarded); 0, or -1 with an exception.
[[nodiscard]] int init_result_types() noexcept;

// The classes (borrowed, process-wide); valid after init_result_types() succeeded.
[[nodiscard]] PyObject* interval_type() noexcept;
[[nodiscard]] PyObject* account_type() noexcept;
[[nodiscard]] PyObject* document_type() noexcept;
[[nodiscard]] PyObject* statement_type() noexcept;

// Consumes the record into a new Statement object; null with an exception on failure
// (memory only). Needs an attached thread state.
[[nodiscard]] PyRef convert_statement(Statement&& statement) noexcept;

}  // namespace varnok::py
