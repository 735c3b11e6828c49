// From a failed read to the one exception parse raises.
#pragma once

#include <varnok/diagnostics.hpp>

namespace varnok::py {

// Sets the exception for `error`: the located kinds become SyntaxError(message) with
// `detail` a new diagnostic object of the same name; Unfinished, NotStatement and
// EmptyInput become UnfinishedError, NotStatementError, EmptyInputError without detail;
// HookAbandoned becomes the internal error (a BaseException) with the hook's text.
// Nothing is chained to it. If building it fails, that failure is set instead.
// Needs an attached thread state and the registry; consumes the error's texts.
void raise_statement_error(StatementError&& error) noexcept;

}  // namespace varnok::py
