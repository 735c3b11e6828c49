// Entry points that only the tests, the fuzzers and the benchmarks call: whole-input
// forms of what the library does piece by piece, and reference definitions.
#pragma once

#include <cstddef>
#include <expected>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <varnok/attributes.hpp>
#include <varnok/diagnostics.hpp>
#include <varnok/document.hpp>

#include "parser/decode.hpp"

namespace varnok {

// plan_input, then windows-1251 decoded whole: the decoded text and its label, or
// EmptyInput / NotStatement. Never throws on bad input.
[[nodiscard]] std::expected<Decoded, StatementError> decode_input(std::string_view bytes);

// The attributes in order, then the kind, through a DocumentBuilder; failures as
// DocumentBuilder::finish gives them.
[[nodiscard]] std::expected<Document, std::string> build_document(const Attributes& attrs,
                                                                   std::string_view kind);

// The quoted form of a text (see append_quoted) as a new string.
[[nodiscard]] std::string quoted(std::string_view text);

// Unicode White_Space: U+0009–U+000D, U+0020, U+0085, U+00A0, U+1680, U+2000–U+200A,
// U+2028, U+2029, U+202F, U+205F, U+3000. The reference the trimming is tested against.
[[nodiscard]] bool is_white_space(char32_t c) noexcept;

// The code points of well-formed UTF-8 (no overlong forms, no surrogates, nothing above
// U+10FFFF, nothing truncated), or nullopt: a plain decoding by the rules, independent of
// the byte ranges the validator checks, for the decoders to be tested against.
[[nodiscard]] std::optional<std::vector<char32_t>> reference_utf8_code_points(std::string_view s);

namespace detail {
// build_document with a ceiling on the total size of a document's texts: a document
// whose texts exceed it fails with "document is too large".
[[nodiscard]] std::expected<Document, std::string> build_document(const Attributes& attrs,
                                                                   std::string_view kind,
                                                                   std::size_t max_text_bytes);
}  // namespace detail

}  // namespace varnok
