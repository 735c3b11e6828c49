// decode_input and plan_input: the empty-input test, the UTF-8 decision, and the
// fallback decoding with its plausibility check.
#include "parser/decode.hpp"

#include <algorithm>
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

// Counts plain characters among the first characters of a valid UTF-8 text. A character
// is plain when it is printable ASCII, one of TAB LF FF CR SPACE, or at or above U+0400;
// the lead byte alone decides: 2-byte forms from D0 up are U+0400 and beyond, 3- and
// 4-byte forms always are.
bool is_plausible(std::string_view text) noexcept {
  std::size_t examined = 0;
  std::size_t plain = 0;
  for (std::size_t i = 0; i < text.size() && examined < kPlausibilityWindow; ++i) {
    const auto b = static_cast<unsigned char>(text[i]);
    if ((b & 0xC0) == 0x80) continue;  // continuation byte: same character
    ++examined;
    if (b < 0x80) {
      plain += (b >= 0x21 && b <= 0x7E) || b == '\t' || b == '\n' || b == '\f' || b == '\r' || b == ' ';
    } else {
      plain += b >= 0xD0;
    }
  }
  return examined > 0 && plain * 100 / examined >= kPlausiblePercent;
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
    // windows-1251 makes one character of every byte, so the check needs only the
    // window's bytes decoded.
    if (!is_plausible(detail::decode_cp1251(bytes.substr(0, kPlausibilityWindow)))) {
      return std::unexpected(error::NotStatement{});
    }
    return InputPlan{std::nullopt, bytes};
  }
  std::optional<std::string> text = decode_marked(bytes);
  if (!text || !is_plausible(*text)) return std::unexpected(error::NotStatement{});
  return InputPlan{Decoded{DecodedText::owned(std::move(*text)), Encoding::Cp1251}, {}};
}

}  // namespace varnok
