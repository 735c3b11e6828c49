// UTF-8 validation: text of ASCII and two-byte sequences (Cyrillic) is checked 16 bytes at
// a time with word masks (64 at a time with AVX2 where the machine has it); blocks with
// longer sequences, and the tail, one character at a time.
#include <bit>
#include <cstdint>
#include <cstring>

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#include <immintrin.h>
#define VARNOK_UTF8_AVX2 1
#endif

#include "parser/codecs.hpp"

namespace varnok::detail {

namespace {

constexpr std::uint64_t kHighBits = 0x8080808080808080ull;

bool is_continuation(unsigned char b) noexcept { return (b & 0xC0) == 0x80; }

// Checks the one character starting at p (p < end); returns the position after it, or
// nullptr when it is malformed.
const unsigned char* next_character(const unsigned char* p, const unsigned char* end) noexcept {
  const unsigned lead = *p;
  const auto left = end - p;
  if (lead < 0x80) return p + 1;
  if (lead < 0xC2) return nullptr;  // a stray continuation byte, or an overlong C0/C1 form
  if (lead < 0xE0) return left >= 2 && is_continuation(p[1]) ? p + 2 : nullptr;
  if (lead < 0xF0) {
    // E0 needs A0.. (no overlong forms); ED needs ..9F (no surrogates).
    const unsigned lo = lead == 0xE0 ? 0xA0 : 0x80;
    const unsigned hi = lead == 0xED ? 0x9F : 0xBF;
    if (left < 3 || p[1] < lo || p[1] > hi || !is_continuation(p[2])) return nullptr;
    return p + 3;
  }
  if (lead < 0xF5) {
    // F0 needs 90.. (no overlong forms); F4 needs ..8F (nothing above U+10FFFF).
    const unsigned lo = lead == 0xF0 ? 0x90 : 0x80;
    const unsigned hi = lead == 0xF4 ? 0x8F : 0xBF;
    if (left < 4 || p[1] < lo || p[1] > hi || !is_continuation(p[2]) || !is_continuation(p[3])) {
      return nullptr;
    }
    return p + 4;
  }
  return nullptr;
}

bool is_valid_from(const unsigned char* p, const unsigned char* const end) noexcept {
  // Blocks of 16 bytes, checked without branches while they hold only ASCII,
  // continuations (10xxxxxx) and two-byte leads (110xxxxx): such a block is valid when
  // exactly the bytes after leads are continuations and no lead is the overlong C0 or C1.
  // `carry` is 0x80 when the byte before the block is a lead, so sequences may straddle
  // blocks. A block holding a longer lead is checked again character by character.
  constexpr std::size_t kBlock = 16;
  std::uint64_t carry = 0;
  while (static_cast<std::size_t>(end - p) >= kBlock) {
    std::uint64_t lead_before = carry;
    std::uint64_t bad = 0;
    std::uint64_t long_leads = 0;
    for (std::size_t i = 0; i < kBlock; i += 8) {
      const std::uint64_t w = load_le(p + i);
      const std::uint64_t w1 = w << 1;  // each byte's bit 6 moves to bit 7
      long_leads |= w & w1 & (w << 2);  // 111xxxxx
      const std::uint64_t leads = w & w1 & kHighBits;
      const std::uint64_t continuations = w & ~w1 & kHighBits;
      const std::uint64_t overlong = ~((w & 0x1E1E1E1E1E1E1E1Eull) + 0x7F7F7F7F7F7F7F7Full);  // C0 / C1
      bad |= (((leads << 8) | lead_before) ^ continuations) | (leads & overlong);
      lead_before = leads >> 56;
    }
    long_leads &= kHighBits;
    if ((long_leads | bad) == 0) [[likely]] {
      carry = lead_before;
      p += kBlock;
      continue;
    }
    if (long_leads == 0) return false;
    p -= carry >> 7;  // back to the lead the previous block ended with
    carry = 0;
    for (const unsigned char* stop = p + kBlock; p < stop;) {
      p = next_character(p, end);
      if (p == nullptr) return false;
    }
  }
  p -= carry >> 7;
  while (p < end) {
    p = next_character(p, end);
    if (p == nullptr) return false;
  }
  return true;
}

#if defined(VARNOK_UTF8_AVX2)

#define VARNOK_AVX2_TARGET __attribute__((target("avx2")))

// The high bit of each of the 64 bytes at p, after shifting each byte left by `shift`.
template <int shift>
VARNOK_AVX2_TARGET std::uint64_t bit_mask(__m256i lo, __m256i hi) noexcept {
  // A 16-bit shift moves each byte's bit 7 - shift to its bit 7 (what crosses into the
  // next byte lands below its bit 7, which the mask does not read).
  if constexpr (shift > 0) {
    lo = _mm256_slli_epi16(lo, shift);
    hi = _mm256_slli_epi16(hi, shift);
  }
  return static_cast<std::uint32_t>(_mm256_movemask_epi8(lo)) |
         static_cast<std::uint64_t>(static_cast<std::uint32_t>(_mm256_movemask_epi8(hi))) << 32;
}

// The blocks of 64 bytes, with the word masks' rule on 64-bit masks. Returns where the
// rest (under 64 bytes, from a character's start) is to be checked, or nullptr when the
// text is invalid.
VARNOK_AVX2_TARGET const unsigned char* valid_blocks_avx2(const unsigned char* p, const unsigned char* const end) noexcept {
  const __m256i even = _mm256_set1_epi8(static_cast<char>(0xFE)), c0 = _mm256_set1_epi8(static_cast<char>(0xC0));
  std::uint64_t carry = 0;  // 1 when the byte before p is a two-byte lead
  while (end - p >= 64) {
    const __m256i lo = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
    const __m256i hi = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + 32));
    const std::uint64_t high = bit_mask<0>(lo, hi);
    if (high == 0) {
      if (carry != 0) return nullptr;  // a lead followed by ASCII
      p += 64;
      continue;
    }
    const std::uint64_t bit6 = bit_mask<1>(lo, hi);
    const std::uint64_t leads = high & bit6;
    if ((leads & bit_mask<2>(lo, hi)) != 0) [[unlikely]] {
      // A lead of three or four bytes ("№", "€"): this block one character at a time.
      p -= carry;
      carry = 0;
      for (const unsigned char* stop = p + 64; p < stop;) {
        p = next_character(p, end);
        if (p == nullptr) return nullptr;
      }
      continue;
    }
    const std::uint64_t continuations = high & ~bit6;
    const std::uint64_t overlong = bit_mask<0>(_mm256_cmpeq_epi8(_mm256_and_si256(lo, even), c0),
                                               _mm256_cmpeq_epi8(_mm256_and_si256(hi, even), c0));
    if ((((leads << 1) | carry) ^ continuations) != 0 || overlong != 0) return nullptr;
    carry = leads >> 63;
    p += 64;
  }
  return p - carry;
}

bool has_avx2() noexcept {
  static const bool has = __builtin_cpu_supports("avx2");
  return has;
}

#endif

}  // namespace

bool is_valid_utf8(std::string_view bytes) noexcept {
  const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
  const auto* const end = p + bytes.size();
#if defined(VARNOK_UTF8_AVX2)
  if (has_avx2()) {
    p = valid_blocks_avx2(p, end);
    if (p == nullptr) return false;
  }
#endif
  return is_valid_from(p, end);
}

bool is_valid_utf8_portable(std::string_view bytes) noexcept {
  const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
  return is_valid_from(p, p + bytes.size());
}

}  // namespace varnok::detail
