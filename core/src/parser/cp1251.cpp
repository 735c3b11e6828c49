// windows-1251 to UTF-8 by the WHATWG index: a cheap counting pass for the exact size (a
// reused buffer gets room for the worst case instead), then one decoding pass through a
// table, with whole words of ASCII copied at once; on x86 machines with AVX-512 VBMI2,
// both passes take 32 or 64 bytes per step instead.
#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <cstring>

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#include <immintrin.h>
#define VARNOK_CP1251_VBMI2 1
#endif

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

// Every byte's UTF-8 form, little-endian in the low three bytes, and its length in the
// top byte. The decoder stores all four bytes and moves on by the length: no branch on
// the length, and the stray fourth byte is overwritten next or lands in the slack.
constexpr std::array<std::uint32_t, 256> kUtf8 = [] {
  std::array<std::uint32_t, 256> t{};
  for (std::uint32_t b = 0; b < 256; ++b) {
    const std::uint32_t c = b < 0x80 ? b : kHighHalf[b - 0x80];
    if (c < 0x80) {
      t[b] = c | 1u << 24;
    } else if (c < 0x800) {
      t[b] = (0xC0 | c >> 6) | (0x80 | (c & 0x3F)) << 8 | 2u << 24;
    } else {
      t[b] = (0xE0 | c >> 12) | (0x80 | ((c >> 6) & 0x3F)) << 8 | (0x80 | (c & 0x3F)) << 16 | 3u << 24;
    }
  }
  return t;
}();

// Bit i set when byte 0x80 + i takes three UTF-8 bytes; 0x80–0xBF are the only bytes
// that can (0xC0–0xFF are the letters U+0410–U+044F, two bytes each).
constexpr std::uint64_t kThreeByteMid = [] {
  std::uint64_t m = 0;
  for (std::uint32_t i = 0; i < 64; ++i) m |= std::uint64_t{kUtf8[0x80 + i] >> 24 == 3} << i;
  return m;
}();

// The decoder writes up to this many bytes past the end of the last character.
constexpr std::size_t kSlack = 3;

constexpr std::uint64_t kHighBits = 0x8080808080808080ull;
constexpr std::uint64_t kOnes = 0x0101010101010101ull;

// Bytes 0x80–0xBF in a word, as their bit 7.
std::uint64_t mid_bytes(std::uint64_t w) noexcept { return w & ~(w << 1) & kHighBits; }

// The three-byte characters among the bytes 0x80–0xBF of a word, looked up one by one.
std::size_t three_byte_mids(std::uint64_t w) noexcept {
  std::size_t n = 0;
  for (std::uint64_t m = mid_bytes(w); m != 0; m &= m - 1) {
    const auto shift = static_cast<unsigned>(std::countr_zero(m)) - 7;  // start of that byte
    n += (kThreeByteMid >> ((w >> shift) & 0x3F)) & 1;
  }
  return n;
}

// Sum of the eight byte lanes of a word, each lane at most 255.
std::size_t lane_sum(std::uint64_t acc) noexcept {
  acc = (acc & 0x00FF00FF00FF00FFull) + ((acc >> 8) & 0x00FF00FF00FF00FFull);
  return static_cast<std::size_t>((acc * 0x0001000100010001ull) >> 48);
}

// The exact UTF-8 size: one byte per input byte, one more per high byte, and one more
// per three-byte character. 32 bytes at a time: high bits are summed per byte lane, and
// the rare groups holding a byte 0x80–0xBF are looked at again.
std::size_t decoded_size(const unsigned char* p, const unsigned char* const end) noexcept {
  std::size_t size = static_cast<std::size_t>(end - p);
  while (end - p >= 32) {
    // Four words add at most 4 to a lane: 63 groups keep every lane below 256.
    const std::size_t groups = std::min<std::size_t>(static_cast<std::size_t>(end - p) / 32, 63);
    std::uint64_t acc = 0;
    for (std::size_t i = 0; i < groups; ++i, p += 32) {
      const std::uint64_t w0 = load_le(p), w1 = load_le(p + 8), w2 = load_le(p + 16), w3 = load_le(p + 24);
      acc += (w0 >> 7 & kOnes) + (w1 >> 7 & kOnes) + (w2 >> 7 & kOnes) + (w3 >> 7 & kOnes);
      if ((mid_bytes(w0) | mid_bytes(w1) | mid_bytes(w2) | mid_bytes(w3)) != 0) [[unlikely]] {
        size += three_byte_mids(w0) + three_byte_mids(w1) + three_byte_mids(w2) + three_byte_mids(w3);
      }
    }
    size += lane_sum(acc);
  }
  for (; p < end; ++p) size += (kUtf8[*p] >> 24) - 1;
  return size;
}

