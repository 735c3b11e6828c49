// BLAKE2b from RFC 7693: 128-byte blocks, 12 rounds of the G function.
#include "blake2b.hpp"

#include <algorithm>
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

inline void mix(std::uint64_t* v, int a, int b, int c, int d, std::uint64_t x, std::uint64_t y) noexcept {
  v[a] = v[a] + v[b] + x;
  v[d] = std::rotr(v[d] ^ v[a], 32);
  v[c] = v[c] + v[d];
  v[b] = std::rotr(v[b] ^ v[c], 24);
  v[a] = v[a] + v[b] + y;
  v[d] = std::rotr(v[d] ^ v[a], 16);
  v[c] = v[c] + v[d];
  v[b] = std::rotr(v[b] ^ v[c], 63);
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
  for (int i = 0; i < 8; ++i) h[i] ^= v[i] ^ v[i + 8];
}

}  // namespace

std::array<std::uint8_t, 16> blake2b_128(std::string_view bytes) noexcept {
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
  std::array<std::uint8_t, kDigestBytes> digest;
  for (std::size_t i = 0; i < kDigestBytes; ++i) digest[i] = static_cast<std::uint8_t>(h[i / 8] >> (8 * (i % 8)));
  return digest;
}

}  // namespace varnok::native
