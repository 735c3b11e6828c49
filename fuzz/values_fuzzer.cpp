// Fuzzes the date and amount parsers and their text forms. The input is a value text for
// the parsers, and its bytes also build dates and amounts for the format/parse round trips.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <expected>
#include <string>
#include <string_view>

#include <varnok/amount.hpp>
#include <varnok/date.hpp>

#include "fuzz_support.hpp"
#include "invariants.hpp"
#include "parser/lines.hpp"
#include "parser/values.hpp"
#include "testing.hpp"

namespace {

using namespace varnok;
using varnok::fuzz::require;

constexpr std::string_view kDateFailures[] = {"premature end of input", "input contains invalid characters",
                                              "input is out of range", "trailing input"};

// day.month.year as the parser reads it, from a date in its text form YYYY-MM-DD (the
// year possibly signed and longer).
std::string to_statement_form(const ShortText& iso) {
  const std::string_view s = iso.view();
  const std::size_t day_dash = s.rfind('-');
  const std::size_t month_dash = s.rfind('-', day_dash - 1);
  return std::string(s.substr(day_dash + 1)) + "." + std::string(s.substr(month_dash + 1, 2)) + "." +
         std::string(s.substr(0, month_dash));
}

void check_date_round_trip(const Date& d) {
  const ShortText iso = format_date(d);
  if (d.year >= 0 && d.year <= 9999) require(iso.view().size() == 10, "a date of years 0..9999 is not YYYY-MM-DD");
  const auto back = parse_date(to_statement_form(iso));
  require(back.has_value() && *back == d, "format_date then parse_date changed the date");
}

void check_amount_round_trip(const Amount& a) {
  const ShortText text = format_amount(a);
  const auto back = parse_amount(text.view());
  require(back.has_value(), "parse_amount rejects the text form of an amount");
  require(check::same_amount(*back, a), "format_amount then parse_amount changed the amount or its scale");
  require(format_amount(*back) == text, "the text form of an amount is not stable");
}

std::string amount_failure(std::string_view text) {
  return "invalid value: string " + quoted(text) + ", expected a Decimal type representing a fixed-point number";
}

void check_date_text(std::string_view text) {
  const auto d = parse_date(text);
  if (d) {
    require(check::valid_date(*d), "parse_date returned an impossible date");
    check_date_round_trip(*d);
  } else {
    bool known = false;
    for (std::string_view f : kDateFailures) known = known || d.error() == f;
    require(known, "parse_date failed with an unknown text");
  }
  const auto required = parse_required_date(text);
  const auto optional = parse_optional_date(text);
  if (is_blank(text)) {
    require(!required && required.error() == "empty string is not a valid date", "blank required date accepted");
    require(optional && !optional->has_value(), "blank optional date not absent");
  } else {
    require(required.has_value() == d.has_value() && (!d || *required == *d), "required date differs from parse_date");
    require(optional.has_value() == d.has_value() && (!d || **optional == *d), "optional date differs from parse_date");
  }
}

void check_amount_text(std::string_view text) {
  const auto a = parse_amount(text);
  if (!a) {
    require(a.error() == amount_failure(text), "amount failure text is not the fixed one");
    return;
  }
  require(check::valid_amount(*a), "parse_amount returned an invalid amount");
  check_amount_round_trip(*a);

  const bool has_sign = text.front() == '+' || text.front() == '-';
  const bool has_exponent = text.find_first_of("eE") != std::string_view::npos;
  if (!has_sign) {
    const auto minus = parse_amount("-" + std::string(text));
    const auto plus = parse_amount("+" + std::string(text));
    require(plus && check::same_amount(*plus, *a), "a leading + changed the amount");
    require(minus && minus->mantissa_low == a->mantissa_low && minus->mantissa_high == a->mantissa_high &&
                minus->scale == a->scale && minus->negative == (a->mantissa_low != 0 || a->mantissa_high != 0),
            "a leading - did not just negate the amount");
  }
  // "_" after a digit of the plain part is a group separator: it changes nothing.
  const std::size_t end = has_exponent ? text.find_first_of("eE") : text.size();
  for (std::size_t i = 0; i < end; ++i) {
    if (text[i] < '0' || text[i] > '9') continue;
    const std::string spaced = std::string(text.substr(0, i + 1)) + "_" + std::string(text.substr(i + 1));
    const auto b = parse_amount(spaced);
    require(b && check::same_amount(*b, *a), "a digit separator changed the amount");
    break;
  }
  // One more trailing fraction zero keeps the value; the scale grows unless already full.
  if (!has_exponent && text.find('.') != std::string_view::npos) {
    const auto z = parse_amount(std::string(text) + "0");
    require(z && *z == *a && (z->scale == a->scale + 1 || z->scale == a->scale), "a trailing zero changed the amount");
  }
}

Date date_from(const std::uint8_t* p) {
  const auto year = static_cast<std::int32_t>((p[0] | (p[1] << 8)) % 10000);
  const auto month = static_cast<std::uint8_t>(p[2] % 12 + 1);
  constexpr std::uint8_t kDays[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  auto day = static_cast<std::uint8_t>(p[3] % kDays[month - 1] + 1);
  const bool leap = year % 4 == 0 && (year % 100 != 0 || year % 400 == 0);
  if (month == 2 && day == 29 && !leap) day = 28;
  return Date{year, month, day};
}

Amount amount_from(const std::uint8_t* p) {
  Amount a;
  std::memcpy(&a.mantissa_low, p, sizeof a.mantissa_low);
  std::memcpy(&a.mantissa_high, p + 8, sizeof a.mantissa_high);
  a.scale = static_cast<std::uint8_t>(p[12] % 29);
  a.negative = (p[13] & 1) != 0 && (a.mantissa_low != 0 || a.mantissa_high != 0);
  return a;
}

}  // namespace

// Every date of years 0..9999 (the first, a middle and the last day of each month) must
// survive the trip through its text form; run once per fuzzing session.
extern "C" int LLVMFuzzerInitialize(int*, char***) {
  for (std::int32_t year = 0; year <= 9999; ++year) {
    for (std::uint8_t month = 1; month <= 12; ++month) {
      for (std::uint8_t day : {1, 15, 28, 29, 30, 31}) {
        const Date d{year, month, day};
        if (check::valid_date(d)) check_date_round_trip(d);
      }
    }
  }
  for (std::int32_t year : {-262143, -10000, -1, 10000, 262142}) check_date_round_trip(Date{year, 12, 31});
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  check_date_text(text);
  check_amount_text(text);
  const std::string q = quoted(text);
  require(q.size() >= 2 && q.front() == '"' && q.back() == '"', "quoted text is not in double quotes");

  if (size >= 4) check_date_round_trip(date_from(data));
  if (size >= 14) check_amount_round_trip(amount_from(data));
  return 0;
}
