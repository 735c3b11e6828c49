// The statement reader: the six-state machine over the lines of a decoded text.
#pragma once

#include <cstddef>
#include <expected>
#include <string_view>

#include <varnok/diagnostics.hpp>
#include <varnok/encoding.hpp>
#include <varnok/hooks.hpp>
#include <varnok/statement.hpp>

namespace varnok {

// Reads a decoded text: first-line check, then the six-state machine over every line,
// running the hooks and the builders at each section end. Returns the statement or the
// first error; no partial statement escapes. Never throws on bad input.
[[nodiscard]] std::expected<Statement, StatementError> read(std::string_view text, Encoding encoding,
                                                            HookList hooks = {});

namespace detail {
// The read of windows-1251 bytes (already judged plausible) in pieces of about
// piece_bytes; gives what read() gives on their whole decoded text.
[[nodiscard]] std::expected<Statement, StatementError> read_cp1251(std::string_view bytes, HookList hooks,
                                                                   std::size_t piece_bytes);
}  // namespace detail

}  // namespace varnok
