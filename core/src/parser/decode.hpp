// Input decoding: bytes to UTF-8 text with an encoding label, or EmptyInput / NotStatement.
#pragma once

#include <expected>
#include <optional>
#include <string>
#include <string_view>

#include <varnok/diagnostics.hpp>
#include <varnok/encoding.hpp>

namespace varnok {

// The decoded statement text. Valid UTF-8 input is borrowed (the text views the input,
// which must outlive this object); fallback decoding owns one buffer.
class DecodedText {
 public:
  static DecodedText borrowed(std::string_view text) noexcept;
  static DecodedText owned(std::string text) noexcept;

  [[nodiscard]] std::string_view text() const noexcept { return owned_ ? std::string_view(storage_) : view_; }
  [[nodiscard]] bool is_owned() const noexcept { return owned_; }

 private:
  std::string_view view_;
  std::string storage_;
  bool owned_ = false;
};

struct Decoded {
  DecodedText text;
  Encoding encoding;
};

// Decides how to read statement bytes: EmptyInput for empty/whitespace-only bytes; a
// UTF-8 BOM is dropped; valid UTF-8 is taken as it is (label Utf8); anything else goes
// through the fallback (UTF-8 / UTF-16LE / UTF-16BE by mark, windows-1251 otherwise) and
// the plausibility check (label Cp1251), failing with NotStatement. Either `whole` holds
// the text, or `cp1251` the plausible windows-1251 bytes, which a reader decodes piece by
// piece. Never throws on bad input.
struct InputPlan {
  std::optional<Decoded> whole;
  std::string_view cp1251;
};
[[nodiscard]] std::expected<InputPlan, StatementError> plan_input(std::string_view bytes);

}  // namespace varnok
