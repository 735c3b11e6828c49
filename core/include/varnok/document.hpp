// A payment document: 53 fields, its texts stored compactly in one buffer.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include <varnok/amount.hpp>
#include <varnok/date.hpp>
#include <varnok/fields.hpp>

namespace varnok {

// Immutable once built (only DocumentBuilder fills it). Owns all its texts: they live
// in one buffer, one after another in field order, with the start offset of every field
// and a set of the present ones, so a document costs one allocation and a small fixed
// table instead of 49 separately allocated strings.
class Document {
 public:
  // The text of a Text field; nullopt when it is absent or the field is not a Text field.
  // Views into the document.
  [[nodiscard]] std::optional<std::string_view> text(DocumentField f) const noexcept {
    const auto i = static_cast<std::size_t>(f);
    // Typed fields are never marked present, so they read as absent here.
    if ((present_ >> i & 1) == 0) return std::nullopt;
    return std::string_view(storage_.data() + starts_[i], starts_[i + 1] - starts_[i]);
  }
  // The value of a Date field; nullopt when it is absent (never for the required DocDate)
  // or the field is not a Date field.
  [[nodiscard]] std::optional<Date> date(DocumentField f) const noexcept {
    if (field_info(f).kind != FieldKind::Date) return std::nullopt;
    return dates_[date_index(f)];
  }
  // The value of the Amount field, which every document has.
  [[nodiscard]] const Amount& amount() const noexcept { return amount_; }

  // Bytes owned by this document beyond sizeof(Document) (its text buffer's capacity), for
  // memory accounting.
  [[nodiscard]] std::size_t heap_bytes() const noexcept { return storage_.capacity() > 15 ? storage_.capacity() + 1 : 0; }

  friend bool operator==(const Document& a, const Document& b) noexcept;

 private:
  friend class DocumentBuilder;

  static constexpr std::uint32_t kMaxTextBytes = UINT32_MAX;

  std::string storage_;
  std::uint64_t present_ = 0;  // bit i: text field i is present
  // For a present field i, its text is [starts_[i], starts_[i + 1]) (texts follow one
  // another in field order); the entries of absent fields mean nothing.
  std::array<std::uint32_t, kDocumentFieldCount + 1> starts_{};
  Amount amount_;
  std::array<std::optional<Date>, kDateFieldCount> dates_;  // by date_index
};

}  // namespace varnok
