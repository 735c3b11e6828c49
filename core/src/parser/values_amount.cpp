// Reading amounts: the plain decimal form, then the exponent form, into a 96-bit mantissa
// that keeps the scale it was written with.
#include <cstddef>
#include <cstdint>
#include <expected>
#include <optional>
#include <string>
#include <string_view>

#include "parser/model/amount_mantissa.hpp"
#include "parser/values.hpp"

namespace varnok {
namespace {

using detail::kMaxMantissa;
using detail::kMaxScale;
using detail::kPowersOfTen;
using detail::Uint128;

// 2^96 / 10 rounded, 7922816251426433759354395034: what a mantissa of 2^96 − 1 becomes,
// at one scale less, when rounding it up would carry past 96 bits.
constexpr Uint128 kRoundedOverflow = (kMaxMantissa / 10) + 1;
static_assert(kRoundedOverflow / 10'000'000'000'000'000'000u == 792'281'625u &&
              kRoundedOverflow % 10'000'000'000'000'000'000u == 1'426'433'759'354'395'034u);

struct Decimal {
  Uint128 mantissa;
  unsigned scale;
  bool negative;
};

[[nodiscard]] bool is_digit(char c) noexcept { return c >= '0' && c <= '9'; }

// The common short form (optional sign, at most 19 digits, at most one ".", a digit
// first) in 64-bit arithmetic; nullopt hands anything else to the full reader.
[[nodiscard]] std::optional<Amount> read_short_plain(std::string_view s) noexcept {
  constexpr std::size_t kMaxDigits = 19;  // 10^19 − 1 < 2^64
  std::size_t i = 0;
  bool negative = false;
  if (!s.empty() && (s[0] == '-' || s[0] == '+')) {
    negative = s[0] == '-';
    i = 1;
  }
  if (i == s.size() || !is_digit(s[i]) || s.size() - i > kMaxDigits + 1) return std::nullopt;
  std::uint64_t m = 0;
  std::size_t digits = 0;
  std::optional<std::size_t> digits_before_point;
  for (; i < s.size(); ++i) {
    const char c = s[i];
    if (is_digit(c)) {
      m = m * 10 + static_cast<unsigned>(c - '0');  // wraps only when digits > 19: rejected below
      ++digits;
    } else if (c == '.' && !digits_before_point) {
      digits_before_point = digits;
    } else {
      return std::nullopt;
    }
  }
  if (digits > kMaxDigits) return std::nullopt;
  const std::size_t scale = digits_before_point ? digits - *digits_before_point : 0;
  return detail::make_amount(m, static_cast<unsigned>(scale), negative);
}

// The plain form: sign, digits with "_" separators and one ".". Fraction digits beyond
// 96 bits or scale 28 are rounded half away from zero at the first one.
[[nodiscard]] std::optional<Decimal> read_plain(std::string_view s) noexcept {
  std::size_t i = 0;
  bool negative = false;
  if (!s.empty() && (s[0] == '-' || s[0] == '+')) {
    negative = s[0] == '-';
    i = 1;
  }
  if (i == s.size()) return std::nullopt;
  if (s[i] == '.' ? i + 1 == s.size() || !is_digit(s[i + 1]) : !is_digit(s[i])) return std::nullopt;

  Uint128 m = 0;
  unsigned scale = 0;
  bool in_fraction = false;
  for (; i < s.size(); ++i) {
    const char c = s[i];
    if (c == '_') continue;
    if (c == '.') {
      if (in_fraction) return std::nullopt;
      in_fraction = true;
      continue;
    }
    if (!is_digit(c)) return std::nullopt;
    const Uint128 next = m * 10 + static_cast<unsigned>(c - '0');
    if (!in_fraction) {
      if (next > kMaxMantissa) return std::nullopt;
      m = next;
    } else if (next <= kMaxMantissa && scale < kMaxScale) {
      m = next;
      ++scale;
    } else {
      break;  // c is the rounding digit
    }
  }

  if (i < s.size()) {
    if (s[i] >= '5') {
      if (m < kMaxMantissa) {
        ++m;
      } else if (scale == 0) {
        return std::nullopt;
      } else {
        m = kRoundedOverflow;
        --scale;
      }
    }
    // The digits past the rounding one are dropped, but they must still be digits: a text
    // like 1.00000000000000000000000000001e5 is not a plain number and must not read as 1.
    for (++i; i < s.size(); ++i) {
      if (!is_digit(s[i]) && s[i] != '_') return std::nullopt;
    }
  }
  return Decimal{m, scale, negative && m != 0};
}

// One or more ASCII digits after at most one "+", fitting in 32 bits.
[[nodiscard]] std::optional<std::uint32_t> read_exponent_digits(std::string_view s) noexcept {
  if (!s.empty() && s.front() == '+') s.remove_prefix(1);
  if (s.empty()) return std::nullopt;
  std::uint32_t n = 0;
  for (const char c : s) {
    if (!is_digit(c)) return std::nullopt;
    if (__builtin_mul_overflow(n, 10u, &n) || __builtin_add_overflow(n, static_cast<unsigned>(c - '0'), &n)) {
      return std::nullopt;
    }
  }
  return n;
}

// A plain form, "e" or "E", and a power of ten that moves the point.
[[nodiscard]] std::optional<Decimal> read_exponent(std::string_view s) noexcept {
  const std::size_t e = s.find_first_of("eE");
  if (e == std::string_view::npos) return std::nullopt;
  auto d = read_plain(s.substr(0, e));
  if (!d) return std::nullopt;
  std::string_view exponent = s.substr(e + 1);
  const bool negative_exponent = exponent.starts_with('-');
  if (negative_exponent) exponent.remove_prefix(1);
  const auto n = read_exponent_digits(exponent);
  if (!n) return std::nullopt;
  if (negative_exponent) {
    if (*n > kMaxScale || d->scale + *n > kMaxScale) return std::nullopt;
    d->scale += *n;
  } else if (*n <= d->scale) {
    d->scale -= *n;
  } else {
    if (*n > kMaxScale) return std::nullopt;
    const Uint128 factor = kPowersOfTen[*n - d->scale];
    if (d->mantissa > kMaxMantissa / factor) return std::nullopt;
    d->mantissa *= factor;
    d->scale = 0;
  }
  return d;
}

[[nodiscard]] std::string invalid_amount_message(std::string_view text) {
  constexpr std::string_view kHead = "invalid value: string ";
  constexpr std::string_view kTail = ", expected a Decimal type representing a fixed-point number";
  std::string out;
  out.reserve(kHead.size() + text.size() + 2 + kTail.size());
  out += kHead;
  append_quoted(out, text);
  out += kTail;
  return out;
}

}  // namespace

std::expected<Amount, std::string> parse_amount(std::string_view text) {
  if (auto fast = read_short_plain(text)) return *fast;
  auto d = read_plain(text);
  if (!d) d = read_exponent(text);
  if (!d) return std::unexpected(invalid_amount_message(text));
  return detail::make_amount(d->mantissa, d->scale, d->negative);
}

}  // namespace varnok
