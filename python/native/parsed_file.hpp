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

  // The path as a view; nullopt when not read from a file.
  [[nodiscard]] std::optional<std::string_view> file_name() const noexcept {
    return file ? std::optional<std::string_view>(*file) : std::nullopt;
  }
};

// Parses `data` (a statement's bytes); nullopt when the read fails (the caller reports the
// error through varnok_py, which words it). Never throws on bad input.
[[nodiscard]] std::optional<ParsedFile> parse_file(std::string_view data, std::optional<std::string> file);

// The start line of each document section of `data` that `s` (its read) built, in order;
// all -1 when the sections found and the documents built do not line up.
[[nodiscard]] std::vector<std::int64_t> document_lines(std::string_view data, const Statement& s);

// Whether every date of `s` is one Python's datetime.date can hold (years 1 ... 9999): the
// typed view the Python package builds fails on any other. The same of the dates of its
// intervals, or of its documents, alone: an export of the one holds none of the other.
[[nodiscard]] bool dates_in_python_range(const Statement& s) noexcept;
[[nodiscard]] bool interval_dates_in_python_range(const Statement& s) noexcept;
[[nodiscard]] bool document_dates_in_python_range(const Statement& s) noexcept;

// The 53 fields of a document as the texts varnok_py gives (dates YYYY-MM-DD, the amount
// with its scale; nullopt when absent). Views into the document and into this object,
// which therefore neither copies nor moves.
class FieldTexts {
 public:
  explicit FieldTexts(const Document& d) noexcept;
  FieldTexts(const FieldTexts&) = delete;
  FieldTexts& operator=(const FieldTexts&) = delete;

  [[nodiscard]] std::optional<std::string_view> operator[](std::size_t i) const noexcept {
    if ((present_ >> i & 1) == 0) return std::nullopt;
    return views_[i];
  }
  // The total bytes of the present texts.
  [[nodiscard]] std::size_t bytes() const noexcept { return bytes_; }

 private:
  // Views and a set of the present ones rather than 53 optionals: filling an optional in
  // place wrote its flag byte into a word that was then read whole, a store-forwarding
  // stall per field that was most of this constructor's time.
  std::array<std::string_view, kFieldCount> views_;
  std::uint64_t present_ = 0;
  static_assert(kFieldCount <= 64);
  std::array<ShortText, 4> formatted_;  // the dates and the amount
  std::size_t bytes_ = 0;
};

// An interval's values in kIntervalColumns order, as the texts varnok_py gives (nullopt
// when absent).
[[nodiscard]] std::array<std::optional<ShortText>, 6> interval_texts(const Interval& i) noexcept;

}  // namespace varnok::native
