// The text forms of dates (year-month-day) and amounts (with their kept scale), written
// into a ShortText without allocating.
#include <cstddef>
#include <cstdint>

#include "parser/model/amount_mantissa.hpp"
#include "parser/values.hpp"

namespace varnok {
namespace {

// Appends to a ShortText; every caller stays within its 32 bytes by construction.
class ShortTextWriter {
 public:
  void put(char c) noexcept {
    if (out_.size < out_.data.size()) out_.data[out_.size++] = c;
  }
  // The last `width` decimal digits of v, zero-padded.
  void put_digits(std::uint64_t v, unsigned width) noexcept {
    char digits[20];
    for (unsigned i = width; i > 0; --i) {
      digits[i - 1] = static_cast<char>('0' + v % 10);
      v /= 10;
    }
    for (unsigned i = 0; i < width; ++i) put(digits[i]);
  }
  [[nodiscard]] ShortText done() const noexcept { return out_; }

 private:
  ShortText out_;
};

[[nodiscard]] unsigned decimal_width(std::uint64_t v) noexcept {
  unsigned n = 1;
  for (; v >= 10; v /= 10) ++n;
  return n;
}

}  // namespace

ShortText format_date(const Date& d) noexcept {
  ShortTextWriter w;
  const std::int64_t year = d.year;
  if (year >= 0 && year <= 9999) {
    w.put_digits(static_cast<std::uint64_t>(year), 4);
  } else {
    w.put(year < 0 ? '-' : '+');
    const auto magnitude = static_cast<std::uint64_t>(year < 0 ? -year : year);
    const unsigned width = decimal_width(magnitude);
    w.put_digits(magnitude, width < 4 ? 4 : width);
  }
  w.put('-');
  w.put_digits(d.month, 2);
  w.put('-');
  w.put_digits(d.day, 2);
  return w.done();
}

ShortText format_amount(const Amount& a) noexcept {
  constexpr std::uint64_t kTen19 = 10'000'000'000'000'000'000u;
  const detail::Uint128 m = detail::mantissa(a);
  // A scale beyond the invariant is clamped so that the text always fits.
  const unsigned scale = a.scale <= detail::kMaxScale ? a.scale : detail::kMaxScale;

  // All digits of the mantissa, at least scale + 1 of them so that the integer part
  // is never empty: m < 2^96 splits into a high part below 10^10 and 19 low digits.
  char digits[40];
  unsigned count = 0;
  auto push_digits = [&](std::uint64_t v, unsigned min_width) {
    unsigned written = 0;
    while (v != 0 || written < min_width) {
      digits[count++] = static_cast<char>('0' + v % 10);
      v /= 10;
      ++written;
    }
  };
  const bool wide = a.mantissa_high != 0;  // 128-bit division only when it is needed
  const auto high = wide ? static_cast<std::uint64_t>(m / kTen19) : a.mantissa_low / kTen19;
  const auto low = wide ? static_cast<std::uint64_t>(m % kTen19) : a.mantissa_low % kTen19;
  push_digits(low, high != 0 ? 19 : 1);
  push_digits(high, 0);
  while (count < scale + 1) digits[count++] = '0';

  ShortTextWriter w;
  if (a.negative && m != 0) w.put('-');
  for (unsigned i = count; i > scale; --i) w.put(digits[i - 1]);
  if (scale > 0) {
    w.put('.');
    for (unsigned i = scale; i > 0; --i) w.put(digits[i - 1]);
  }
  return w.done();
}

}  // namespace varnok
