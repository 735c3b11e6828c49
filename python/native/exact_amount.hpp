// Exact sums of the core's amounts for varnok check's reconciliation, and their text as
// Python's Decimal shows it (the Python package reconciles in Decimal; the two must agree).
#pragma once

#include <optional>
#include <string>

#include "core_api.hpp"

namespace varnok::native {

__extension__ using Int128 = __int128;

// value = units / 10^scale. The core's amounts (96-bit mantissas, scale 0 ... 28) always
// fit; a sum or a rescale that would leave 128 bits is nullopt, never wrapped.
struct ExactAmount {
  Int128 units = 0;
  int scale = 0;
};

[[nodiscard]] ExactAmount exact(const Amount& a) noexcept;

// a + b and a - b at the larger scale (as Decimal keeps the smaller exponent); nullopt
// beyond 128 bits.
[[nodiscard]] std::optional<ExactAmount> add(ExactAmount a, ExactAmount b) noexcept;
[[nodiscard]] std::optional<ExactAmount> subtract(ExactAmount a, ExactAmount b) noexcept;

// a at `scale` (no larger than its own), for a value with no more places than that.
[[nodiscard]] ExactAmount with_fewer_places(ExactAmount a, int scale) noexcept;

// Numeric equality (1.5 == 1.50); nullopt when the two cannot be brought to one scale.
[[nodiscard]] std::optional<bool> same_value(ExactAmount a, ExactAmount b) noexcept;

// The text str(Decimal) gives: plain digits ("1500.00", "-0.5", "0"), or scientific form
// when the value has more than six zeros after the point before its digits ("1E-7", "0E-8").
[[nodiscard]] std::string decimal_text(ExactAmount a);

}  // namespace varnok::native
