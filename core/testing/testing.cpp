// The test-only entry points, each a thin layer over what the library uses.
#include "testing.hpp"

#include <utility>

#include "parser/codecs.hpp"
#include "parser/document_builder.hpp"
#include "parser/values.hpp"

namespace varnok {

std::expected<Decoded, StatementError> decode_input(std::string_view bytes) {
  auto plan = plan_input(bytes);
  if (!plan) return std::unexpected(std::move(plan.error()));
  if (plan->whole) return std::move(*plan->whole);
  return Decoded{DecodedText::owned(detail::decode_cp1251(plan->cp1251)), Encoding::Cp1251};
}

std::expected<Document, std::string> build_document(const Attributes& attrs, std::string_view kind) {
  return detail::build_document(attrs, kind, DocumentBuilder::kMaxTextBytes);
}

std::expected<Document, std::string> detail::build_document(const Attributes& attrs, std::string_view kind,
                                                            std::size_t max_text_bytes) {
  DocumentBuilder builder;
  builder.start(kind);
  for (const auto& entry : attrs) builder.add(entry.key, entry.value);
  return builder.finish(max_text_bytes);
}

std::string quoted(std::string_view text) {
  std::string out;
  append_quoted(out, text);
  return out;
}

bool is_white_space(char32_t c) noexcept {
  switch (c) {
    case 0x09: case 0x0A: case 0x0B: case 0x0C: case 0x0D: case 0x20:
    case 0x85: case 0xA0: case 0x1680: case 0x2028: case 0x2029: case 0x202F: case 0x205F:
    case 0x3000:
      return true;
    default:
      return c >= 0x2000 && c <= 0x200A;
  }
}

std::optional<std::vector<char32_t>> reference_utf8_code_points(std::string_view s) {
  std::vector<char32_t> out;
  std::size_t i = 0;
  while (i < s.size()) {
    const auto b = static_cast<unsigned char>(s[i]);
    std::size_t n;
    char32_t c;
    char32_t min;
    if (b < 0x80) {
      out.push_back(b);
      ++i;
      continue;
    } else if ((b & 0xE0) == 0xC0) {
      n = 2, c = b & 0x1F, min = 0x80;
    } else if ((b & 0xF0) == 0xE0) {
      n = 3, c = b & 0x0F, min = 0x800;
    } else if ((b & 0xF8) == 0xF0) {
      n = 4, c = b & 0x07, min = 0x10000;
    } else {
      return std::nullopt;
    }
    if (i + n > s.size()) return std::nullopt;
    for (std::size_t k = 1; k < n; ++k) {
      const auto t = static_cast<unsigned char>(s[i + k]);
      if ((t & 0xC0) != 0x80) return std::nullopt;
      c = (c << 6) | (t & 0x3F);
    }
    if (c < min || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return std::nullopt;
    out.push_back(c);
    i += n;
  }
  return out;
}

}  // namespace varnok
