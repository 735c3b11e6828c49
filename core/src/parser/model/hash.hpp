// The string hash of the maps filled from input (attribute keys, account numbers).
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

namespace varnok::detail {

// Chosen once per process, so that the hash of a text cannot be known in advance and a
// crafted input cannot make every key collide.
[[nodiscard]] std::uint64_t hash_seed() noexcept;

// A seeded multiply-mix over 8-byte words; keys are short, so this is a few multiplications.
[[nodiscard]] inline std::uint64_t hash_text(std::string_view text, std::uint64_t seed) noexcept {
  constexpr std::uint64_t kMul = 0x9E3779B97F4A7C15ull;
  std::uint64_t h = seed ^ (text.size() * kMul);
  const char* p = text.data();
  std::size_t n = text.size();
  for (; n >= 8; p += 8, n -= 8) {
    std::uint64_t w;
    std::memcpy(&w, p, sizeof w);
    h = std::rotl((h ^ w) * kMul, 29);
  }
  if (n > 0) {
    std::uint64_t tail = 0;
    std::memcpy(&tail, p, n);
    h = std::rotl((h ^ tail) * kMul, 29);
  }
  h ^= h >> 32;
  h *= 0xD6E8FEB86659FD93ull;
  h ^= h >> 32;
  return h;
}

[[nodiscard]] inline std::uint64_t hash_text(std::string_view text) noexcept { return hash_text(text, hash_seed()); }

}  // namespace varnok::detail
