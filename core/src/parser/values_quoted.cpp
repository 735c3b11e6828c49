// The quoted form of a text: double quotes, backslash escapes and \u{hex} for marks and
// characters that do not print.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "parser/unicode_tables.hpp"
#include "parser/values.hpp"

namespace varnok {
namespace {

constexpr char32_t kReplacement = 0xFFFD;

struct CodePoint {
  char32_t value;
  std::size_t length;  // bytes consumed, at least 1
};

[[nodiscard]] bool is_continuation(unsigned char b) noexcept { return (b & 0xC0) == 0x80; }

// Decodes one UTF-8 sequence at the front of s (non-empty). An invalid or truncated
// sequence yields U+FFFD for its first byte alone, so decoding always moves forward and
// never reads past the end. Encoded surrogates are decoded, so that they can be escaped.
[[nodiscard]] CodePoint decode_one(std::string_view s) noexcept {
  const auto b0 = static_cast<unsigned char>(s[0]);
  if (b0 < 0x80) return {b0, 1};
  // Lead bytes C0, C1 and F5 … FF never start a valid sequence.
  std::size_t length = 4;
  if (b0 >= 0xC2 && b0 <= 0xDF) {
    length = 2;
  } else if (b0 >= 0xE0 && b0 <= 0xEF) {
    length = 3;
  } else if (b0 < 0xF0 || b0 > 0xF4) {
    return {kReplacement, 1};
  }
  constexpr char32_t kMinValue[] = {0, 0, 0x80, 0x800, 0x10000};  // shorter is overlong
  char32_t value = b0 & (0x7F >> length);
  if (s.size() < length) return {kReplacement, 1};
  for (std::size_t i = 1; i < length; ++i) {
    const auto b = static_cast<unsigned char>(s[i]);
    if (!is_continuation(b)) return {kReplacement, 1};
    value = (value << 6) | (b & 0x3F);
  }
  if (value < kMinValue[length] || value > 0x10FFFF) return {kReplacement, 1};
  return {value, length};
}

[[nodiscard]] bool is_escaped(char32_t c) noexcept {
  const auto& bounds = detail::kEscapedRunBoundaries;
  const auto runs_started = std::upper_bound(bounds.begin(), bounds.end(), c) - bounds.begin();
  return (runs_started & 1) != 0;
}

void append_code_point_escape(std::string& out, char32_t c) {
  constexpr char kHex[] = "0123456789abcdef";
  char digits[8];
  std::size_t n = 0;
  do {
    digits[n++] = kHex[c & 0xF];
    c >>= 4;
  } while (c != 0);
  out += "\\u{";
  while (n > 0) out += digits[--n];
  out += '}';
}

// Bytes that stand for themselves without a table look-up: printable ASCII other than
// the two escaped ones, and the two-byte sequences of U+0400 … U+047F (lead D0 or D1),
// which hold the Russian alphabet and no marks. Returns the length of the run at s[i].
[[nodiscard]] std::size_t plain_run(std::string_view s, std::size_t i) noexcept {
  const std::size_t start = i;
  while (i < s.size()) {
    const auto b = static_cast<unsigned char>(s[i]);
    if (b >= 0x20 && b < 0x7F && b != '"' && b != '\\') {
      ++i;
    } else if ((b == 0xD0 || b == 0xD1) && i + 1 < s.size() &&
               is_continuation(static_cast<unsigned char>(s[i + 1]))) {
      i += 2;
    } else {
      break;
    }
  }
  return i - start;
}

void append_character(std::string& out, CodePoint cp, std::string_view source) {
  switch (cp.value) {
    case '\\': out += "\\\\"; return;
    case '"': out += "\\\""; return;
    case '\t': out += "\\t"; return;
    case '\r': out += "\\r"; return;
    case '\n': out += "\\n"; return;
    case '\0': out += "\\0"; return;
    default: break;
  }
  // ASCII gets here only for its controls, which need no table look-up.
  if (cp.value < 0x80 || is_escaped(cp.value)) {
    append_code_point_escape(out, cp.value);
  } else if (cp.value == kReplacement && !source.starts_with("\xEF\xBF\xBD")) {
    out += "\xEF\xBF\xBD";  // an invalid byte: never copy it into the output
  } else {
    out.append(source.substr(0, cp.length));
  }
}

}  // namespace

void append_quoted(std::string& out, std::string_view text) {
  out.reserve(out.size() + text.size() + 2);
  out += '"';
  std::size_t i = 0;
  while (i < text.size()) {
    const std::size_t run = plain_run(text, i);
    out.append(text.substr(i, run));
    i += run;
    if (i == text.size()) break;
    const std::string_view rest = text.substr(i);
    const CodePoint cp = decode_one(rest);
    append_character(out, cp, rest);
    i += cp.length;
  }
  out += '"';
}

}  // namespace varnok
