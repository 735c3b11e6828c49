// Text helpers at the bottom of the parser: trimming of Unicode White_Space (U+0009–U+000D,
// U+0020, U+0085, U+00A0, U+1680, U+2000–U+200A, U+2028, U+2029, U+202F, U+205F, U+3000) on
// UTF-8 text, as the format trims lines, keys and values.
#pragma once

#include <string_view>

namespace varnok {

namespace detail {
[[nodiscard]] std::string_view trim_left_slow(std::string_view s) noexcept;
[[nodiscard]] std::string_view trim_right_slow(std::string_view s) noexcept;

// Which bytes can be the first, and which the last, byte of a White_Space character in
// UTF-8; most lines start and end with neither, which is decided inline.
struct SpaceEdges {
  bool first[256];
  bool last[256];
  bool before_last[256];  // the byte before a last one of 0x80 and up
};
inline constexpr SpaceEdges kSpaceEdges = [] {
  SpaceEdges e{};
  for (unsigned b : {0x09u, 0x0Au, 0x0Bu, 0x0Cu, 0x0Du, 0x20u}) e.first[b] = e.last[b] = true;
  for (unsigned b : {0xC2u, 0xE1u, 0xE2u, 0xE3u}) e.first[b] = true;
  for (unsigned b = 0x80; b <= 0x8A; ++b) e.last[b] = true;
  for (unsigned b : {0x9Fu, 0xA0u, 0xA8u, 0xA9u, 0xAFu}) e.last[b] = true;
  // C2 leads the two-byte spaces; 80, 81 and 9A are the middle of the three-byte ones.
  for (unsigned b : {0xC2u, 0x80u, 0x81u, 0x9Au}) e.before_last[b] = true;
  return e;
}();
}  // namespace detail

// Trimming of White_Space on UTF-8 text; the results view the argument.
[[nodiscard]] inline std::string_view trim_left(std::string_view s) noexcept {
  if (s.empty() || !detail::kSpaceEdges.first[static_cast<unsigned char>(s.front())]) return s;
  return detail::trim_left_slow(s);
}
[[nodiscard]] inline std::string_view trim_right(std::string_view s) noexcept {
  if (s.empty()) return s;
  const auto last = static_cast<unsigned char>(s.back());
  if (!detail::kSpaceEdges.last[last]) return s;
  // Many Cyrillic letters end in the same bytes as the wide spaces, after D0 or D1.
  if (last >= 0x80 && (s.size() < 2 || !detail::kSpaceEdges.before_last[static_cast<unsigned char>(s[s.size() - 2])])) {
    return s;
  }
  return detail::trim_right_slow(s);
}
[[nodiscard]] inline std::string_view trim(std::string_view s) noexcept { return trim_right(trim_left(s)); }
// True when s is empty after trimming.
[[nodiscard]] inline bool is_blank(std::string_view s) noexcept { return trim(s).empty(); }

}  // namespace varnok
