// The module's process-wide objects (its classes, the two SectionType members and the
// document keys as str) in one table, created once per process under one guard and never
// released.
#pragma once

#include <Python.h>

#include <cstddef>
#include <cstdint>

#include <varnok/fields.hpp>

namespace varnok::py {

enum class Registered : std::uint8_t {
  // The public classes, in the order of the module's __all__ (parse goes before ParseError).
  Interval,
  Account,
  Document,
  Statement,
  SectionType,
  // The diagnostic classes, in the order of the located StatementError kinds.
  UnexpectedSection,
  UnexpectedAttribute,
  UnrecognizedLine,
  MissingField,
  AccountParseError,
  DocumentParseError,
  HookError,
  ParseError,
  NotStatementError,
  EmptyInputError,
  UnfinishedError,
  SyntaxError,
  // Not in the module's namespace.
  InternalError,   // a hook gave up the read (HookAbandoned); derives from BaseException
  DocumentMember,  // SectionType.Document
  AccountMember,   // SectionType.Account
};

inline constexpr std::size_t kRegisteredCount = 20;
inline constexpr std::size_t kPublicClassCount = 17;  // Interval … SyntaxError

// Creates every object once per process: 0, or -1 with an exception, and a later call
// tries again. Runs no Python code but the interpreter's own class creation, so nothing
// can re-enter it while its guard is held.
[[nodiscard]] int init_registry() noexcept;

// The object (borrowed, lives for the process); valid after init_registry() succeeded.
[[nodiscard]] PyObject* registered(Registered id) noexcept;

// The statement key of a document field as an interned str (borrowed, lives for the
// process): every read shares it, its hash is computed once, and on the free-threaded
// build it is immortal, so threads do not contend on its reference count. Valid after
// init_registry() succeeded.
[[nodiscard]] PyObject* document_key(DocumentField field) noexcept;

// The name under which a public class is in the module ("Interval", ...).
[[nodiscard]] const char* public_name(Registered id) noexcept;

}  // namespace varnok::py
