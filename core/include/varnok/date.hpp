// A calendar date of the proleptic Gregorian calendar, without time of day.
#pragma once

#include <compare>
#include <cstdint>

namespace varnok {

// Always valid: year in -262143 … 262142, month 1 … 12, day within the month.
struct Date {
  std::int32_t year = 1;
  std::uint8_t month = 1;
  std::uint8_t day = 1;

  friend constexpr auto operator<=>(const Date&, const Date&) = default;
};

}  // namespace varnok
