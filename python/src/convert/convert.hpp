// The result classes Statement, Account, Interval, Document and the conversion that
// consumes a core Statement record into them.
#pragma once

#include <Python.h>

#include <varnok/statement.hpp>

#include "pyref.hpp"

namespace varnok::py {

namespace detail {
// New result classes, for the registry; null with an exception.
[[nodiscard]] PyRef new_interval_class() noexcept;
[[nodiscard]] PyRef new_account_class() noexcept;
[[nodiscard]] PyRef new_document_class() noexcept;
[[nodiscard]] PyRef new_statement_class() noexcept;
}  // namespace detail

// Consumes the record into a new Statement object; null with an exception on failure
// (memory only). Needs an attached thread state and the registry.
[[nodiscard]] PyRef convert_statement(Statement&& statement) noexcept;

}  // namespace varnok::py
