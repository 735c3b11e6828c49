// Field values: dates (day.month.year) and amounts (fixed-point decimals) with their
// failure texts, and the quoted form of a text. Their text forms are in <varnok/format.hpp>.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <expected>
#include <optional>
#include <string>
#include <string_view>

#include <varnok/amount.hpp>
#include <varnok/date.hpp>
#include <varnok/format.hpp>

namespace varnok {

// "%d.%m.%Y" with the rules of the format; failures: "premature end of input",
// "input contains invalid characters", "input is out of range", "trailing input".
[[nodiscard]] std::expected<Date, std::string> parse_date(std::string_view text);
// A blank text fails with "empty string is not a valid date"; otherwise parse_date.
[[nodiscard]] std::expected<Date, std::string> parse_required_date(std::string_view text);
// A blank text gives nullopt; otherwise parse_date.
[[nodiscard]] std::expected<std::optional<Date>, std::string> parse_optional_date(std::string_view text);
// Plain form, then exponent form; failure: "invalid value: string <quoted text>, expected
// a Decimal type representing a fixed-point number".
[[nodiscard]] std::expected<Amount, std::string> parse_amount(std::string_view text);

// Appends the text in double quotes with backslash escapes (\\ \" \t \r \n \0, \u{hex} for
// control, format, separator (but ASCII space), private-use, surrogate, unassigned
// characters and grapheme-extending marks). Input is UTF-8.
void append_quoted(std::string& out, std::string_view text);

}  // namespace varnok
