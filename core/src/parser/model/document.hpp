// A payment document: 53 fields, its texts stored compactly in one buffer.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "parser/field_table.hpp"
#include "parser/model/amount.hpp"
#include "parser/model/date.hpp"

namespace varnok {

// Immutable once built (only DocumentBuilder fills it). Owns all its texts: they live
// in one buffer, one after another in field order, with the start offset of every field
// and a set of the present ones, so a document costs one allocation and a small fixed
// table instead of 49 separately allocated strings.
class Document {
 public:
  // The text of a text field (Text or OptionalText); nullopt when absent or when the
  // field is typed (DocDate, Amount, OutcomeDate, IncomeDate). Views into the document.
  [[nodiscard]] std::optional<std::string_view> text(DocumentField f) const noexcept;

  [[nodiscard]] const Date& doc_date() const noexcept { return doc_date_; }
  [[nodiscard]] const Amount& amount() const noexcept { return amount_; }
  [[nodiscard]] const std::optional<Date>& outcome_date() const noexcept { return outcome_date_; }
  [[nodiscard]] const std::optional<Date>& income_date() const noexcept { return income_date_; }

  // Bytes owned by this document beyond sizeof(Document) (its text buffer's capacity).
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
  Date doc_date_;
  std::optional<Date> outcome_date_;
  std::optional<Date> income_date_;
};

}  // namespace varnok
