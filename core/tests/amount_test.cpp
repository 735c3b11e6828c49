// Amounts: the plain and exponent forms, rounding, rejected texts, the failure text and numeric
// equality.
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <span>
#include <string>
#include <string_view>

#include <gtest/gtest.h>

#include "parser/values.hpp"
#include "testing.hpp"

namespace varnok {
namespace {

// An amount from its mantissa written in decimal, so that 96-bit cases read plainly.
Amount amount(std::string_view mantissa, std::uint8_t scale, bool negative = false) {
  __extension__ typedef unsigned __int128 Wide;
  Wide m = 0;
  for (const char c : mantissa) m = m * 10 + static_cast<unsigned>(c - '0');
  return Amount{static_cast<std::uint64_t>(m), static_cast<std::uint32_t>(m >> 64), scale, negative};
}

// Field-wise, unlike Amount's numeric ==, so that the kept scale and sign are checked.
void expect_same_fields(const Amount& got, const Amount& want) {
  EXPECT_EQ(got.mantissa_high, want.mantissa_high);
  EXPECT_EQ(got.mantissa_low, want.mantissa_low);
  EXPECT_EQ(got.scale, want.scale);
  EXPECT_EQ(got.negative, want.negative);
}

std::string invalid(std::string_view quoted_text) {
  return "invalid value: string " + std::string(quoted_text) +
         ", expected a Decimal type representing a fixed-point number";
}

struct AmountCase {
  std::string_view text;
  std::string_view mantissa;
  std::uint8_t scale;
  bool negative = false;
};

// Each text gives exactly this mantissa, scale and sign.
void expect_amounts(std::span<const AmountCase> cases) {
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    const auto got = parse_amount(c.text);
    if (!got) {
      ADD_FAILURE() << got.error();
      continue;
    }
    expect_same_fields(*got, amount(c.mantissa, c.scale, c.negative));
  }
}

TEST(Amount, PlainForm) {
  const AmountCase cases[] = {
      {"1500.00", "150000", 2},
      {"1_500.00", "150000", 2},
      {"1__500_.0_0_", "150000", 2},
      {"-12345.67", "1234567", 2, true},
      {"+7", "7", 0},
      {"-0", "0", 0},
      {"-0.00", "0", 2},
      {".5", "5", 1},
      {"-.5", "5", 1, true},
      {"5.", "5", 0},
      {"5._5", "55", 1},
      {"1234567890123456789", "1234567890123456789", 0},
      {"12345678901234567890", "12345678901234567890", 0},
      {"0000000000000000000000000000000000000001.10", "110", 2},
      {"79228162514264337593543950335", "79228162514264337593543950335", 0},
      {"-7.9228162514264337593543950335", "79228162514264337593543950335", 28, true},
      {"0.0000000000000000000000000001", "1", 28},
  };
  expect_amounts(cases);
}

// Fraction digits stop at scale 28 or at 96 bits; the first digit after them rounds.
TEST(Amount, Rounding) {
  const AmountCase cases[] = {
      {"0.00000000000000000000000000005", "1", 28},
      {"0.00000000000000000000000000004", "0", 28},
      {"0.00000000000000000000000000004999", "0", 28},
      {"-0.00000000000000000000000000004", "0", 28},
      {"-0.00000000000000000000000000005", "1", 28, true},
      {"0.0000000000000000000000000000_5", "1", 28},
      {"0.0000000000000000000000000001_", "1", 28},
      {"1.00000000000000000000000000005", "10000000000000000000000000001", 28},
      {"9.99999999999999999999999999999", "10000000000000000000000000000", 27},
      {"79228162514264337593543950335.4", "79228162514264337593543950335", 0},
      {"79228162514264337593543950334.5", "79228162514264337593543950335", 0},
      {"79228162514264337593543950335.", "79228162514264337593543950335", 0},
      // Rounding up a full mantissa carries past 96 bits: 2^96 / 10, one scale less.
      {"7.92281625142643375935439503355", "7922816251426433759354395034", 27},
      {"7922816251426433759354395033.59", "7922816251426433759354395034", 0},
  };
  expect_amounts(cases);
}

TEST(Amount, ExponentForm) {
  const AmountCase cases[] = {
      {"1e3", "1000", 0},
      {"1E+3", "1000", 0},
      {"1.5E-2", "15", 3},
      {"-2.5e-1", "25", 2, true},
      {"12e0", "12", 0},
      {"1.50e1", "150", 1},
      {"1.5e3", "1500", 0},
      {"1.50e3", "1500", 0},
      {"1_0e1", "100", 0},
      {"-0e5", "0", 0},
      {"1e-28", "1", 28},
      {"1e28", "10000000000000000000000000000", 0},
      {"7.9228162514264337593543950335e28", "79228162514264337593543950335", 0},
      // 29 significant digits before the exponent: rounded, then the point moves.
      {"1.00000000000000000000000000001e5", "10000000000000000000000000000", 23},
  };
  expect_amounts(cases);
}

TEST(Amount, RejectedTexts) {
  const std::string_view texts[] = {
      "", " ", ".", "+", "-", "+-1", "-.", "_1", "+_1", "._5", "1..2", "1.2.3", "1 500.00",
      "1500,00", " 1", "1 ", "abc", "1\u00a0500", "\uff11",
      "79228162514264337593543950336", "100000000000000000000000000000000",
      // Rounding a full mantissa up at scale 0 leaves nowhere to go.
      "79228162514264337593543950335.5",
      // The rounding position holds something other than a digit.
      "0.0000000000000000000000000000x", "0.0000000000000000000000000000_.",
      // Past the rounding digit the text must still be digits.
      "0.00000000000000000000000000001x", "0.00000000000000000000000000001 500,00",
      "1.0000000000000000000000000000.5",
      // Exponents.
      "1e", "e3", "1ee3", "1e29", "1e-29", "1.5e-28", "1e+-3", "1e--3", "1e3.0", "1e_3", "1e 3",
      "1e4294967296", "_1e3", "1e3x", "79228162514264337593543950335e1",
      "7.9228162514264337593543950335e29",
  };
  for (const std::string_view text : texts) {
    const auto got = parse_amount(text);
    if (got) {
      ADD_FAILURE() << text << " was accepted";
      continue;
    }
    EXPECT_EQ(got.error(), invalid(quoted(text))) << text;
  }
}

TEST(Amount, FailureTextQuotesTheValue) {
  EXPECT_EQ(parse_amount("1 500,00").error(),
            "invalid value: string \"1 500,00\", expected a Decimal type representing a fixed-point number");
  EXPECT_EQ(parse_amount("1\t\"5\"").error(), invalid(R"("1\t\"5\"")"));
}

struct EqualityCase {
  Amount a;
  Amount b;
  bool equal;
};

TEST(Amount, EqualityComparesValuesNotScales) {
  const EqualityCase cases[] = {
      {amount("1005", 1), amount("10050", 2), true},
      {amount("100", 0), amount("10000", 2), true},
      {amount("0", 0), amount("0", 28), true},
      {amount("0", 0), amount("0", 3, true), true},  // a stray sign on zero is no sign
      {amount("5", 1, true), amount("50", 2, true), true},
      {amount("1", 0), amount("10000000000000000000000000000", 28), true},
      {amount("79228162514264337593543950335", 0), amount("79228162514264337593543950335", 0), true},
      {amount("1", 0), amount("10", 0), false},
      {amount("1", 0), amount("1", 1), false},
      {amount("1", 0), amount("1", 0, true), false},
      {amount("10051", 2), amount("1005", 1), false},
      {amount("79228162514264337593543950335", 0), amount("79228162514264337593543950335", 28), false},
      // 34028236693 · 10^28 exceeds 2^128 by exactly the other mantissa: a wrapping
      // multiplication would call these equal.
      {amount("34028236693", 0), amount("9061536536625392568231788544", 28), false},
  };
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    const auto& c = cases[i];
    EXPECT_EQ(c.a == c.b, c.equal) << "case " << i;
    EXPECT_EQ(c.b == c.a, c.equal) << "case " << i;
  }
}

TEST(Amount, ParsedAmountsCompareAcrossScales) {
  EXPECT_EQ(*parse_amount("100.5"), *parse_amount("100.50"));
  EXPECT_EQ(*parse_amount("1_500"), *parse_amount("1.5e3"));
  EXPECT_EQ(*parse_amount("-0"), *parse_amount("0.000"));
  EXPECT_NE(*parse_amount("-1.5"), *parse_amount("1.50"));
}

}  // namespace
}  // namespace varnok
