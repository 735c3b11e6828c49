// The native state of the four result classes, their class factories and their
// constructors; shared by the files of convert/ only.
#pragma once

#include <Python.h>

#include <array>
#include <memory>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include <varnok/account.hpp>
#include <varnok/document.hpp>
#include <varnok/fields.hpp>

#include "parser/decode.hpp"
#include "parser/values.hpp"
#include "pyref.hpp"
#include "registry.hpp"
#include "text_cache.hpp"

namespace varnok::py::detail {

// An account interval as six texts (four optional), formatted once at conversion.
// Equality is byte for byte: 100.5 and 100.50 differ here.
struct IntervalTexts {
  ShortText date_start;
  std::optional<ShortText> date_end;
  ShortText start_amount;
  std::optional<ShortText> end_amount;
  std::optional<ShortText> total_income;
  std::optional<ShortText> total_expense;
  friend bool operator==(const IntervalTexts&, const IntervalTexts&) = default;
};
[[nodiscard]] IntervalTexts interval_texts(const Interval& interval) noexcept;

struct AccountPayload {
  std::string number;
  std::vector<IntervalTexts> intervals;  // in the account's order (by start date)
  friend bool operator==(const AccountPayload&, const AccountPayload&) = default;
};

// A core document (moved in, texts in one buffer); its typed fields become texts when read.
class DocumentPayload {
 public:
  DocumentPayload(Document&& document, std::shared_ptr<TextCache> cache) noexcept
      : document_(std::move(document)), cache_(std::move(cache)) {}
  DocumentPayload(DocumentPayload&&) noexcept = default;
  DocumentPayload& operator=(DocumentPayload&&) noexcept = default;
  ~DocumentPayload() {
    if (cache_) cache_->document_gone(cache_.use_count() - 1);
  }
  // The Python value of a field as text; nullopt for an absent optional field. A date or
  // the amount is formatted into `scratch` when read, and the view then points into it.
  [[nodiscard]] std::optional<std::string_view> field(DocumentField f, ShortText& scratch) const noexcept;
  // The text of a Text field (nullopt if absent), as field() gives it without a scratch.
  [[nodiscard]] std::optional<std::string_view> text(DocumentField f) const noexcept { return document_.text(f); }
  // All 53 fields equal as texts.
  friend bool operator==(const DocumentPayload& a, const DocumentPayload& b) noexcept;
  // Shared by the documents of one statement; may be null.
  [[nodiscard]] TextCache* cache() const noexcept { return cache_.get(); }

 private:
  Document document_;
  std::shared_ptr<TextCache> cache_;
};

struct StatementPayload {
  Encoding encoding = Encoding::Utf8;
  PyRef header;     // dict
  PyRef accounts;   // dict
  PyRef documents;  // list
  PyRef warnings;   // list
  // Fixed at conversion for repr; later changes to the lists do not move them.
  std::uint64_t document_count = 0;
  std::uint64_t warning_count = 0;
};

// New instances (null with an exception); the registry must exist.
[[nodiscard]] PyRef new_interval(const IntervalTexts& texts) noexcept;
[[nodiscard]] PyRef new_account(AccountPayload&& payload) noexcept;
[[nodiscard]] PyRef new_document(Document&& document, std::shared_ptr<TextCache> cache) noexcept;
[[nodiscard]] PyRef new_statement(StatementPayload&& payload) noexcept;

}  // namespace varnok::py::detail
