// Numeric equality of amounts across scales.
#include <varnok/amount.hpp>

#include "parser/model/amount_mantissa.hpp"

namespace varnok {

bool operator==(const Amount& a, const Amount& b) noexcept {
  const detail::Uint128 ma = detail::mantissa(a);
  const detail::Uint128 mb = detail::mantissa(b);
  if (ma == 0 || mb == 0) return ma == mb;  // zero equals zero whatever the sign flag says
  if (a.negative != b.negative) return false;
  // Scale the one with fewer fraction digits up; an overflow past 128 bits, or a scale
  // gap beyond the table (which would need more than 96 bits), means the values differ.
  const bool a_finer = a.scale > b.scale;
  const detail::Uint128 coarse = a_finer ? mb : ma;
  const detail::Uint128 fine = a_finer ? ma : mb;
  const unsigned gap = a_finer ? a.scale - b.scale : b.scale - a.scale;
  if (gap >= detail::kPowersOfTen.size()) return false;
  detail::Uint128 scaled;
  if (__builtin_mul_overflow(coarse, detail::kPowersOfTen[gap], &scaled)) return false;
  return scaled == fine;
}

}  // namespace varnok
