// windows-1251 to UTF-8: the WHATWG index for 0x80–0xFF, with an ASCII fast path.
#include <array>
#include <cstdint>
#include <cstring>

#include "parser/codecs.hpp"

namespace varnok::detail {

namespace {

// Code points of the bytes 0x80–0xFF. 0x98 is unassigned in the legacy code page and
// maps to U+0098 in the index.
constexpr std::array<char16_t, 128> kHighHalf = {
    0x0402, 0x0403, 0x201A, 0x0453, 0x201E, 0x2026, 0x2020, 0x2021,  //
    0x20AC, 0x2030, 0x0409, 0x2039, 0x040A, 0x040C, 0x040B, 0x040F,  //
    0x0452, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  //
    0x0098, 0x2122, 0x0459, 0x203A, 0x045A, 0x045C, 0x045B, 0x045F,  //
    0x00A0, 0x040E, 0x045E, 0x0408, 0x00A4, 0x0490, 0x00A6, 0x00A7,  //
    0x0401, 0x00A9, 0x0404, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x0407,  //
    0x00B0, 0x00B1, 0x0406, 0x0456, 0x0491, 0x00B5, 0x00B6, 0x00B7,  //
    0x0451, 0x2116, 0x0454, 0x00BB, 0x0458, 0x0405, 0x0455, 0x0457,  //
    0x0410, 0x0411, 0x0412, 0x0413, 0x0414, 0x0415, 0x0416, 0x0417,  //
    0x0418, 0x0419, 0x041A, 0x041B, 0x041C, 0x041D, 0x041E, 0x041F,  //
    0x0420, 0x0421, 0x0422, 0x0423, 0x0424, 0x0425, 0x0426, 0x0427,  //
    0x0428, 0x0429, 0x042A, 0x042B, 0x042C, 0x042D, 0x042E, 0x042F,  //
    0x0430, 0x0431, 0x0432, 0x0433, 0x0434, 0x0435, 0x0436, 0x0437,  //
    0x0438, 0x0439, 0x043A, 0x043B, 0x043C, 0x043D, 0x043E, 0x043F,  //
    0x0440, 0x0441, 0x0442, 0x0443, 0x0444, 0x0445, 0x0446, 0x0447,  //
    0x0448, 0x0449, 0x044A, 0x044B, 0x044C, 0x044D, 0x044E, 0x044F,
};

// The UTF-8 form of each high byte: up to three bytes and their count.
struct Utf8Bytes {
  std::array<char, 3> bytes;
  std::uint8_t size;
};

constexpr std::array<Utf8Bytes, 128> kUtf8 = [] {
  std::array<Utf8Bytes, 128> t{};
  for (std::size_t i = 0; i < t.size(); ++i) {
    const unsigned c = kHighHalf[i];
    if (c < 0x800) {
      t[i] = {{static_cast<char>(0xC0 | (c >> 6)), static_cast<char>(0x80 | (c & 0x3F)), 0}, 2};
    } else {
      t[i] = {{static_cast<char>(0xE0 | (c >> 12)), static_cast<char>(0x80 | ((c >> 6) & 0x3F)),
               static_cast<char>(0x80 | (c & 0x3F))},
              3};
    }
  }
  return t;
}();

constexpr std::uint64_t kHighBits = 0x8080808080808080ull;

bool ascii_word(const unsigned char* p, std::uint64_t& word) noexcept {
  std::memcpy(&word, p, sizeof word);
  return (word & kHighBits) == 0;
}

std::size_t decoded_size(const unsigned char* p, const unsigned char* end) noexcept {
  std::size_t size = static_cast<std::size_t>(end - p);
  while (p < end) {
    std::uint64_t word;
    if (end - p >= 8 && ascii_word(p, word)) {
      p += 8;
      continue;
    }
    if (*p >= 0x80) size += kUtf8[*p - 0x80].size - 1u;
    ++p;
  }
  return size;
}

}  // namespace

std::string decode_cp1251(std::string_view bytes) {
  const auto* begin = reinterpret_cast<const unsigned char*>(bytes.data());
  const auto* const end = begin + bytes.size();
  std::string out;
  // Counting first costs a cheap pass and saves over-allocating a mostly Cyrillic text.
  out.resize_and_overwrite(decoded_size(begin, end), [&](char* buf, std::size_t size) {
    char* w = buf;
    for (const unsigned char* p = begin; p < end;) {
      std::uint64_t word;
      if (end - p >= 8 && ascii_word(p, word)) {
        std::memcpy(w, &word, sizeof word);
        w += 8;
        p += 8;
        continue;
      }
      if (*p < 0x80) {
        *w++ = static_cast<char>(*p++);
        continue;
      }
      const Utf8Bytes& u = kUtf8[*p++ - 0x80];
      w[0] = u.bytes[0];
      w[1] = u.bytes[1];
      if (u.size == 3) w[2] = u.bytes[2];
      w += u.size;
    }
    return size;
  });
  return out;
}

}  // namespace varnok::detail
