// The statement reader: the entry point of the library.
#pragma once

#include <expected>
#include <string_view>

#include "parser/decode.hpp"
#include "parser/diagnostics.hpp"
#include "parser/hooks.hpp"
#include "parser/model/statement.hpp"

namespace varnok {

// Reads a decoded text: first-line check, then the six-state machine over every line,
// running the hooks and the builders at each section end. Returns the statement or the
// first error; no partial statement escapes. Never throws on bad input.
[[nodiscard]] std::expected<Statement, StatementError> read(std::string_view text, Encoding encoding,
                                                            HookList hooks = {});

// decode_input, then read.
[[nodiscard]] std::expected<Statement, StatementError> parse_statement(std::string_view input,
                                                                       HookList hooks = {});

}  // namespace varnok
