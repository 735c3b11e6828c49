// The seven diagnostic classes carried in SyntaxError.detail: immutable records of a
// line number and one or two texts, one generic implementation for all of them.
#pragma once

#include <Python.h>

#include <cstdint>
#include <string>

#include "pyref.hpp"

namespace varnok::py {

// One per located error kind; the order is that of the class table.
enum class DiagnosticKind : std::uint8_t {
  UnrecognizedLine,     // (lineno, line)
  UnexpectedAttribute,  // (lineno, key, value)
  MissingField,         // (lineno, field, context)
  UnexpectedSection,    // (lineno, found, context)
  AccountParseError,    // (lineno, message)
  DocumentParseError,   // (lineno, message)
  HookError,            // (lineno, message)
};

// Creates the seven classes once per process; 0, or -1 with an exception.
[[nodiscard]] int init_diagnostic_types() noexcept;
// The class of a kind (borrowed, process-wide); valid after init_diagnostic_types().
[[nodiscard]] PyObject* diagnostic_type(DiagnosticKind kind) noexcept;

// A new diagnostic object; `second` is ignored by the kinds with one text. The texts
// are UTF-8 and are taken over. Null with an exception on failure (memory only).
[[nodiscard]] PyRef new_diagnostic(DiagnosticKind kind, std::uint64_t lineno, std::string first,
                                   std::string second = {}) noexcept;

}  // namespace varnok::py
