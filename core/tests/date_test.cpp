// Dates: accepted and rejected texts, and the blank rules of required and optional dates.
#include <optional>
#include <string>
#include <string_view>

#include <gtest/gtest.h>

#include "parser/values.hpp"

namespace varnok {
namespace {

constexpr std::string_view kPremature = "premature end of input";
constexpr std::string_view kInvalid = "input contains invalid characters";
constexpr std::string_view kRange = "input is out of range";
constexpr std::string_view kTrailing = "trailing input";

struct DateCase {
  std::string_view text;
  Date date;
};

TEST(Date, AcceptedTexts) {
  const DateCase cases[] = {
      {"05.01.2024", {2024, 1, 5}},
      {"5.1.2024", {2024, 1, 5}},
      {"05. 01. 2024", {2024, 1, 5}},
      {" \t05.01.2024", {2024, 1, 5}},
      {"\u00a005.\u300001.\u20032024", {2024, 1, 5}},  // multi-byte White_Space
      {"05.01.24", {24, 1, 5}},
      {"05.01.0", {0, 1, 5}},
      {"05.01.+2024", {2024, 1, 5}},
      {"05.01.-1", {-1, 1, 5}},
      {"05.01. -1", {-1, 1, 5}},
      {"05.01.+00000000000000000000002024", {2024, 1, 5}},
      {"29.02.2024", {2024, 2, 29}},
      {"29.02.2000", {2000, 2, 29}},
      {"29.02.-4", {-4, 2, 29}},
      {"29.02.0", {0, 2, 29}},
      {"31.12.9999", {9999, 12, 31}},
      {"31.12.+262142", {262142, 12, 31}},
      {"01.01.-262143", {-262143, 1, 1}},
  };
  for (const auto& c : cases) {
    const auto got = parse_date(c.text);
    if (!got) {
      ADD_FAILURE() << c.text << ": " << got.error();
      continue;
    }
    EXPECT_EQ(*got, c.date) << c.text;
  }
}

struct DateFailureCase {
  std::string_view text;
  std::string_view message;
};

// Each text fails with the first problem met, reading from the left.
TEST(Date, RejectedTexts) {
  const DateFailureCase cases[] = {
      // The text ends where a number or a "." is expected.
      {"", kPremature},
      {"  ", kPremature},
      {"05", kPremature},
      {"05.", kPremature},
      {"05.01", kPremature},
      {"05.01.", kPremature},
      {"05.01. ", kPremature},
      {"05.01.-", kPremature},
      // No digit where a number is expected, no "." where one is.
      {"2024-01-05", kInvalid},
      {"05/01/2024", kInvalid},
      {"05 .01.2024", kInvalid},
      {"x5.01.2024", kInvalid},
      {"05.01.+ 2024", kInvalid},
      {"05.01.--1", kInvalid},
      {"05.01.x", kInvalid},
      {"\u200b05.01.2024", kInvalid},  // ZERO WIDTH SPACE is not White_Space
      // Field ranges, checked as each field is read.
      {"00.01.2024", kRange},
      {"32.01.2024", kRange},
      {"005.01.2024", kRange},  // the day reads 00
      {"05.13.2024", kRange},
      {"05.00.2024", kRange},
      {"05.13", kRange},  // the month fails before the missing "."
      // Day in month, after the whole text is read.
      {"29.02.2023", kRange},
      {"29.02.1900", kRange},
      {"31.04.2024", kRange},
      {"31.06.2024", kRange},
      {"29.02.-1", kRange},
      // The year range, and numbers too large to hold.
      {"31.12.+262143", kRange},
      {"01.01.-262144", kRange},
      {"05.01.+2147483648", kRange},
      {"05.01.-2147483649", kRange},
      {"05.01.+99999999999999999999", kRange},
      {"05.01.+99999999999999999999x", kRange},  // before the trailing check
      // Anything after the year; it is seen before the year range and the day in month.
      {"05.01.20245", kTrailing},
      {"05.01.2024г.", kTrailing},
      {"05.01.2024 ", kTrailing},
      {"05.01.2024\n", kTrailing},
      {"31.04.2024x", kTrailing},
      {"05.01.+300000x", kTrailing},
  };
  for (const auto& c : cases) {
    const auto got = parse_date(c.text);
    if (got) {
      ADD_FAILURE() << c.text << " was accepted";
      continue;
    }
    EXPECT_EQ(got.error(), c.message) << c.text;
  }
}

TEST(Date, RequiredDateRejectsBlankText) {
  for (const std::string_view blank : {"", " ", "\t\r\n", "\u00a0\u3000"}) {
    const auto got = parse_required_date(blank);
    ASSERT_FALSE(got.has_value());
    EXPECT_EQ(got.error(), "empty string is not a valid date");
  }
  EXPECT_EQ(parse_required_date("05.01.2024"), (Date{2024, 1, 5}));
  EXPECT_EQ(parse_required_date(" 05.01.2024 ").error(), kTrailing);
}

TEST(Date, OptionalDateIsAbsentForBlankText) {
  for (const std::string_view blank : {"", " ", "\t", "\u2028"}) {
    const auto got = parse_optional_date(blank);
    ASSERT_TRUE(got.has_value());
    EXPECT_EQ(*got, std::nullopt);
  }
  const auto present = parse_optional_date("5.1.2024");
  ASSERT_TRUE(present.has_value());
  EXPECT_EQ(*present, (Date{2024, 1, 5}));
  EXPECT_EQ(parse_optional_date("31.04.2024").error(), kRange);
}

}  // namespace
}  // namespace varnok
