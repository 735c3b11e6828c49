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
// in one buffer with a (offset, length) span per text field, so a document costs one
// allocation and a fixed table instead of 49 separately allocated strings.
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

  struct Span {
    std::uint32_t offset = 0;
    std::uint32_t length = kAbsent;
  };
  static constexpr std::uint32_t kAbsent = UINT32_MAX;

  std::string storage_;
  std::array<Span, kDocumentFieldCount> spans_{};
  Amount amount_;
  Date doc_date_;
  std::optional<Date> outcome_date_;
  std::optional<Date> income_date_;
};

}  // namespace varnok
