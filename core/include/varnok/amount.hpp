// A signed fixed-point decimal with a 96-bit mantissa that keeps the scale it was read with.
#pragma once

#include <cstdint>

namespace varnok {

// value = mantissa / 10^scale, negated when `negative`; mantissa = high * 2^64 + low.
// `negative` is never set for a zero mantissa; scale is 0 … 28.
struct Amount {
  std::uint64_t mantissa_low = 0;
  std::uint32_t mantissa_high = 0;
  std::uint8_t scale = 0;
  bool negative = false;

  // Numeric equality: 100.5 == 100.50. The scale only matters for display.
  friend bool operator==(const Amount& a, const Amount& b) noexcept;
};

}  // namespace varnok
