// The text forms of dates and amounts.
#include <cstdio>
#include <string_view>

#include <gtest/gtest.h>

#include "parser/values.hpp"

namespace varnok {
namespace {

struct DateTextCase {
  Date date;
  std::string_view text;
};

TEST(Format, DatesAsYearMonthDay) {
  const DateTextCase cases[] = {
      {{2024, 1, 5}, "2024-01-05"},
      {{999, 12, 31}, "0999-12-31"},
      {{24, 1, 5}, "0024-01-05"},
      {{0, 2, 29}, "0000-02-29"},
      {{9999, 12, 31}, "9999-12-31"},
      {{10000, 1, 1}, "+10000-01-01"},
      {{262142, 12, 31}, "+262142-12-31"},
      {{-1, 1, 1}, "-0001-01-01"},
      {{-9999, 1, 1}, "-9999-01-01"},
      {{-262143, 1, 1}, "-262143-01-01"},
  };
  for (const auto& c : cases) EXPECT_EQ(format_date(c.date).view(), c.text);
}

// Every year of the four-digit range, against printf.
TEST(Format, EveryFourDigitYear) {
  char expected[32];
  for (int year = 0; year <= 9999; ++year) {
    const auto month = static_cast<std::uint8_t>(1 + year % 12);
    const auto day = static_cast<std::uint8_t>(1 + year % 31);
    std::snprintf(expected, sizeof expected, "%04d-%02d-%02d", year, month, day);
    ASSERT_EQ(format_date({year, month, day}).view(), expected);
  }
}

struct AmountTextCase {
  std::string_view parsed;
  std::string_view text;
};

// The text form keeps the parsed scale and reads back as the same amount and scale.
TEST(Format, AmountsWithTheirScaleAndBack) {
  const AmountTextCase cases[] = {
      {"100.50", "100.50"},
      {"100", "100"},
      {".5", "0.5"},
      {"5.", "5"},
      {"+7", "7"},
      {"-12345.67", "-12345.67"},
      {"-0.00", "0.00"},
      {"0001.10", "1.10"},
      {"1_500.00", "1500.00"},
      {"1.5e3", "1500"},
      {"1.5E-2", "0.015"},
      {"1e-28", "0.0000000000000000000000000001"},
      {"-1e-28", "-0.0000000000000000000000000001"},
      {"-0.00000000000000000000000000004", "0.0000000000000000000000000000"},
      // Around the split of the mantissa into a high part and 19 low digits.
      {"9999999999999999999", "9999999999999999999"},
      {"10000000000000000000", "10000000000000000000"},
      {"10000000000000000001.5", "10000000000000000001.5"},
      {"1.0000000000000000000", "1.0000000000000000000"},
      {"79228162514264337593543950335", "79228162514264337593543950335"},
      {"-7.9228162514264337593543950335", "-7.9228162514264337593543950335"},
      {"7922816251426433759354395033.59", "7922816251426433759354395034"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.parsed);
    const auto amount = parse_amount(c.parsed);
    ASSERT_TRUE(amount.has_value()) << amount.error();
    const ShortText text = format_amount(*amount);
    EXPECT_EQ(text.view(), c.text);
    const auto again = parse_amount(text.view());
    ASSERT_TRUE(again.has_value()) << again.error();
    EXPECT_EQ(*again, *amount);
    EXPECT_EQ(again->scale, amount->scale);
    EXPECT_EQ(again->negative, amount->negative);
  }
}

TEST(Format, StrayStatesStayWithinTheText) {
  // A negative flag on zero prints no sign; a scale past 28 cannot overflow the text.
  EXPECT_EQ(format_amount(Amount{0, 0, 2, true}).view(), "0.00");
  EXPECT_EQ(format_amount(Amount{1, 0, 255, true}).view(), "-0.0000000000000000000000000001");
}

}  // namespace
}  // namespace varnok
