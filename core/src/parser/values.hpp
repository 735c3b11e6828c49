// Field values: dates (day.month.year) and amounts (fixed-point decimals), their failure
// texts, their text forms, and the quoted form of a text.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <expected>
#include <optional>
#include <string>
#include <string_view>

#include "parser/model/amount.hpp"
#include "parser/model/date.hpp"

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

// The text in double quotes with backslash escapes (\\ \" \t \r \n \0, \u{hex} for
// control, format, separator (but ASCII space), private-use, surrogate, unassigned
// characters and grapheme-extending marks). Input is UTF-8.
[[nodiscard]] std::string quoted(std::string_view text);
void append_quoted(std::string& out, std::string_view text);

// A short text held inline: the text form of a date or an amount (at most 31 bytes).
struct ShortText {
  std::array<char, 32> data{};
  std::uint8_t size = 0;
  [[nodiscard]] std::string_view view() const noexcept { return {data.data(), size}; }
  friend bool operator==(const ShortText& a, const ShortText& b) noexcept { return a.view() == b.view(); }
};

// YYYY-MM-DD; years outside 0 … 9999 get a sign and at least four digits (+10000, -0001).
[[nodiscard]] ShortText format_date(const Date& d) noexcept;
// "-" if negative, the integer part ("0" if zero), "." and exactly `scale` digits if scale > 0.
[[nodiscard]] ShortText format_amount(const Amount& a) noexcept;

}  // namespace varnok
