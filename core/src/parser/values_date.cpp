// Reading day.month.year dates, and the blank rules of required and optional dates.
#include <cstdint>
#include <expected>
#include <limits>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "parser/text.hpp"
#include "parser/values.hpp"

namespace varnok {
namespace {

enum class DateFailure : std::uint8_t {
  PrematureEnd,       // the text ends where a number or a "." is expected
  InvalidCharacters,  // no digit where a number is expected, or no "." where one is
  OutOfRange,         // a field outside its range, a missing day, a year too large
  TrailingInput,      // anything after the year
};

[[nodiscard]] std::string message(DateFailure f) {
  switch (f) {
    case DateFailure::PrematureEnd: return "premature end of input";
    case DateFailure::InvalidCharacters: return "input contains invalid characters";
    case DateFailure::OutOfRange: return "input is out of range";
    case DateFailure::TrailingInput: return "trailing input";
  }
  return "input contains invalid characters";
}

constexpr std::int32_t kMinYear = -262143;
constexpr std::int32_t kMaxYear = 262142;

[[nodiscard]] bool is_digit(char c) noexcept { return c >= '0' && c <= '9'; }

[[nodiscard]] bool is_leap_year(std::int32_t y) noexcept {
  return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
}

[[nodiscard]] unsigned days_in_month(std::int32_t year, unsigned month) noexcept {
  constexpr unsigned char kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return month == 2 && is_leap_year(year) ? 29 : kDays[month - 1];
}

// The unread rest of the text, consumed from the front.
class DateCursor {
 public:
  explicit DateCursor(std::string_view text) noexcept : rest_(text) {}

  [[nodiscard]] bool at_end() const noexcept { return rest_.empty(); }

  void skip_white_space() noexcept {
    if (!rest_.empty() && !is_digit(rest_.front())) rest_ = trim_left(rest_);
  }

  // A number of 1 … max_digits ASCII digits after skipped White_Space.
  [[nodiscard]] std::expected<unsigned, DateFailure> field(unsigned max_digits) noexcept {
    skip_white_space();
    if (rest_.empty()) return std::unexpected(DateFailure::PrematureEnd);
    unsigned value = 0;
    unsigned n = 0;
    while (n < max_digits && n < rest_.size() && is_digit(rest_[n])) {
      value = value * 10 + static_cast<unsigned>(rest_[n] - '0');
      ++n;
    }
    if (n == 0) return std::unexpected(DateFailure::InvalidCharacters);
    rest_.remove_prefix(n);
    return value;
  }

  [[nodiscard]] std::expected<void, DateFailure> dot() noexcept {
    if (rest_.empty()) return std::unexpected(DateFailure::PrematureEnd);
    if (rest_.front() != '.') return std::unexpected(DateFailure::InvalidCharacters);
    rest_.remove_prefix(1);
    return {};
  }

  // A signed year has any number of digits, an unsigned one 1 … 4.
  [[nodiscard]] std::expected<std::int32_t, DateFailure> year() noexcept {
    skip_white_space();
    if (rest_.empty()) return std::unexpected(DateFailure::PrematureEnd);
    const char sign = rest_.front();
    if (sign != '+' && sign != '-') {
      const auto value = field(4);
      if (!value) return std::unexpected(value.error());
      return static_cast<std::int32_t>(*value);
    }
    rest_.remove_prefix(1);
    if (rest_.empty()) return std::unexpected(DateFailure::PrematureEnd);
    if (!is_digit(rest_.front())) return std::unexpected(DateFailure::InvalidCharacters);
    std::int64_t magnitude = 0;
    while (!rest_.empty() && is_digit(rest_.front())) {
      if (__builtin_mul_overflow(magnitude, 10, &magnitude) ||
          __builtin_add_overflow(magnitude, rest_.front() - '0', &magnitude)) {
        return std::unexpected(DateFailure::OutOfRange);
      }
      rest_.remove_prefix(1);
    }
    const std::int64_t value = sign == '-' ? -magnitude : magnitude;
    if (value < std::numeric_limits<std::int32_t>::min() || value > std::numeric_limits<std::int32_t>::max()) {
      return std::unexpected(DateFailure::OutOfRange);
    }
    return static_cast<std::int32_t>(value);
  }

 private:
  std::string_view rest_;
};

// Each step fails with the first problem it meets, so the order of the checks is the
// order of the failure texts a caller sees.
[[nodiscard]] std::expected<Date, DateFailure> read_date(std::string_view text) noexcept {
  DateCursor cursor(text);
  const auto day = cursor.field(2);
  if (!day) return std::unexpected(day.error());
  if (*day < 1 || *day > 31) return std::unexpected(DateFailure::OutOfRange);
  if (auto dot = cursor.dot(); !dot) return std::unexpected(dot.error());
  const auto month = cursor.field(2);
  if (!month) return std::unexpected(month.error());
  if (*month < 1 || *month > 12) return std::unexpected(DateFailure::OutOfRange);
  if (auto dot = cursor.dot(); !dot) return std::unexpected(dot.error());
  const auto year = cursor.year();
  if (!year) return std::unexpected(year.error());
  if (!cursor.at_end()) return std::unexpected(DateFailure::TrailingInput);
  if (*year < kMinYear || *year > kMaxYear || *day > days_in_month(*year, *month)) {
    return std::unexpected(DateFailure::OutOfRange);
  }
  return Date{*year, static_cast<std::uint8_t>(*month), static_cast<std::uint8_t>(*day)};
}

}  // namespace

std::expected<Date, std::string> parse_date(std::string_view text) {
  auto date = read_date(text);
  if (!date) return std::unexpected(message(date.error()));
  return *date;
}

std::expected<Date, std::string> parse_required_date(std::string_view text) {
  if (is_blank(text)) return std::unexpected(std::string("empty string is not a valid date"));
  return parse_date(text);
}

std::expected<std::optional<Date>, std::string> parse_optional_date(std::string_view text) {
  if (is_blank(text)) return std::optional<Date>();
  auto date = parse_date(text);
  if (!date) return std::unexpected(std::move(date.error()));
  return std::optional<Date>(*date);
}

}  // namespace varnok
