// Fuzzes decode_input against small independent decoders: the UTF-8 decision, the view
// into the input, UTF-16 by its mark, the shape of windows-1251 output, and the
// plausibility threshold.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz_support.hpp"
#include "parser/decode.hpp"
#include "testing.hpp"

namespace {

using namespace varnok;
using varnok::fuzz::require;

// UTF-16 without its mark to code points; nullopt on an unpaired surrogate or odd length.
std::optional<std::vector<char32_t>> utf16_code_points(std::string_view s, bool big_endian) {
  if (s.size() % 2 != 0) return std::nullopt;
  std::vector<char32_t> out;
  const auto unit = [&](std::size_t i) {
    const auto a = static_cast<unsigned char>(s[i]);
    const auto b = static_cast<unsigned char>(s[i + 1]);
    return static_cast<char32_t>(big_endian ? (a << 8) | b : (b << 8) | a);
  };
  for (std::size_t i = 0; i < s.size(); i += 2) {
    const char32_t u = unit(i);
    if (u >= 0xDC00 && u <= 0xDFFF) return std::nullopt;
    if (u >= 0xD800 && u <= 0xDBFF) {
      if (i + 2 >= s.size()) return std::nullopt;
      const char32_t v = unit(i + 2);
      if (v < 0xDC00 || v > 0xDFFF) return std::nullopt;
      out.push_back(0x10000 + ((u - 0xD800) << 10) + (v - 0xDC00));
      i += 2;
    } else {
      out.push_back(u);
    }
  }
  return out;
}

bool is_plain(char32_t c) {
  return (c >= 0x21 && c <= 0x7E) || c == 0x09 || c == 0x0A || c == 0x0C || c == 0x0D || c == 0x20 || c >= 0x400;
}

bool plausible(const std::vector<char32_t>& text) {
  std::size_t examined = 0;
  std::size_t plain = 0;
  for (; examined < text.size() && examined < 20'480; ++examined) plain += is_plain(text[examined]);
  return examined > 0 && plain * 100 / examined >= 96;
}

bool is_empty_input(std::string_view bytes) {
  for (char c : bytes) {
    if (c != '\t' && c != '\n' && c != '\f' && c != '\r' && c != ' ') return false;
  }
  return true;
}

// The windows-1251 bytes whose characters lie below U+0400 (each maps to the code point
// of its own value); every other high byte maps to U+0400 or above.
bool is_low_cp1251(unsigned char b) {
  switch (b) {
    case 0x98: case 0xA0: case 0xA4: case 0xA6: case 0xA7: case 0xA9: case 0xAB: case 0xAC:
    case 0xAD: case 0xAE: case 0xB0: case 0xB1: case 0xB5: case 0xB6: case 0xB7: case 0xBB:
      return true;
    default:
      return false;
  }
}

// Plausibility straight from windows-1251 bytes: one character per byte.
bool plausible_cp1251(std::string_view bytes) {
  std::vector<char32_t> approx;
  for (std::size_t i = 0; i < bytes.size() && i < 20'480; ++i) {
    const auto b = static_cast<unsigned char>(bytes[i]);
    approx.push_back(b < 0x80 || is_low_cp1251(b) ? b : 0x400);
  }
  return plausible(approx);
}

// The windows-1251 output has one character per byte: ASCII unchanged, the letters
// А..я at C0..FF, Ё and ё at A8 and B8, the low ones as themselves, the rest at U+0400
// or above.
void check_cp1251_shape(std::string_view bytes, const std::vector<char32_t>& out) {
  require(out.size() == bytes.size(), "windows-1251 output is not one character per byte");
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    const auto b = static_cast<unsigned char>(bytes[i]);
    const char32_t c = out[i];
    if (b < 0x80 || is_low_cp1251(b)) {
      require(c == b, "windows-1251 changed an ASCII or Latin-1 byte");
    } else if (b >= 0xC0) {
      require(c == 0x410 + (b - 0xC0), "windows-1251 letter mapped wrongly");
    } else if (b == 0xA8 || b == 0xB8) {
      require(c == (b == 0xA8 ? 0x401 : 0x451), "windows-1251 Ё or ё mapped wrongly");
    } else {
      require(c >= 0x400, "windows-1251 mapped a high byte below U+0400");
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  const auto result = decode_input(input);

  if (is_empty_input(input)) {
    require(!result && std::holds_alternative<error::EmptyInput>(result.error()), "empty input not reported");
    return 0;
  }
  require(result || std::holds_alternative<error::NotStatement>(result.error()), "decoding failed with a wrong kind");

  std::string_view rest = input;
  if (rest.starts_with("\xEF\xBB\xBF")) rest.remove_prefix(3);
  if (reference_utf8_code_points(rest)) {
    require(result && result->encoding == Encoding::Utf8, "valid UTF-8 not taken as UTF-8");
    const std::string_view text = result->text.text();
    require(!result->text.is_owned() && text.data() == rest.data() && text.size() == rest.size(),
            "valid UTF-8 was copied or changed");
    return 0;
  }

  // Not UTF-8: the fallback picks its decoder by the mark at the start of what is left.
  std::optional<std::vector<char32_t>> expected;
  const bool cp1251 = !rest.starts_with("\xEF\xBB\xBF") && !rest.starts_with("\xFF\xFE") && !rest.starts_with("\xFE\xFF");
  if (rest.starts_with("\xFF\xFE")) expected = utf16_code_points(rest.substr(2), false);
  if (rest.starts_with("\xFE\xFF")) expected = utf16_code_points(rest.substr(2), true);
  // A second UTF-8 mark leaves bytes that are still not UTF-8: always malformed.

  if (cp1251) require(result.has_value() == plausible_cp1251(rest), "plausibility of windows-1251 decided wrongly");
  if (result) {
    require(result->encoding == Encoding::Cp1251, "fallback decoding not labelled cp1251");
    const auto out = reference_utf8_code_points(result->text.text());
    require(out.has_value(), "decoded text is not valid UTF-8");
    if (cp1251) {
      check_cp1251_shape(rest, *out);
    } else {
      require(expected.has_value() && *expected == *out, "UTF-16 decoded wrongly, or a malformed input accepted");
      require(plausible(*out), "an implausible text was accepted");
    }
  } else if (expected) {
    require(!plausible(*expected), "a plausible UTF-16 text was refused");
  }
  return 0;
}
