// One statement file as the native exports need it: the core's statement and, per
// document, its section's start line, its direction and its fingerprint.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core_api.hpp"

namespace varnok::native {

enum class Direction : std::uint8_t { Income, Expense, Internal, Unrelated };

[[nodiscard]] std::string_view direction_name(Direction d) noexcept;

struct ParsedFile {
  std::optional<std::string> file;  // the path, UTF-8; nullopt when not read from a file
  Statement statement;
  std::vector<std::int64_t> lines;  // the section's start line; -1 when it cannot be located
  std::vector<Direction> directions;
  std::vector<std::array<char, 32>> fingerprints;  // 32 lowercase hex digits
};

// Parses `data` (a statement's bytes); nullopt when the read fails (the caller reports the
// error through varnok_py, which words it). Never throws on bad input.
[[nodiscard]] std::optional<ParsedFile> parse_file(std::string_view data, std::optional<std::string> file);

// Calls visit(i, std::optional<std::string_view>) for each of the 53 fields of `d` with the
// text varnok_py gives for it (dates YYYY-MM-DD, the amount with its scale).
template <class Visit>
void for_each_field_text(const Document& d, Visit&& visit) {
  for (std::size_t i = 0; i < kFieldCount; ++i) {
    switch (field_kind(i)) {
      case Kind::Text:
        visit(i, document_text(d, i));
        break;
      case Kind::Date:
        if (const auto date = document_date(d, i)) {
          const ShortText t = format_date(*date);
          visit(i, std::optional<std::string_view>(t.view()));
        } else {
          visit(i, std::optional<std::string_view>());
        }
        break;
      case Kind::Amount: {
        const ShortText t = format_amount(d.amount());
        visit(i, std::optional<std::string_view>(t.view()));
        break;
      }
    }
  }
}

}  // namespace varnok::native
