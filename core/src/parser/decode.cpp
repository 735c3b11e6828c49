// decode_input and plan_input: the empty-input test, the UTF-8 decision, and the
// fallback decoding with its plausibility check.
#include "parser/decode.hpp"

#include <algorithm>
#include <array>
#include <cstdint>
#include <optional>
#include <utility>

#include "parser/codecs.hpp"

namespace varnok {

namespace {

constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";
constexpr std::string_view kUtf16LeBom = "\xFF\xFE";
constexpr std::string_view kUtf16BeBom = "\xFE\xFF";

constexpr std::size_t kPlausibilityWindow = 20'480;
constexpr std::size_t kPlausiblePercent = 96;

// Zero bytes, or only TAB, LF, FF, CR and SPACE. VT (0x0B) makes the input non-empty.
bool is_empty_input(std::string_view bytes) noexcept {
  return std::ranges::all_of(bytes, [](char c) {
    return c == '\t' || c == '\n' || c == '\f' || c == '\r' || c == ' ';
  });
}

// Whether a character counts towards plausibility: printable ASCII, TAB LF FF CR SPACE, or
// anything at or above U+0400 (Cyrillic and the punctuation of the code pages).
constexpr bool is_plain(char32_t c) noexcept {
  if (c < 0x80) return (c >= 0x21 && c <= 0x7E) || c == '\t' || c == '\n' || c == '\f' || c == '\r' || c == ' ';
  return c >= 0x400;
}

bool plausible(std::size_t plain, std::size_t examined) noexcept {
  return examined > 0 && plain * 100 / examined >= kPlausiblePercent;
}

// Counts plain characters among the first characters of a valid UTF-8 text. The lead
// byte alone decides: 2-byte forms from D0 up are U+0400 and beyond, 3- and 4-byte forms
// always are.
bool is_plausible(std::string_view text) noexcept {
  std::size_t examined = 0;
  std::size_t plain = 0;
  for (std::size_t i = 0; i < text.size() && examined < kPlausibilityWindow; ++i) {
    const auto b = static_cast<unsigned char>(text[i]);
    if ((b & 0xC0) == 0x80) continue;  // continuation byte: same character
    ++examined;
    plain += b < 0x80 ? is_plain(b) : b >= 0xD0;
  }
  return plausible(plain, examined);
}

// The same for windows-1251 bytes, without decoding them: each byte is one character.
bool is_plausible_cp1251(std::string_view bytes) noexcept {
  static const std::array<std::uint8_t, 256> plain_byte = [] {
    std::array<std::uint8_t, 256> table{};
    for (unsigned b = 0; b < 256; ++b) table[b] = is_plain(detail::cp1251_code_point(static_cast<unsigned char>(b)));
    return table;
  }();
  const std::string_view window = bytes.substr(0, kPlausibilityWindow);
  std::size_t plain = 0;
  for (const char c : window) plain += plain_byte[static_cast<unsigned char>(c)];
  return plausible(plain, window.size());
}

bool has_mark(std::string_view bytes) noexcept {
  return bytes.starts_with(kUtf8Bom) || bytes.starts_with(kUtf16LeBom) || bytes.starts_with(kUtf16BeBom);
}

// The decoder chosen by the mark at the start of the bytes; nullopt on a malformed
// sequence.
std::optional<std::string> decode_marked(std::string_view bytes) {
  if (bytes.starts_with(kUtf8Bom)) {
    bytes.remove_prefix(kUtf8Bom.size());
    if (!detail::is_valid_utf8(bytes)) return std::nullopt;
    return std::string(bytes);
  }
  return detail::decode_utf16(bytes.substr(2), bytes.starts_with(kUtf16BeBom));
}

}  // namespace

DecodedText DecodedText::borrowed(std::string_view text) noexcept {
  DecodedText d;
  d.view_ = text;
  return d;
}

DecodedText DecodedText::owned(std::string text) noexcept {
  DecodedText d;
  d.storage_ = std::move(text);
  d.owned_ = true;
  return d;
}

std::expected<InputPlan, StatementError> plan_input(std::string_view bytes) {
  if (is_empty_input(bytes)) return std::unexpected(error::EmptyInput{});
  if (bytes.starts_with(kUtf8Bom)) bytes.remove_prefix(kUtf8Bom.size());
  if (detail::is_valid_utf8(bytes)) return InputPlan{Decoded{DecodedText::borrowed(bytes), Encoding::Utf8}, {}};

  if (!has_mark(bytes)) {
    if (!is_plausible_cp1251(bytes)) {
      return std::unexpected(error::NotStatement{});
    }
    return InputPlan{std::nullopt, bytes};
  }
  std::optional<std::string> text = decode_marked(bytes);
  if (!text || !is_plausible(*text)) return std::unexpected(error::NotStatement{});
  return InputPlan{Decoded{DecodedText::owned(std::move(*text)), Encoding::Cp1251}, {}};
}

}  // namespace varnok
