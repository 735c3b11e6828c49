// UTF-16LE / UTF-16BE to UTF-8; a malformed sequence fails the whole text.
#include <cstdint>

#include "parser/codecs.hpp"

namespace varnok::detail {

namespace {

char* put_utf8(char* out, char32_t c) noexcept {
  if (c < 0x80) {
    *out++ = static_cast<char>(c);
  } else if (c < 0x800) {
    *out++ = static_cast<char>(0xC0 | (c >> 6));
    *out++ = static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    *out++ = static_cast<char>(0xE0 | (c >> 12));
    *out++ = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    *out++ = static_cast<char>(0x80 | (c & 0x3F));
  } else {
    *out++ = static_cast<char>(0xF0 | (c >> 18));
    *out++ = static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    *out++ = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    *out++ = static_cast<char>(0x80 | (c & 0x3F));
  }
  return out;
}

}  // namespace

std::optional<std::string> decode_utf16(std::string_view bytes, bool big_endian) {
  if (bytes.size() % 2 != 0) return std::nullopt;
  const auto* in = reinterpret_cast<const unsigned char*>(bytes.data());
  const std::size_t units = bytes.size() / 2;
  auto unit = [&](std::size_t i) -> char32_t {
    const unsigned a = in[2 * i], b = in[2 * i + 1];
    return big_endian ? (a << 8 | b) : (b << 8 | a);
  };

  // One code unit gives at most 3 UTF-8 bytes (a surrogate pair gives 4 for two units).
  std::string out;
  bool ok = true;
  out.resize_and_overwrite(units * 3, [&](char* buf, std::size_t) {
    char* w = buf;
    for (std::size_t i = 0; i < units; ++i) {
      char32_t c = unit(i);
      if (c >= 0xD800 && c <= 0xDFFF) {
        const char32_t trail = i + 1 < units ? unit(i + 1) : 0;
        if (c > 0xDBFF || trail < 0xDC00 || trail > 0xDFFF) {
          ok = false;
          break;
        }
        c = 0x10000 + ((c - 0xD800) << 10) + (trail - 0xDC00);
        ++i;
      }
      w = put_utf8(w, c);
    }
    return static_cast<std::size_t>(w - buf);
  });
  if (!ok) return std::nullopt;
  return out;
}

}  // namespace varnok::detail
