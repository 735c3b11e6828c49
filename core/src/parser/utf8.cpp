// UTF-8 validation with an ASCII fast path of 8 bytes at a time.
#include <cstdint>
#include <cstring>

#include "parser/codecs.hpp"

namespace varnok::detail {

bool is_valid_utf8(std::string_view bytes) noexcept {
  const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
  const auto* const end = p + bytes.size();
  constexpr std::uint64_t kHighBits = 0x8080808080808080ull;
  while (p < end) {
    while (end - p >= 8) {
      std::uint64_t word;
      std::memcpy(&word, p, sizeof word);
      if (word & kHighBits) break;
      p += 8;
    }
    while (p < end && *p < 0x80) ++p;
    if (p == end) return true;

    const unsigned lead = *p;
    const auto left = end - p;
    auto cont = [](unsigned char b) { return (b & 0xC0) == 0x80; };
    if (lead < 0xC2) return false;  // a stray continuation byte, or an overlong C0/C1 form
    if (lead < 0xE0) {
      if (left < 2 || !cont(p[1])) return false;
      p += 2;
    } else if (lead < 0xF0) {
      // E0 needs A0.. (no overlong forms); ED needs ..9F (no surrogates).
      const unsigned lo = lead == 0xE0 ? 0xA0 : 0x80;
      const unsigned hi = lead == 0xED ? 0x9F : 0xBF;
      if (left < 3 || p[1] < lo || p[1] > hi || !cont(p[2])) return false;
      p += 3;
    } else if (lead < 0xF5) {
      // F0 needs 90.. (no overlong forms); F4 needs ..8F (nothing above U+10FFFF).
      const unsigned lo = lead == 0xF0 ? 0x90 : 0x80;
      const unsigned hi = lead == 0xF4 ? 0x8F : 0xBF;
      if (left < 4 || p[1] < lo || p[1] > hi || !cont(p[2]) || !cont(p[3])) return false;
      p += 4;
    } else {
      return false;
    }
  }
  return true;
}

}  // namespace varnok::detail
