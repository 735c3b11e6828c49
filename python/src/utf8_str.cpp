// new_str_from_utf8: one pass for the character count and the largest byte, then one
// allocation at the final kind, filled by decoding.
#include "utf8_str.hpp"

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#include <immintrin.h>
#define VARNOK_UTF8_STR_AVX512 1
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
    // Continuation bytes, 0x80–0xBF, are the signed bytes below -64. Each block adds one
    // (a compare's -1 subtracted) to its lanes' counts, summed before they can overflow:
    // no popcount, which the baseline instruction set lacks (a library call per block).
    const __m128i below = _mm_set1_epi8(-64);
    while (i + 16 <= n) {
      __m128i counts = _mm_setzero_si128();
      for (int round = 0; round < 255 && i + 16 <= n; ++round, i += 16) {
        const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
        max = _mm_max_epu8(max, block);
        counts = _mm_sub_epi8(counts, _mm_cmplt_epi8(block, below));
      }
      const __m128i sums = _mm_sad_epu8(counts, _mm_setzero_si128());
      continuations += static_cast<std::size_t>(_mm_cvtsi128_si32(sums) + _mm_extract_epi16(sums, 4));
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

#if defined(VARNOK_UTF8_STR_AVX512)
#define VARNOK_AVX512_TARGET __attribute__((target("avx512f,avx512bw,avx512vl,avx512vbmi2,bmi,bmi2,popcnt")))

// The bytes of p[0, n) from `offset` on, 32 at most, zeros after the end; none read past it.
VARNOK_AVX512_TARGET __m256i load_up_to_32(const unsigned char* p, std::size_t n, std::size_t offset) noexcept {
  if (offset >= n) return _mm256_setzero_si256();  // (no pointer past the end is formed)
  const std::size_t left = n - offset;
  const __mmask32 in = left >= 32 ? ~__mmask32{0} : _bzhi_u32(~0U, static_cast<unsigned>(left));
  return _mm256_maskz_loadu_epi8(in, p + offset);
}

// 32 bytes a step: every byte's 16-bit value as if it led a one-, two- or three-byte
// sequence (from itself and the next two bytes), of which a compress keeps those of the
// bytes that are not continuations. The continuations must be exactly those the leads
// ask for, or the text is malformed (false). No four-byte forms (the caller's kind).
template <class Unit>
VARNOK_AVX512_TARGET bool decode_into_avx512(const unsigned char* p, std::size_t n, Unit* out) noexcept {
  const __m256i top2 = _mm256_set1_epi8(static_cast<char>(0xC0));
  const __m256i continuation = _mm256_set1_epi8(static_cast<char>(0x80));
  const __m512i low6 = _mm512_set1_epi16(0x3F), low5 = _mm512_set1_epi16(0x1F);
  std::uint64_t asked = 0;  // continuations a block's leads ask of the next block
  for (std::size_t i = 0; i < n; i += 32) {
    const std::size_t left = n - i;
    const __mmask32 in = left >= 32 ? ~__mmask32{0} : _bzhi_u32(~0U, static_cast<unsigned>(left));
    const __m256i a8 = load_up_to_32(p, n, i);
    const __mmask32 trail = _mm256_cmpeq_epi8_mask(_mm256_and_si256(a8, top2), continuation);
    const __mmask32 lead3 = _mm256_cmpge_epu8_mask(a8, _mm256_set1_epi8(static_cast<char>(0xE0)));
    const __mmask32 lead2 = _mm256_cmpge_epu8_mask(a8, top2) & ~lead3;
    const std::uint64_t expected = asked | (std::uint64_t{lead2 | lead3} << 1) | (std::uint64_t{lead3} << 2);
    if (trail != static_cast<__mmask32>(expected & in)) return false;
    if (left < 32 && (expected >> left) != 0) return false;  // a character cut by the text's end
    asked = expected >> 32;
    const __m512i a = _mm512_cvtepu8_epi16(a8);
    const __m512i b = _mm512_and_si512(_mm512_cvtepu8_epi16(load_up_to_32(p, n, i + 1)), low6);
    const __m512i c = _mm512_and_si512(_mm512_cvtepu8_epi16(load_up_to_32(p, n, i + 2)), low6);
    const __m512i two = _mm512_or_si512(_mm512_slli_epi16(_mm512_and_si512(a, low5), 6), b);
    const __m512i three = _mm512_or_si512(_mm512_or_si512(_mm512_slli_epi16(a, 12), _mm512_slli_epi16(b, 6)), c);
    const __m512i value = _mm512_mask_blend_epi16(lead3, _mm512_mask_blend_epi16(lead2, a, two), three);
    const __mmask32 keep = in & ~trail;
    const auto count = static_cast<unsigned>(std::popcount(keep));
    // Stored with a mask of the count: a full-width store could pass the str's end.
    if constexpr (sizeof(Unit) == 2) {
      _mm512_mask_storeu_epi16(out, _bzhi_u32(~0U, count), _mm512_maskz_compress_epi16(keep, value));
    } else {
      const __m256i narrow = _mm512_cvtepi16_epi8(value);
      _mm256_mask_storeu_epi8(out, _bzhi_u32(~0U, count), _mm256_maskz_compress_epi8(keep, narrow));
    }
    out += count;
  }
  return asked == 0;
}

bool has_avx512() noexcept {
  static const bool has = __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
                          __builtin_cpu_supports("avx512vl") && __builtin_cpu_supports("avx512vbmi2") &&
                          __builtin_cpu_supports("bmi2");
  return has;
}
#endif

template <class Unit>
bool decode_text(std::string_view text, Unit* out, std::size_t chars) noexcept {
  const auto* p = reinterpret_cast<const unsigned char*>(text.data());
#if defined(VARNOK_UTF8_STR_AVX512)
  // Below a block the plain loop is as quick.
  if (text.size() >= 16 && has_avx512()) return decode_into_avx512(p, text.size(), out);
#endif
  return decode_into(p, p + text.size(), out, chars);
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
  const bool filled = wide ? decode_text(text, PyUnicode_2BYTE_DATA(str), shape.chars)
                           : decode_text(text, PyUnicode_1BYTE_DATA(str), shape.chars);
  if (filled) return str;
  Py_DECREF(str);
  return general_decode(text);
}

}  // namespace varnok::py
