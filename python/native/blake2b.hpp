// BLAKE2b (RFC 7693) with a 16-byte digest and no key: the documents'
// fingerprints, which must equal hashlib.blake2b(digest_size=16) in the Python package.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

namespace varnok::native {

// The 16-byte BLAKE2b digest of `bytes`.
[[nodiscard]] std::array<std::uint8_t, 16> blake2b_128(std::string_view bytes) noexcept;

}  // namespace varnok::native
