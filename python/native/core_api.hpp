// The one include of the core for varnok._native, and the few adapters over it: everything
// the native module uses of the core comes through here, so a change of the core's public
// API is an edit of this file alone.
#pragma once

#include <cstddef>
#include <optional>
#include <string_view>

#include "parser/field_table.hpp"
#include "parser/reader.hpp"
#include "parser/values.hpp"

namespace varnok::native {

enum class Kind : unsigned char { Text, Date, Amount };

inline constexpr std::size_t kFieldCount = kDocumentFieldCount;

[[nodiscard]] inline std::string_view field_name(std::size_t i) noexcept { return kDocumentFields[i].name; }
[[nodiscard]] inline std::string_view field_key(std::size_t i) noexcept { return kDocumentFields[i].key; }

[[nodiscard]] inline Kind field_kind(std::size_t i) noexcept {
  switch (kDocumentFields[i].type) {
    case FieldType::RequiredDate:
    case FieldType::OptionalDate:
      return Kind::Date;
    case FieldType::Amount:
      return Kind::Amount;
    case FieldType::Text:
    case FieldType::OptionalText:
      break;
  }
  return Kind::Text;
}

[[nodiscard]] inline bool field_required(std::size_t i) noexcept {
  const FieldType t = kDocumentFields[i].type;
  return t != FieldType::OptionalText && t != FieldType::OptionalDate;
}

// The value of a Date field of `d`; nullopt when absent.
[[nodiscard]] inline std::optional<Date> document_date(const Document& d, std::size_t i) noexcept {
  switch (static_cast<DocumentField>(i)) {
    case DocumentField::DocDate:
      return d.doc_date();
    case DocumentField::OutcomeDate:
      return d.outcome_date();
    case DocumentField::IncomeDate:
      return d.income_date();
    default:
      return std::nullopt;
  }
}

[[nodiscard]] inline std::optional<std::string_view> document_text(const Document& d, std::size_t i) noexcept {
  return d.text(static_cast<DocumentField>(i));
}

}  // namespace varnok::native
