// The one include of the core for varnok._native (its public API only), and the few
// adapters over it: everything the native module uses of the core comes through here.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
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

// Days since 1970-01-01 of a proleptic Gregorian date.
[[nodiscard]] inline std::int64_t days_since_epoch(const Date& d) noexcept {
  const std::int64_t y = d.year - (d.month <= 2);
  const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
  const std::int64_t yoe = y - era * 400;
  const std::int64_t mp = (d.month + 9) % 12;
  const std::int64_t doy = (153 * mp + 2) / 5 + d.day - 1;
  const std::int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

// The columns of an exported interval after the file and the account: the interval's
// fields in the order varnok_py's Interval shows them (names from the core's table).
inline constexpr std::array<IntervalField, 6> kIntervalColumns = {
    IntervalField::DateStart, IntervalField::DateEnd,     IntervalField::StartAmount,
    IntervalField::EndAmount, IntervalField::TotalIncome, IntervalField::TotalExpense};

}  // namespace varnok::native
