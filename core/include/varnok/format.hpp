// The text forms of dates and amounts, as the Python layer shows them: 2024-01-05 and a
// decimal that keeps its scale (1500.00).
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

#include <varnok/amount.hpp>
#include <varnok/date.hpp>

namespace varnok {

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
