// A payment document: 53 fields, its texts stored compactly in one buffer.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include <varnok/amount.hpp>
#include <varnok/date.hpp>
#include <varnok/fields.hpp>

namespace varnok {

// Immutable once built (only DocumentBuilder fills it). Owns all its texts: they live
// in one buffer, one after another in field order, after a table of their bounds, so a
// document costs one allocation and a small record instead of 49 separately allocated
// strings (the record stays small: a statement's documents are made in one array, every
// page of which is fresh memory).
class Document {
 public:
  Document() = default;
  Document(const Document&) = default;
  Document& operator=(const Document&) = default;
  // A moved-from document reads as one with no texts (its bounds went with its buffer).
  Document(Document&& other) noexcept
      : storage_(std::move(other.storage_)),
        present_(std::exchange(other.present_, 0)),
        amount_(other.amount_),
        dates_(other.dates_) {}
  Document& operator=(Document&& other) noexcept {
    storage_ = std::move(other.storage_);
    present_ = std::exchange(other.present_, 0);
    amount_ = other.amount_;
    dates_ = other.dates_;
    return *this;
  }
  ~Document() = default;

  // The text of a Text field; nullopt when it is absent or the field is not a Text field.
  // Views into the document.
  [[nodiscard]] std::optional<std::string_view> text(DocumentField f) const noexcept {
    const auto i = static_cast<std::size_t>(f);
    // Typed fields are never marked present, so they read as absent here.
    if ((present_ >> i & 1) == 0) return std::nullopt;
    // The k-th present field's text is [bound k, bound k + 1).
    const std::size_t k = count_bits(present_ & ((std::uint64_t{1} << i) - 1));
    std::uint32_t bounds[2];
    std::memcpy(bounds, storage_.data() + sizeof(std::uint32_t) * k, sizeof bounds);
    return std::string_view(storage_.data() + bounds[0], bounds[1] - bounds[0]);
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

  // Set bits of a word, without the instruction a baseline x86-64 lacks (std::popcount
  // would call into the compiler's runtime library there).
  static constexpr std::size_t count_bits(std::uint64_t x) noexcept {
    x -= (x >> 1) & 0x5555555555555555u;
    x = (x & 0x3333333333333333u) + ((x >> 2) & 0x3333333333333333u);
    x = (x + (x >> 4)) & 0x0F0F0F0F0F0F0F0Fu;
    return static_cast<std::size_t>((x * 0x0101010101010101u) >> 56);
  }

  // The bounds of the present texts (one more than there are, 32 bits each), then the
  // texts themselves in field order; the bounds are offsets into this buffer.
  std::string storage_;
  std::uint64_t present_ = 0;  // bit i: text field i is present
  Amount amount_;
  std::array<std::optional<Date>, kDateFieldCount> dates_;  // by date_index
};

}  // namespace varnok