char* put(char* o, unsigned char b) noexcept {
  const std::uint32_t u = kUtf8[b];
  const std::uint32_t bytes = std::endian::native == std::endian::big ? std::byteswap(u) : u;
  std::memcpy(o, &bytes, sizeof bytes);
  return o + (u >> 24);
}

// Decodes into o, which has kSlack bytes of room past the decoded size; returns the end.
// Words of ASCII are copied whole. Other bytes go through the table one by one: in text,
// letter runs are short, and word paths for them cost more in mispredicted branches
// than they save.
char* decode_into(const unsigned char* p, const unsigned char* const end, char* o) noexcept {
  while (end - p >= 8) {
    std::uint64_t w;
    std::memcpy(&w, p, sizeof w);
    if ((w & kHighBits) == 0) {
      std::memcpy(o, &w, sizeof w);
      o += 8;
    } else {
      for (int i = 0; i < 8; ++i) o = put(o, p[i]);
    }
    p += 8;
  }
  while (p < end) o = put(o, *p++);
  return o;
}

#if defined(VARNOK_CP1251_VBMI2)

// The vector path. Each byte's UTF-8 lead and trail come from two 128-entry byte tables
// (one permute each), are interleaved into pairs, and a compress keeps the lead of every
// byte and the trail of the high ones. A block holding a three-byte character (a few
// punctuation signs among 0x80–0xBF, such as "№") goes through the table path.
#define VARNOK_VBMI2_TARGET __attribute__((target("avx512f,avx512bw,avx512vl,avx512vbmi,avx512vbmi2,bmi2,popcnt")))

struct alignas(64) VectorTables {
  std::array<std::uint8_t, 128> lead;   // of the bytes 0x80–0xFF
  std::array<std::uint8_t, 128> trail;
  std::array<std::uint8_t, 64> three;   // 0xFF where 0x80 + i takes three bytes
  std::array<std::uint8_t, 64> pairs;   // lead i at 2i, trail i at 2i + 1
};

constexpr VectorTables kVectorTables = [] {
  VectorTables t{};
  for (std::size_t i = 0; i < 128; ++i) {
    t.lead[i] = static_cast<std::uint8_t>(kUtf8[0x80 + i]);
    t.trail[i] = static_cast<std::uint8_t>(kUtf8[0x80 + i] >> 8);
  }
  for (std::size_t i = 0; i < 64; ++i) {
    t.three[i] = (kThreeByteMid >> i & 1) ? 0xFF : 0;
    t.pairs[i] = static_cast<std::uint8_t>(i % 2 == 0 ? i / 2 : 64 + i / 2);
  }
  return t;
}();

VARNOK_VBMI2_TARGET __m512i load64(const void* p) noexcept { return _mm512_loadu_si512(p); }

// Bytes 0x80–0xBF among `high` that take three UTF-8 bytes.
VARNOK_VBMI2_TARGET __mmask64 three_byte_mask(__m512i x, __mmask64 high, __m512i three) noexcept {
  const __mmask64 mid = high & ~_mm512_test_epi8_mask(x, _mm512_set1_epi8(0x40));
  const __m512i looked_up = _mm512_permutexvar_epi8(x, three);
  return _mm512_mask_test_epi8_mask(mid, looked_up, looked_up);
}

VARNOK_VBMI2_TARGET std::size_t decoded_size_vbmi2(const unsigned char* p, const unsigned char* const end) noexcept {
  const __m512i three = load64(kVectorTables.three.data());
  std::size_t size = static_cast<std::size_t>(end - p);
  for (; end - p >= 64; p += 64) {
    const __m512i x = load64(p);
    const __mmask64 high = _mm512_movepi8_mask(x);
    size += static_cast<std::size_t>(std::popcount(high) + std::popcount(three_byte_mask(x, high, three)));
  }
  return size + decoded_size(p, end) - static_cast<std::size_t>(end - p);
}

