// Fixed-point sums in 128 bits with overflow checks, and Decimal's text form.
#include "exact_amount.hpp"

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <utility>

namespace varnok::native {
namespace {

// units * 10^by; nullopt past 128 bits.
std::optional<Int128> rescaled(Int128 units, int by) noexcept {
  for (; by > 0; --by)
    if (__builtin_mul_overflow(units, Int128{10}, &units)) return std::nullopt;
  return units;
}

// Both at the larger scale.
std::optional<std::pair<ExactAmount, ExactAmount>> aligned(ExactAmount a, ExactAmount b) noexcept {
  const int scale = std::max(a.scale, b.scale);
  const auto ua = rescaled(a.units, scale - a.scale), ub = rescaled(b.units, scale - b.scale);
  if (!ua || !ub) return std::nullopt;
  return std::pair{ExactAmount{*ua, scale}, ExactAmount{*ub, scale}};
}

// a op b at the larger scale; `overflows` computes it and tells whether it left 128 bits.
template <class Op>
std::optional<ExactAmount> combined(ExactAmount a, ExactAmount b, Op overflows) noexcept {
  const auto both = aligned(a, b);
  if (!both) return std::nullopt;
  ExactAmount out{0, both->first.scale};
  if (overflows(both->first.units, both->second.units, &out.units)) return std::nullopt;
  return out;
}

}  // namespace

ExactAmount exact(const Amount& a) noexcept {
  const Int128 mantissa = Int128{a.mantissa_high} << 64 | Int128{a.mantissa_low};
  return {a.negative ? -mantissa : mantissa, a.scale};
}

std::optional<ExactAmount> add(ExactAmount a, ExactAmount b) noexcept {
  return combined(a, b, [](Int128 x, Int128 y, Int128* out) { return __builtin_add_overflow(x, y, out); });
}

std::optional<ExactAmount> subtract(ExactAmount a, ExactAmount b) noexcept {
  return combined(a, b, [](Int128 x, Int128 y, Int128* out) { return __builtin_sub_overflow(x, y, out); });
}

ExactAmount with_fewer_places(ExactAmount a, int scale) noexcept {
  for (; a.scale > scale; --a.scale) a.units /= 10;
  return a;
}

std::optional<bool> same_value(ExactAmount a, ExactAmount b) noexcept {
  const auto both = aligned(a, b);
  if (!both) return std::nullopt;
  return both->first.units == both->second.units;
}

std::string decimal_text(ExactAmount a) {
  // Decimal's to-sci-string, for an exponent of -scale (never positive here).
  __extension__ using Unsigned = unsigned __int128;
  Unsigned magnitude = a.units < 0 ? Unsigned(0) - static_cast<Unsigned>(a.units) : static_cast<Unsigned>(a.units);
  char room[40];
  char* end = room + sizeof room;
  char* first = end;
  // 128-bit division is slow: only down to what 64 bits hold.
  for (; magnitude > UINT64_MAX; magnitude /= 10) *--first = static_cast<char>('0' + static_cast<int>(magnitude % 10));
  const auto low = static_cast<std::uint64_t>(magnitude);
  char small[20];
  char* small_end = std::to_chars(small, small + sizeof small, low).ptr;
  first = std::copy_backward(small, small_end, first);
  const std::string_view digits(first, static_cast<std::size_t>(end - first));
  const long n = static_cast<long>(digits.size());
  const long left = n - a.scale;  // digits before the point
  std::string out = a.units < 0 ? "-" : "";
  if (left > -6) {
    if (left <= 0) {
      out += "0.";
      out.append(static_cast<std::size_t>(-left), '0');
      out += digits;
    } else if (left >= n) {
      out += digits;
    } else {
      out.append(digits, 0, static_cast<std::size_t>(left));
      out += '.';
      out.append(digits, static_cast<std::size_t>(left));
    }
    return out;
  }
  out += digits[0];
  if (n > 1) {
    out += '.';
    out.append(digits, 1);
  }
  out += "E" + std::to_string(left - 1);
  return out;
}

}  // namespace varnok::native
