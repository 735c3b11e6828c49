// White_Space trimming on UTF-8 bytes: the slow paths, for text that starts or ends with
// a byte that can belong to a White_Space character.
#include "parser/text.hpp"

namespace varnok {

namespace {

bool is_ascii_space(unsigned char b) noexcept { return (b >= 0x09 && b <= 0x0D) || b == 0x20; }

// Length of the non-ASCII White_Space character whose UTF-8 form starts at p (n bytes
// available), or 0. Matching the encoded bytes keeps this safe on any byte string.
std::size_t wide_space_at(const unsigned char* p, std::size_t n) noexcept {
  if (n >= 2 && p[0] == 0xC2) return p[1] == 0x85 || p[1] == 0xA0 ? 2 : 0;  // U+0085 U+00A0
  if (n < 3) return 0;
  switch (p[0]) {
    case 0xE1: return p[1] == 0x9A && p[2] == 0x80 ? 3 : 0;  // U+1680
    case 0xE2:
      if (p[1] == 0x80) {
        // U+2000–U+200A, U+2028, U+2029, U+202F
        return (p[2] >= 0x80 && p[2] <= 0x8A) || p[2] == 0xA8 || p[2] == 0xA9 || p[2] == 0xAF ? 3 : 0;
      }
      return p[1] == 0x81 && p[2] == 0x9F ? 3 : 0;  // U+205F
    case 0xE3: return p[1] == 0x80 && p[2] == 0x80 ? 3 : 0;  // U+3000
    default: return 0;
  }
}

const unsigned char* bytes_of(std::string_view s) noexcept {
  return reinterpret_cast<const unsigned char*>(s.data());
}

}  // namespace

std::string_view detail::trim_left_slow(std::string_view s) noexcept {
  const unsigned char* p = bytes_of(s);
  std::size_t i = 0;
  while (i < s.size()) {
    if (is_ascii_space(p[i])) {
      ++i;
    } else if (p[i] < 0x80) {
      break;
    } else if (std::size_t len = wide_space_at(p + i, s.size() - i)) {
      i += len;
    } else {
      break;
    }
  }
  return s.substr(i);
}

std::string_view detail::trim_right_slow(std::string_view s) noexcept {
  const unsigned char* p = bytes_of(s);
  std::size_t n = s.size();
  while (n > 0) {
    const unsigned char last = p[n - 1];
    if (is_ascii_space(last)) {
      --n;
      continue;
    }
    if (last < 0x80) break;
    // A multi-byte space ends in a continuation byte; its lead is 2 or 3 bytes back.
    if (n >= 2 && wide_space_at(p + n - 2, 2) == 2) {
      n -= 2;
    } else if (n >= 3 && wide_space_at(p + n - 3, 3) == 3) {
      n -= 3;
    } else {
      break;
    }
  }
  return s.substr(0, n);
}

}  // namespace varnok
