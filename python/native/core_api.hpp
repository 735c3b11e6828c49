// The one include of the core for varnok._native (its public API only), and the few
// adapters over it: everything the native module uses of the core comes through here.
#pragma once

#include <cstddef>
#include <optional>
#include <string_view>

#include <varnok/varnok.hpp>

namespace varnok::native {

enum class Kind : unsigned char { Text, Date, Amount };

inline constexpr std::size_t kFieldCount = kDocumentFieldCount;

[[nodiscard]] inline std::string_view field_name(std::size_t i) noexcept { return kDocumentFields[i].name; }
[[nodiscard]] inline std::string_view field_key(std::size_t i) noexcept { return kDocumentFields[i].key; }
[[nodiscard]] inline bool field_required(std::size_t i) noexcept { return kDocumentFields[i].required; }

[[nodiscard]] inline Kind field_kind(std::size_t i) noexcept {
  switch (kDocumentFields[i].kind) {
    case FieldKind::Date:
      return Kind::Date;
    case FieldKind::Amount:
      return Kind::Amount;
    case FieldKind::Text:
      break;
  }
  return Kind::Text;
}

// The value of a Date field of `d`; nullopt when absent.
[[nodiscard]] inline std::optional<Date> document_date(const Document& d, std::size_t i) noexcept {
  return d.date(static_cast<DocumentField>(i));
}

[[nodiscard]] inline std::optional<std::string_view> document_text(const Document& d, std::size_t i) noexcept {
  return d.text(static_cast<DocumentField>(i));
}

}  // namespace varnok::native
