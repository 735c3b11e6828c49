// The varnok statement parser: the one header a program includes.
//
//   #include <varnok/varnok.hpp>
//   auto statement = varnok::parse_statement(bytes);
//   if (!statement) std::puts(varnok::message(statement.error()).c_str());
//
// The records a read returns (Statement, Account, Interval, Document, Date, Amount,
// Encoding), the document field table, the section hook interface and the diagnostics
// come with it. Nothing here throws on bad input: failures are returned values; only
// std::bad_alloc can escape.
#pragma once

#include <expected>
#include <string_view>

#include <varnok/account.hpp>
#include <varnok/amount.hpp>
#include <varnok/attributes.hpp>
#include <varnok/date.hpp>
#include <varnok/diagnostics.hpp>
#include <varnok/document.hpp>
#include <varnok/encoding.hpp>
#include <varnok/fields.hpp>
#include <varnok/format.hpp>
#include <varnok/hooks.hpp>
#include <varnok/statement.hpp>

namespace varnok {

// Reads a whole statement file. Takes its bytes (windows-1251 or UTF-8, found out from the
// bytes themselves; UTF-16 with a byte-order mark is read too), borrowed for the call, and
// the hooks to run at every section end, in order, borrowed for the call.
//
// Returns the Statement (documents that could not be built are dropped and listed in
// its warnings) or the first error, with its line number where it has one:
//   EmptyInput          "Input is empty"                   no bytes, or only whitespace
//   NotStatement        "Input is not a 1C statement"      not text, or line 1 is not the marker
//   Unfinished          "Statement is not finished"        the input ends before КонецФайла
//   UnexpectedSection, UnexpectedAttribute, UnrecognizedLine, MissingField,
//   AccountParseError, HookError                           a bad line or section (see diagnostics.hpp)
//   HookAbandoned       the hook's own text                a hook gave up the read
// No partial statement is ever returned. Never throws on bad input; thread-safe (a read
// shares nothing with another).
[[nodiscard]] std::expected<Statement, StatementError> parse_statement(std::string_view input,
                                                                       HookList hooks = {});

}  // namespace varnok
