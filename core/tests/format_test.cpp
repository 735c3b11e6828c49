#include <gtest/gtest.h>

#include <string_view>

#include "parser/values.hpp"

namespace varnok {
namespace {

struct DateTextCase {
  Date date;
  std::string_view text;
};

class FormatDate : public testing::TestWithParam<DateTextCase> {};

TEST_P(FormatDate, WritesYearMonthDay) {
  EXPECT_EQ(format_date(GetParam().date).view(), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(Format, FormatDate, testing::Values(
    DateTextCase{{2024, 1, 5}, "2024-01-05"},
    DateTextCase{{999, 12, 31}, "0999-12-31"},
    DateTextCase{{24, 1, 5}, "0024-01-05"},
    DateTextCase{{0, 2, 29}, "0000-02-29"},
    DateTextCase{{9999, 12, 31}, "9999-12-31"},
    DateTextCase{{10000, 1, 1}, "+10000-01-01"},
    DateTextCase{{262142, 12, 31}, "+262142-12-31"},
    DateTextCase{{-1, 1, 1}, "-0001-01-01"},
    DateTextCase{{-9999, 1, 1}, "-9999-01-01"},
    DateTextCase{{-262143, 1, 1}, "-262143-01-01"}));

TEST(Format, ParsedDatesReadBackInYearMonthDay) {
  EXPECT_EQ(format_date(*parse_date("5.1.24")).view(), "0024-01-05");
  EXPECT_EQ(format_date(*parse_date("29.02.+2024")).view(), "2024-02-29");
  EXPECT_EQ(format_date(*parse_date("01.01.-262143")).view(), "-262143-01-01");
}

struct AmountTextCase {
  std::string_view parsed;
  std::string_view text;
};

class FormatAmount : public testing::TestWithParam<AmountTextCase> {};

// The text form keeps the parsed scale and reads back as the same amount and scale.
TEST_P(FormatAmount, WritesTheKeptScaleAndRoundTrips) {
  const auto amount = parse_amount(GetParam().parsed);
  ASSERT_TRUE(amount.has_value()) << amount.error();
  const ShortText text = format_amount(*amount);
  EXPECT_EQ(text.view(), GetParam().text);
  const auto again = parse_amount(text.view());
  ASSERT_TRUE(again.has_value()) << again.error();
  EXPECT_EQ(*again, *amount);
  EXPECT_EQ(again->scale, amount->scale);
  EXPECT_EQ(again->negative, amount->negative);
}

INSTANTIATE_TEST_SUITE_P(Format, FormatAmount, testing::Values(
    AmountTextCase{"100.50", "100.50"},
    AmountTextCase{"100", "100"},
    AmountTextCase{".5", "0.5"},
    AmountTextCase{"5.", "5"},
    AmountTextCase{"+7", "7"},
    AmountTextCase{"-12345.67", "-12345.67"},
    AmountTextCase{"-0.00", "0.00"},
    AmountTextCase{"0001.10", "1.10"},
    AmountTextCase{"1_500.00", "1500.00"},
    AmountTextCase{"1.5e3", "1500"},
    AmountTextCase{"1.5E-2", "0.015"},
    AmountTextCase{"1e-28", "0.0000000000000000000000000001"},
    AmountTextCase{"-1e-28", "-0.0000000000000000000000000001"},
    AmountTextCase{"-0.00000000000000000000000000004", "0.0000000000000000000000000000"},
    // Around the split of the mantissa into a high part and 19 low digits.
    AmountTextCase{"9999999999999999999", "9999999999999999999"},
    AmountTextCase{"10000000000000000000", "10000000000000000000"},
    AmountTextCase{"10000000000000000001.5", "10000000000000000001.5"},
    AmountTextCase{"1.0000000000000000000", "1.0000000000000000000"},
    AmountTextCase{"79228162514264337593543950335", "79228162514264337593543950335"},
    AmountTextCase{"-7.9228162514264337593543950335", "-7.9228162514264337593543950335"},
    AmountTextCase{"7922816251426433759354395033.59", "7922816251426433759354395034"}));

TEST(Format, StrayStatesStayWithinTheText) {
  // A negative flag on zero prints no sign; a scale past 28 cannot overflow the text.
  EXPECT_EQ(format_amount(Amount{0, 0, 2, true}).view(), "0.00");
  EXPECT_EQ(format_amount(Amount{1, 0, 255, true}).view(), "-0.0000000000000000000000000001");
}

}  // namespace
}  // namespace varnok
