// new_str_from_utf8: one pass for the character count and the largest byte, then one
// allocation at the final kind, filled by decoding.
#include "utf8_str.hpp"

#include <bit>
#include <cstddef>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace varnok::py {

namespace {

struct Shape {
  std::size_t chars = 0;    // bytes that are not continuation bytes
  unsigned max_byte = 0;    // decides the kind: the largest lead byte is the largest character's
};

Shape shape_of(const unsigned char* p, std::size_t n) noexcept {
  std::size_t continuations = 0;
  unsigned max_byte = 0;
  std::size_t i = 0;
#if defined(__SSE2__)
  if (n >= 16) {
    __m128i max = _mm_setzero_si128();
    // Continuation bytes, 0x80–0xBF, are the signed bytes below -64.
    const __m128i below = _mm_set1_epi8(-64);
    for (; i + 16 <= n; i += 16) {
      const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
      max = _mm_max_epu8(max, block);
      continuations += static_cast<std::size_t>(std::popcount(static_cast<unsigned>(
          _mm_movemask_epi8(_mm_cmplt_epi8(block, below)))));
    }
    alignas(16) unsigned char lanes[16];
    _mm_store_si128(reinterpret_cast<__m128i*>(lanes), max);
    for (unsigned char lane : lanes) max_byte = lane > max_byte ? lane : max_byte;
  }
#endif
  for (; i < n; ++i) {
    max_byte = p[i] > max_byte ? p[i] : max_byte;
    continuations += (p[i] & 0xC0) == 0x80;
  }
  return {n - continuations, max_byte};
}

// Decodes one- to three-byte sequences into `out`, which has room for exactly `chars`
// characters. False when the bytes do not fill it exactly (malformed text).
template <class Unit>
bool decode_into(const unsigned char* p, const unsigned char* const end, Unit* out, std::size_t chars) noexcept {
  Unit* const out_end = out + chars;
  while (p < end) {
    if (out == out_end) return false;
    const unsigned b = *p;
    if (b < 0x80) {
      *out++ = static_cast<Unit>(b);
      p += 1;
    } else if (b < 0xE0) {
      if (end - p < 2) return false;
      *out++ = static_cast<Unit>((b & 0x1F) << 6 | (p[1] & 0x3F));
      p += 2;
    } else {
      if (end - p < 3) return false;
      *out++ = static_cast<Unit>((b & 0x0F) << 12 | (p[1] & 0x3F) << 6 | (p[2] & 0x3F));
      p += 3;
    }
  }
  return out == out_end;
}

PyObject* general_decode(std::string_view text) noexcept {
  return PyUnicode_DecodeUTF8(text.data(), static_cast<Py_ssize_t>(text.size()), nullptr);
}

}  // namespace

PyObject* new_str_from_utf8(std::string_view text) noexcept {
  const auto* p = reinterpret_cast<const unsigned char*>(text.data());
  const Shape shape = shape_of(p, text.size());
  const auto chars = static_cast<Py_ssize_t>(shape.chars);
  // Lead bytes: C2–C3 start U+0080–U+00FF, C4–EF the rest up to U+FFFF, F0 and up four-byte
  // forms; a largest byte among 80–C1 cannot be well-formed.
  if (shape.max_byte < 0x80) {
    PyObject* str = PyUnicode_New(chars, 0x7F);
    if (str != nullptr && chars > 0) std::memcpy(PyUnicode_1BYTE_DATA(str), p, text.size());
    return str;
  }
  if (shape.max_byte >= 0xF0 || shape.max_byte < 0xC2) return general_decode(text);
  const bool wide = shape.max_byte >= 0xC4;
  PyObject* str = PyUnicode_New(chars, wide ? 0xFFFF : 0xFF);
  if (str == nullptr) return nullptr;
  const bool filled = wide ? decode_into(p, p + text.size(), PyUnicode_2BYTE_DATA(str), shape.chars)
                           : decode_into(p, p + text.size(), PyUnicode_1BYTE_DATA(str), shape.chars);
  if (filled) return str;
  Py_DECREF(str);
  return general_decode(text);
}

}  // namespace varnok::py
