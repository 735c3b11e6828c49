// The 96-bit mantissa of an Amount as one unsigned 128-bit integer, for the code that
// reads, compares and writes amounts.
#pragma once

#include <array>
#include <cstdint>

#include <varnok/amount.hpp>

namespace varnok::detail {

__extension__ typedef unsigned __int128 Uint128;

inline constexpr Uint128 kMaxMantissa = (Uint128{1} << 96) - 1;
inline constexpr unsigned kMaxScale = 28;

// 10^0 … 10^28; 10^28 < 2^94, so every entry fits.
inline constexpr std::array<Uint128, kMaxScale + 1> kPowersOfTen = [] {
  std::array<Uint128, kMaxScale + 1> p{};
  p[0] = 1;
  for (unsigned i = 1; i <= kMaxScale; ++i) p[i] = p[i - 1] * 10;
  return p;
}();

[[nodiscard]] constexpr Uint128 mantissa(const Amount& a) noexcept {
  return (Uint128{a.mantissa_high} << 64) | a.mantissa_low;
}

// m must be at most kMaxMantissa and scale at most kMaxScale; a zero is never negative.
[[nodiscard]] constexpr Amount make_amount(Uint128 m, unsigned scale, bool negative) noexcept {
  return Amount{static_cast<std::uint64_t>(m), static_cast<std::uint32_t>(m >> 64),
                static_cast<std::uint8_t>(scale), negative && m != 0};
}

}  // namespace varnok::detail
