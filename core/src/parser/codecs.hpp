// The decoders behind decode_input: UTF-8 validation, and windows-1251 / UTF-16 to UTF-8.
#pragma once

#include <bit>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>

namespace varnok::detail {

// Eight bytes as a word whose byte i is bits 8i..8i+7, whatever the machine: the codecs'
// word masks are written for that order.
[[nodiscard]] inline std::uint64_t load_le(const unsigned char* p) noexcept {
  std::uint64_t w;
  std::memcpy(&w, p, sizeof w);
  if constexpr (std::endian::native == std::endian::big) w = std::byteswap(w);
  return w;
}

// True when bytes are well-formed UTF-8: no overlong forms, no surrogates, nothing above
// U+10FFFF, no truncated sequence at the end.
[[nodiscard]] bool is_valid_utf8(std::string_view bytes) noexcept;
// is_valid_utf8 without the vector path that machines with AVX2 take (for tests).
[[nodiscard]] bool is_valid_utf8_portable(std::string_view bytes) noexcept;

// windows-1251 to UTF-8 by the WHATWG index (0x98 maps to U+0098); cannot fail.
// Allocates the exact output size once.
[[nodiscard]] std::string decode_cp1251(std::string_view bytes);
// The same into `out`, replacing its contents, for a buffer that is reused: its room is
// made for three bytes per byte instead of counted, so the bytes are read once (pages
// never written are never touched).
void decode_cp1251_into(std::string_view bytes, std::string& out);
// The character windows-1251 makes of one byte.
[[nodiscard]] char32_t cp1251_code_point(unsigned char byte) noexcept;
// decode_cp1251 without the vector path that machines with AVX-512 VBMI2 take (for tests).
[[nodiscard]] std::string decode_cp1251_portable(std::string_view bytes);

// UTF-16 (without its byte-order mark) to UTF-8; nullopt on an unpaired surrogate or an
// odd trailing byte.
[[nodiscard]] std::optional<std::string> decode_utf16(std::string_view bytes, bool big_endian);

}  // namespace varnok::detail
