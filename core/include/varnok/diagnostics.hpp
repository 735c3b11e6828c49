// Everything a read reports: the StatementError kinds and the Warning record.
// Messages are rendered here and nowhere else; the line number travels beside them.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <variant>

#include <varnok/reader_state.hpp>

namespace varnok {

namespace error {
// A section line not allowed in the current state; `found` is its display text.
struct UnexpectedSection {
  std::uint64_t lineno;
  std::string found;
  ReaderState context;
  friend bool operator==(const UnexpectedSection&, const UnexpectedSection&) = default;
};
// A key=value line in init, read_next_section or finished.
struct UnexpectedAttribute {
  std::uint64_t lineno;
  std::string key;
  std::string value;
  friend bool operator==(const UnexpectedAttribute&, const UnexpectedAttribute&) = default;
};
// A non-blank line with no "=" that is no marker; `line` is trimmed.
struct UnrecognizedLine {
  std::uint64_t lineno;
  std::string line;
  friend bool operator==(const UnrecognizedLine&, const UnrecognizedLine&) = default;
};
// An account section without "РасчСчет".
struct MissingField {
  std::uint64_t lineno;
  std::string field;
  ReaderState context;
  friend bool operator==(const MissingField&, const MissingField&) = default;
};
// An account section whose values cannot make an interval.
struct AccountParseError {
  std::uint64_t lineno;
  std::string message;
  friend bool operator==(const AccountParseError&, const AccountParseError&) = default;
};
// Never produced by the reader (failed documents become warnings); kept for the family.
struct DocumentParseError {
  std::uint64_t lineno;
  std::string message;
  friend bool operator==(const DocumentParseError&, const DocumentParseError&) = default;
};
// A section hook failed at the section's end line.
struct HookError {
  std::uint64_t lineno;
  std::string message;
  friend bool operator==(const HookError&, const HookError&) = default;
};
// The input ended in any state but finished.
struct Unfinished {
  friend bool operator==(const Unfinished&, const Unfinished&) = default;
};
// Not decodable as text, implausible, or line 1 is not the marker.
struct NotStatement {
  friend bool operator==(const NotStatement&, const NotStatement&) = default;
};
// Zero bytes, or only ASCII whitespace bytes (not VT).
struct EmptyInput {
  friend bool operator==(const EmptyInput&, const EmptyInput&) = default;
};
// A hook returned HookOutcome::Abandon; `message` is its text, which is also the message.
struct HookAbandoned {
  std::string message;
  friend bool operator==(const HookAbandoned&, const HookAbandoned&) = default;
};
}  // namespace error

// The single failure of a read. Alternatives in declaration order.
using StatementError =
    std::variant<error::UnexpectedSection, error::UnexpectedAttribute, error::UnrecognizedLine,
                 error::MissingField, error::AccountParseError, error::DocumentParseError,
                 error::HookError, error::Unfinished, error::NotStatement, error::EmptyInput,
                 error::HookAbandoned>;

// The fixed message text of an error, e.g. "Unexpected section 'X' in context 'header'";
// it never contains the line number. May throw std::bad_alloc only.
[[nodiscard]] std::string message(const StatementError& e);
// The line number (counted from 1 over every line of the input), present for the seven
// located kinds from UnexpectedSection to HookError.
[[nodiscard]] std::optional<std::uint64_t> lineno(const StatementError& e) noexcept;

// A document section that could not be built and was dropped.
struct Warning {
  std::uint64_t lineno;
  std::string message;
  friend bool operator==(const Warning&, const Warning&) = default;
};

}  // namespace varnok
