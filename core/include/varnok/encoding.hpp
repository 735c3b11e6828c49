// The encoding label of a read: UTF-8 for input that is UTF-8, windows-1251 for every other
// (UTF-16 with its byte-order mark too, which is decoded as such but labelled so).
#pragma once

#include <cstdint>
#include <string_view>

namespace varnok {

enum class Encoding : std::uint8_t { Utf8, Cp1251 };

// "utf-8" or "cp1251". Never throws.
[[nodiscard]] constexpr std::string_view name(Encoding e) noexcept {
  return e == Encoding::Utf8 ? "utf-8" : "cp1251";
}

}  // namespace varnok
