// BLAKE2b from RFC 7693: 128-byte blocks, 12 rounds of the G function; one message at a
// time, or eight side by side in vector lanes.
#include "blake2b.hpp"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>

namespace varnok::native {
namespace {

constexpr std::array<std::uint64_t, 8> kIv = {
    0x6a09e667f3bcc908, 0xbb67ae8584caa73b, 0x3c6ef372fe94f82b, 0xa54ff53a5f1d36f1,
    0x510e527fade682d1, 0x9b05688c2b3e6c1f, 0x1f83d9abfb41bd6b, 0x5be0cd19137e2179,
};

constexpr std::uint8_t kSigma[12][16] = {
    {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15}, {14, 10, 4, 8, 9, 15, 13, 6, 1, 12, 0, 2, 11, 7, 5, 3},
    {11, 8, 12, 0, 5, 2, 15, 13, 10, 14, 3, 6, 7, 1, 9, 4}, {7, 9, 3, 1, 13, 12, 11, 14, 2, 6, 5, 10, 4, 0, 15, 8},
    {9, 0, 5, 7, 2, 4, 10, 15, 14, 1, 11, 12, 6, 8, 3, 13}, {2, 12, 6, 10, 0, 11, 8, 3, 4, 13, 7, 5, 15, 14, 1, 9},
    {12, 5, 1, 15, 14, 13, 4, 10, 0, 7, 6, 3, 9, 2, 8, 11}, {13, 11, 7, 14, 12, 1, 3, 9, 5, 0, 15, 4, 8, 6, 2, 10},
    {6, 15, 14, 9, 11, 3, 0, 8, 12, 2, 13, 7, 1, 4, 10, 5}, {10, 2, 8, 4, 7, 6, 1, 5, 15, 11, 9, 14, 3, 12, 13, 0},
    {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15}, {14, 10, 4, 8, 9, 15, 13, 6, 1, 12, 0, 2, 11, 7, 5, 3},
};

constexpr std::size_t kDigestBytes = 16;

// G and the twelve rounds, for one 64-bit word (one message) or a vector of them (one
// message per lane). Vectors pass by reference only: a vector argument or result would be
// an ABI question between the targets the lanes are compiled for.
template <int n, class Word>
[[gnu::always_inline]] inline void xor_rotr(Word& x, const Word& y) noexcept {
  x ^= y;
  x = (x >> n) | (x << (64 - n));
}

template <class Word>
[[gnu::always_inline]] inline void mix(Word* v, int a, int b, int c, int d, const Word& x, const Word& y) noexcept {
  v[a] += v[b] + x;
  xor_rotr<32>(v[d], v[a]);
  v[c] += v[d];
  xor_rotr<24>(v[b], v[c]);
  v[a] += v[b] + y;
  xor_rotr<16>(v[d], v[a]);
  v[c] += v[d];
  xor_rotr<63>(v[b], v[c]);
}

template <class Word>
[[gnu::always_inline]] inline void rounds(Word* v, const Word* m) noexcept {
#pragma GCC unroll 12
  for (const auto& s : kSigma) {
    mix(v, 0, 4, 8, 12, m[s[0]], m[s[1]]);
    mix(v, 1, 5, 9, 13, m[s[2]], m[s[3]]);
    mix(v, 2, 6, 10, 14, m[s[4]], m[s[5]]);
    mix(v, 3, 7, 11, 15, m[s[6]], m[s[7]]);
    mix(v, 0, 5, 10, 15, m[s[8]], m[s[9]]);
    mix(v, 1, 6, 11, 12, m[s[10]], m[s[11]]);
    mix(v, 2, 7, 8, 13, m[s[12]], m[s[13]]);
    mix(v, 3, 4, 9, 14, m[s[14]], m[s[15]]);
  }
}

// One block; `counter` is the number of input bytes up to and including it.
void compress(std::array<std::uint64_t, 8>& h, const char* block, std::uint64_t counter, bool last) noexcept {
  std::uint64_t m[16];
  std::memcpy(m, block, sizeof m);
  if constexpr (std::endian::native == std::endian::big)
    for (auto& word : m) word = std::byteswap(word);
  std::uint64_t v[16];
  std::copy(h.begin(), h.end(), v);
  std::copy(kIv.begin(), kIv.end(), v + 8);
  v[12] ^= counter;
  if (last) v[14] = ~v[14];
  rounds(v, m);
  for (int i = 0; i < 8; ++i) h[i] ^= v[i] ^ v[i + 8];
}

}  // namespace

Digest128 blake2b_128(std::string_view bytes) noexcept {
  constexpr std::size_t kBlock = 128;
  std::array<std::uint64_t, 8> h = kIv;
  h[0] ^= 0x01010000 ^ kDigestBytes;
  std::size_t done = 0;
  // Every full block but the last is compressed in place; the last one, padded, is final.
  while (bytes.size() - done > kBlock) {
    compress(h, bytes.data() + done, done + kBlock, false);
    done += kBlock;
  }
  char last[kBlock] = {};
  std::memcpy(last, bytes.data() + done, bytes.size() - done);
  compress(h, last, bytes.size(), true);
  Digest128 digest;
  for (std::size_t i = 0; i < kDigestBytes; ++i) digest[i] = static_cast<std::uint8_t>(h[i / 8] >> (8 * (i % 8)));
  return digest;
}

namespace {

// Eight 64-bit lanes, one message each. GCC lowers the operations to one AVX-512
// instruction, two AVX2 ones or four SSE2 ones, as the function's target allows.
using Lanes = std::uint64_t __attribute__((vector_size(64)));
constexpr std::size_t kLanes = 8;
static_assert(kLanes == kBlake2bLanes);

// The digests of up to eight messages. Lane i takes block b of message i while it has
// one; a lane whose message is done computes on but keeps its state (masked).
[[gnu::always_inline]] inline void hash_lanes(std::span<const std::string_view> messages,
                                              std::span<Digest128> digests) noexcept {
  constexpr std::size_t kBlock = 128;
  const std::size_t count = messages.size();
  std::size_t blocks[kLanes] = {};
  std::size_t most = 0;
  for (std::size_t i = 0; i < count; ++i) {
    blocks[i] = messages[i].empty() ? 1 : (messages[i].size() + kBlock - 1) / kBlock;
    most = std::max(most, blocks[i]);
  }
  Lanes h[8];
  for (int j = 0; j < 8; ++j) h[j] = Lanes{} + kIv[j];
  h[0] ^= Lanes{} + (0x01010000 ^ kDigestBytes);
  alignas(64) char padded[kLanes][kBlock];
  for (std::size_t b = 0; b < most; ++b) {
    const char* block[kLanes];
    Lanes counter{};
    Lanes last{};
    Lanes active{};
    for (std::size_t i = 0; i < kLanes; ++i) {
      block[i] = padded[i];
      if (i >= count || b >= blocks[i]) continue;
      const std::string_view m = messages[i];
      active[i] = ~std::uint64_t{0};
      if (b + 1 < blocks[i]) {
        block[i] = m.data() + b * kBlock;
        counter[i] = (b + 1) * kBlock;
      } else {
        std::memset(padded[i], 0, kBlock);
        std::memcpy(padded[i], m.data() + b * kBlock, m.size() - b * kBlock);
        counter[i] = m.size();
        last[i] = ~std::uint64_t{0};
      }
    }
    Lanes m[16];
    for (std::size_t w = 0; w < 16; ++w) {
      for (std::size_t i = 0; i < kLanes; ++i) {
        std::uint64_t word;
        std::memcpy(&word, block[i] + 8 * w, 8);
        if constexpr (std::endian::native == std::endian::big) word = std::byteswap(word);
        m[w][i] = word;
      }
    }
    Lanes v[16];
    for (int j = 0; j < 8; ++j) {
      v[j] = h[j];
      v[j + 8] = Lanes{} + kIv[j];
    }
    v[12] ^= counter;
    v[14] ^= last;
    rounds(v, m);
    for (int j = 0; j < 8; ++j) h[j] ^= (v[j] ^ v[j + 8]) & active;
  }
  for (std::size_t i = 0; i < count; ++i) {
    for (std::size_t k = 0; k < kDigestBytes; ++k) {
      digests[i][k] = static_cast<std::uint8_t>(h[k / 8][i] >> (8 * (k % 8)));
    }
  }
}

#if defined(__x86_64__) && defined(__GNUC__)
[[gnu::target("avx512f")]] void hash_lanes_avx512(std::span<const std::string_view> messages,
                                                   std::span<Digest128> digests) noexcept {
  hash_lanes(messages, digests);
}
[[gnu::target("avx2")]] void hash_lanes_avx2(std::span<const std::string_view> messages,
                                             std::span<Digest128> digests) noexcept {
  hash_lanes(messages, digests);
}
#endif

}  // namespace

void blake2b_128_lanes(std::span<const std::string_view> messages, std::span<Digest128> digests) noexcept {
#if defined(__x86_64__) && defined(__GNUC__)
  // Below four messages the lanes would mostly compute for nothing.
  if (messages.size() >= 4 && messages.size() <= kLanes) {
    static const bool avx512 = __builtin_cpu_supports("avx512f");
    static const bool avx2 = __builtin_cpu_supports("avx2");
    if (avx512) return hash_lanes_avx512(messages, digests);
    if (avx2) return hash_lanes_avx2(messages, digests);
  }
#endif
  for (std::size_t i = 0; i < messages.size(); ++i) digests[i] = blake2b_128(messages[i]);
}

}  // namespace varnok::native
