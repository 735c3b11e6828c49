// The seven diagnostic classes carried in SyntaxError.detail: immutable records of a
// line number and one or two texts, one generic implementation for all of them.
#pragma once

#include <Python.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "pyref.hpp"
#include "registry.hpp"

namespace varnok::py {

// One per located error kind, in the one order of those kinds: a kind's value is its
// index among StatementError's alternatives, and its class's place in the registry.
enum class DiagnosticKind : std::uint8_t {
  UnexpectedSection,    // (lineno, found, context)
  UnexpectedAttribute,  // (lineno, key, value)
  UnrecognizedLine,     // (lineno, line)
  MissingField,         // (lineno, field, context)
  AccountParseError,    // (lineno, message)
  DocumentParseError,   // (lineno, message)
  HookError,            // (lineno, message)
};
inline constexpr std::size_t kDiagnosticKindCount = 7;

[[nodiscard]] constexpr Registered diagnostic_class_id(DiagnosticKind kind) noexcept {
  return static_cast<Registered>(static_cast<std::size_t>(Registered::UnexpectedSection) +
                                 static_cast<std::size_t>(kind));
}

// A new class for a kind, for the registry; null with an exception.
[[nodiscard]] PyRef new_diagnostic_class(DiagnosticKind kind) noexcept;

// A new diagnostic object; `second` is ignored by the kinds with one text. The texts
// are UTF-8 and are taken over. Null with an exception on failure (memory only).
[[nodiscard]] PyRef new_diagnostic(DiagnosticKind kind, std::uint64_t lineno, std::string first,
                                   std::string second = {}) noexcept;

}  // namespace varnok::py