// Like decode_into, with `limit` the end of o's room: a vector step stores 64 bytes.
VARNOK_VBMI2_TARGET char* decode_into_vbmi2(const unsigned char* p, const unsigned char* const end, char* o,
                                            const char* const limit) noexcept {
  const __m512i lead_lo = load64(kVectorTables.lead.data()), lead_hi = load64(kVectorTables.lead.data() + 64);
  const __m512i trail_lo = load64(kVectorTables.trail.data()), trail_hi = load64(kVectorTables.trail.data() + 64);
  const __m512i three = load64(kVectorTables.three.data()), pairs = load64(kVectorTables.pairs.data());
  constexpr std::uint64_t kLeads = 0x5555555555555555ull, kTrails = 0xAAAAAAAAAAAAAAAAull;
  while (end - p >= 32 && limit - o >= 64) {
    const __m512i x = _mm512_zextsi256_si512(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(p)));
    const __mmask64 high = _mm512_movepi8_mask(x);
    if (high == 0) {
      _mm256_storeu_si256(reinterpret_cast<__m256i*>(o), _mm512_castsi512_si256(x));
      o += 32;
    } else if (three_byte_mask(x, high, three) != 0) [[unlikely]] {
      for (int i = 0; i < 32; ++i) o = put(o, p[i]);
    } else {
      // permutex2var reads the low seven bits: byte 0x80 + i finds entry i.
      const __m512i lead = _mm512_mask_blend_epi8(high, x, _mm512_permutex2var_epi8(lead_lo, x, lead_hi));
      const __m512i trail = _mm512_permutex2var_epi8(trail_lo, x, trail_hi);
      const __m512i both = _mm512_permutex2var_epi8(lead, pairs, trail);
      const __mmask64 keep = kLeads | _pdep_u64(high, kTrails);
      _mm512_storeu_si512(o, _mm512_maskz_compress_epi8(keep, both));
      o += 32 + std::popcount(high);
    }
    p += 32;
  }
  return decode_into(p, end, o);
}

bool has_vbmi2() noexcept {
  static const bool has = __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
                          __builtin_cpu_supports("avx512vl") && __builtin_cpu_supports("avx512vbmi") &&
                          __builtin_cpu_supports("avx512vbmi2") && __builtin_cpu_supports("bmi2");
  return has;
}

#endif

void decode_with(std::string_view bytes, std::string& out, bool vector) {
  const auto* begin = reinterpret_cast<const unsigned char*>(bytes.data());
  const auto* const end = begin + bytes.size();
  // Counting first keeps the buffer exact: a mostly Cyrillic text takes about twice its
  // bytes, and a worst-case reservation would take three times.
#if defined(VARNOK_CP1251_VBMI2)
  if (vector && has_vbmi2()) {
    const std::size_t size = decoded_size_vbmi2(begin, end);
    out.resize_and_overwrite(size + kSlack, [&](char* buf, std::size_t room) {
      decode_into_vbmi2(begin, end, buf, buf + room);
      return size;
    });
    return;
  }
#else
  (void)vector;
#endif
  const std::size_t size = decoded_size(begin, end);
  out.resize_and_overwrite(size + kSlack, [&](char* buf, std::size_t) {
    decode_into(begin, end, buf);
    return size;
  });
}

}  // namespace

void decode_cp1251_into(std::string_view bytes, std::string& out) {
  const auto* begin = reinterpret_cast<const unsigned char*>(bytes.data());
  const auto* const end = begin + bytes.size();
  out.clear();  // so that growing copies no stale text
  out.resize_and_overwrite(3 * bytes.size() + kSlack, [&](char* buf, std::size_t room) {
#if defined(VARNOK_CP1251_VBMI2)
    if (has_vbmi2()) return static_cast<std::size_t>(decode_into_vbmi2(begin, end, buf, buf + room) - buf);
#endif
    (void)room;
    return static_cast<std::size_t>(decode_into(begin, end, buf) - buf);
  });
}

std::string decode_cp1251(std::string_view bytes) {
  std::string out;
  decode_with(bytes, out, true);
  return out;
}

std::string decode_cp1251_portable(std::string_view bytes) {
  std::string out;
  decode_with(bytes, out, false);
  return out;
}

char32_t cp1251_code_point(unsigned char byte) noexcept {
  return byte < 0x80 ? byte : kHighHalf[byte - 0x80];
}

}  // namespace varnok::detail
