// UTF-8 validation: text of ASCII and two-byte sequences (Cyrillic) is checked 16 bytes at
// a time with word masks (64 at a time with AVX2 where the machine has it, where a block
// with longer sequences is checked by the published three-table lookup of Keiser and
// Lemire); other blocks, and the tail, one character at a time.
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

// table[index] for each byte (index 0 ... 15).
VARNOK_AVX2_TARGET __m256i lookup16(__m128i table, __m256i index) noexcept {
  return _mm256_shuffle_epi8(_mm256_broadcastsi128_si256(table), index);
}

// The errors of 32 bytes `in` after the 32 bytes `prev`, as the lookup finds them: each
// byte pair (the byte before, this byte) is classed by three 16-entry tables, whose common
// bits are the pair's errors; the pairs inside three- and four-byte sequences are then told
// by whether the byte two or three before is a long lead. Nonzero bytes where invalid, except
// for a sequence cut at the end of `in` (see incomplete_at_end).
VARNOK_AVX2_TARGET __m256i lookup_errors(__m256i in, __m256i prev) noexcept {
  constexpr char kTooShort = 1 << 0, kTooLong = 1 << 1, kOverlong3 = 1 << 2, kTooLarge = 1 << 3,
                 kSurrogate = 1 << 4, kOverlong2 = 1 << 5, kTooLarge1000 = 1 << 6, kOverlong4 = 1 << 6;
  constexpr char kTwoConts = static_cast<char>(1 << 7);
  constexpr char kCarry = kTooShort | kTooLong | kTwoConts;
  constexpr char kLarge = kCarry | kTooLarge | kTooLarge1000;
  // By the high nibble of the byte before.
  const __m128i first_high = _mm_setr_epi8(kTooLong, kTooLong, kTooLong, kTooLong, kTooLong, kTooLong, kTooLong,
                                           kTooLong, kTwoConts, kTwoConts, kTwoConts, kTwoConts,
                                           kTooShort | kOverlong2, kTooShort, kTooShort | kOverlong3 | kSurrogate,
                                           kTooShort | kTooLarge | kTooLarge1000 | kOverlong4);
  // By the low nibble of the byte before.
  const __m128i first_low = _mm_setr_epi8(kCarry | kOverlong3 | kOverlong2 | kOverlong4, kCarry | kOverlong2, kCarry,
                                          kCarry, kCarry | kTooLarge, kLarge, kLarge, kLarge, kLarge, kLarge, kLarge,
                                          kLarge, kLarge, kLarge | kSurrogate, kLarge, kLarge);
  // By the high nibble of this byte.
  constexpr char kContinuation = kTooLong | kOverlong2 | kTwoConts;
  const __m128i second_high = _mm_setr_epi8(
      kTooShort, kTooShort, kTooShort, kTooShort, kTooShort, kTooShort, kTooShort, kTooShort,
      kContinuation | kOverlong3 | kTooLarge1000 | kOverlong4, kContinuation | kOverlong3 | kTooLarge,
      kContinuation | kSurrogate | kTooLarge, kContinuation | kSurrogate | kTooLarge, kTooShort, kTooShort, kTooShort,
      kTooShort);
  const __m256i nibble = _mm256_set1_epi8(0x0F);
  const __m256i joined = _mm256_permute2x128_si256(prev, in, 0x21);  // prev's high half, in's low
  const __m256i prev1 = _mm256_alignr_epi8(in, joined, 15);
  const __m256i prev2 = _mm256_alignr_epi8(in, joined, 14);
  const __m256i prev3 = _mm256_alignr_epi8(in, joined, 13);
  const __m256i special = _mm256_and_si256(
      _mm256_and_si256(lookup16(first_high, _mm256_and_si256(_mm256_srli_epi16(prev1, 4), nibble)),
                       lookup16(first_low, _mm256_and_si256(prev1, nibble))),
      lookup16(second_high, _mm256_and_si256(_mm256_srli_epi16(in, 4), nibble)));
  // 0x80 where the byte two before is a three- or four-byte lead, or three before a four-byte one.
  const __m256i third = _mm256_subs_epu8(prev2, _mm256_set1_epi8(static_cast<char>(0xE0 - 0x80)));
  const __m256i fourth = _mm256_subs_epu8(prev3, _mm256_set1_epi8(static_cast<char>(0xF0 - 0x80)));
  const __m256i must_continue = _mm256_and_si256(_mm256_or_si256(third, fourth), _mm256_set1_epi8(static_cast<char>(0x80)));
  return _mm256_xor_si256(must_continue, special);
}

// How many bytes before `end` the character cut at `end` starts (0: none is cut).
std::size_t incomplete_at_end(const unsigned char* end) noexcept {
  if (end[-1] >= 0xC0) return 1;
  if (end[-2] >= 0xE0) return 2;
  if (end[-3] >= 0xF0) return 3;
  return 0;
}

// The blocks of 64 bytes, with the word masks' rule on 64-bit masks, or the lookup for a
// block with a longer sequence. Returns where the rest (under 64 bytes, from a character's
// start) is to be checked, or nullptr when the text is invalid.
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
      // A lead of three or four bytes ("№", "€"): the lookup, on the 64 bytes from the
      // character's start (the lead the block before ended with), and the next block from
      // the start of a character this one cuts.
      p -= carry;
      carry = 0;
      const __m256i first = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
      const __m256i second = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + 32));
      const __m256i errors = _mm256_or_si256(lookup_errors(first, _mm256_setzero_si256()), lookup_errors(second, first));
      if (!_mm256_testz_si256(errors, errors)) return nullptr;
      p += 64 - incomplete_at_end(p + 64);
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
