// BLAKE2b (RFC 7693) with a 16-byte digest and no key: the documents'
// fingerprints, which must equal hashlib.blake2b(digest_size=16) in the Python package.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

namespace varnok::native {

using Digest128 = std::array<std::uint8_t, 16>;

// The 16-byte BLAKE2b digest of `bytes`.
[[nodiscard]] Digest128 blake2b_128(std::string_view bytes) noexcept;

// How many messages blake2b_128_lanes hashes side by side.
inline constexpr std::size_t kBlake2bLanes = 8;

// digests[i] = blake2b_128(messages[i]) for up to kBlake2bLanes messages (the spans are of
// equal size): one message per SIMD lane where the CPU has AVX-512 or AVX2, so that a batch
// of documents costs little more than its longest one. Else one after another.
void blake2b_128_lanes(std::span<const std::string_view> messages, std::span<Digest128> digests) noexcept;

}  // namespace varnok::native
