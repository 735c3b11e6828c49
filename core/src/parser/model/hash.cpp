// The per-process hash seed.
#include "parser/model/hash.hpp"

#include <chrono>

namespace varnok::detail {

namespace {
const char kAnchor = 0;
}  // namespace

std::uint64_t hash_seed() noexcept {
  // The load address (randomised by the loader) and the time of the first use; no
  // system call that could fail.
  static const std::uint64_t seed = [] {
    const auto ticks = static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
    const auto anchor = static_cast<std::uint64_t>(reinterpret_cast<std::uintptr_t>(&kAnchor));
    std::uint64_t s = ticks * 0x9E3779B97F4A7C15ull ^ anchor;
    s ^= s >> 31;
    s *= 0xBF58476D1CE4E5B9ull;
    return s ^ (s >> 29);
  }();
  return seed;
}

}  // namespace varnok::detail
