// Checks shared by the fuzz targets and the reliability tests: exact equality of two read
// results, and the invariants every result of parse_statement must satisfy.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <expected>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <variant>

#include <varnok/account.hpp>
#include <varnok/amount.hpp>
#include <varnok/date.hpp>
#include <varnok/diagnostics.hpp>
#include <varnok/document.hpp>
#include <varnok/fields.hpp>
#include <varnok/reader_state.hpp>
#include <varnok/statement.hpp>

namespace varnok::check {

using Result = std::expected<Statement, StatementError>;

// Exact equality: the same sign, mantissa and scale (operator== is numeric).
[[nodiscard]] inline bool same_amount(const Amount& a, const Amount& b) noexcept {
  return a.negative == b.negative && a.mantissa_low == b.mantissa_low && a.mantissa_high == b.mantissa_high &&
         a.scale == b.scale;
}

[[nodiscard]] inline bool same_amount(const std::optional<Amount>& a, const std::optional<Amount>& b) noexcept {
  return a.has_value() == b.has_value() && (!a || same_amount(*a, *b));
}

[[nodiscard]] inline bool same_interval(const Interval& a, const Interval& b) noexcept {
  return a.date_start == b.date_start && a.date_end == b.date_end && same_amount(a.start_amount, b.start_amount) &&
         same_amount(a.end_amount, b.end_amount) && same_amount(a.total_income, b.total_income) &&
         same_amount(a.total_expense, b.total_expense);
}

[[nodiscard]] inline bool same_document(const Document& a, const Document& b) noexcept {
  for (std::size_t i = 0; i < kDocumentFieldCount; ++i) {
    const auto f = static_cast<DocumentField>(i);
    if (a.text(f) != b.text(f)) return false;
  }
  for (DocumentField f : {DocumentField::DocDate, DocumentField::OutcomeDate, DocumentField::IncomeDate}) {
    if (a.date(f) != b.date(f)) return false;
  }
  return same_amount(a.amount(), b.amount());
}

[[nodiscard]] inline bool same_statement(const Statement& a, const Statement& b) noexcept {
  if (a.encoding != b.encoding || !(a.header == b.header) || a.accounts.size() != b.accounts.size() ||
      a.documents.size() != b.documents.size() || a.warnings != b.warnings) {
    return false;
  }
  for (std::size_t i = 0; i < a.accounts.size(); ++i) {
    const Account& x = a.accounts.items()[i];
    const Account& y = b.accounts.items()[i];
    if (x.number != y.number || !std::ranges::equal(x.intervals, y.intervals, same_interval)) return false;
  }
  return std::ranges::equal(a.documents, b.documents, same_document);
}

[[nodiscard]] inline bool same_result(const Result& a, const Result& b) noexcept {
  if (a.has_value() != b.has_value()) return false;
  return a ? same_statement(*a, *b) : a.error() == b.error();
}

// Raw lines of a decoded text, counted without the library: pieces split at LF, a final
// piece only if non-empty.
[[nodiscard]] inline std::uint64_t count_lines(std::string_view text) noexcept {
  const auto lf = static_cast<std::uint64_t>(std::ranges::count(text, '\n'));
  return lf + (!text.empty() && text.back() != '\n' ? 1 : 0);
}

// The message of an error as the format's table gives it, written out independently.
[[nodiscard]] inline std::string expected_message(const StatementError& e) {
  return std::visit(
      [](const auto& v) -> std::string {
        using T = std::decay_t<decltype(v)>;
        const auto q = [](std::string_view s) { return "'" + std::string(s) + "'"; };
        if constexpr (std::is_same_v<T, error::UnexpectedSection>)
          return "Unexpected section " + q(v.found) + " in context " + q(name(v.context));
        else if constexpr (std::is_same_v<T, error::UnexpectedAttribute>)
          return "Unexpected attribute " + q(v.key) + " = " + q(v.value);
        else if constexpr (std::is_same_v<T, error::UnrecognizedLine>)
          return "Unrecognized line: " + q(v.line);
        else if constexpr (std::is_same_v<T, error::MissingField>)
          return "Missing field " + q(v.field) + " in context " + q(name(v.context));
        else if constexpr (std::is_same_v<T, error::AccountParseError>)
          return "Account parse error: " + v.message;
        else if constexpr (std::is_same_v<T, error::DocumentParseError>)
          return "Document parse error: " + v.message;
        else if constexpr (std::is_same_v<T, error::HookError>)
          return "Hook error: " + v.message;
        else if constexpr (std::is_same_v<T, error::Unfinished>)
          return "Statement is not finished";
        else if constexpr (std::is_same_v<T, error::NotStatement>)
          return "Input is not a 1C statement";
        else
          return "Input is empty";
      },
      e);
}

[[nodiscard]] inline bool valid_date(const Date& d) noexcept {
  if (d.year < -262143 || d.year > 262142 || d.month < 1 || d.month > 12 || d.day < 1) return false;
  static constexpr std::uint8_t kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const bool leap = d.year % 4 == 0 && (d.year % 100 != 0 || d.year % 400 == 0);
  return d.day <= kDays[d.month - 1] + (d.month == 2 && leap ? 1 : 0);
}

[[nodiscard]] inline bool valid_amount(const Amount& a) noexcept {
  return a.scale <= 28 && !(a.negative && a.mantissa_low == 0 && a.mantissa_high == 0);
}

[[nodiscard]] inline bool valid_amount(const std::optional<Amount>& a) noexcept { return !a || valid_amount(*a); }

// The first invariant of a successful read that does not hold, or "" when all hold.
// `lines` is the number of raw lines of the decoded text.
[[nodiscard]] inline std::string statement_violation(const Statement& s, std::uint64_t lines) {
  for (std::size_t i = 0; i < s.accounts.size(); ++i) {
    const Account& account = s.accounts.items()[i];
    if (account.intervals.empty()) return "account without intervals";
    if (s.accounts.find(account.number) != &account) return "account not found under its own number";
    const auto by_start = [](const Interval& a, const Interval& b) { return a.date_start < b.date_start; };
    if (!std::ranges::is_sorted(account.intervals, by_start)) return "intervals not sorted by date_start";
    for (std::size_t j = 0; j < account.intervals.size(); ++j) {
      const Interval& in = account.intervals[j];
      if (!valid_date(in.date_start) || (in.date_end && !valid_date(*in.date_end))) return "invalid interval date";
      if (!valid_amount(in.start_amount) || !valid_amount(in.end_amount) || !valid_amount(in.total_income) ||
          !valid_amount(in.total_expense)) {
        return "invalid interval amount";
      }
      // Intervals equal in every field share a start date, so they would be neighbours
      // within one run; the merge keeps only the first.
      for (std::size_t k = j + 1; k < account.intervals.size() && account.intervals[k].date_start == in.date_start;
           ++k) {
        if (account.intervals[k] == in) return "duplicate interval kept";
      }
    }
  }
  static constexpr DocumentField kRequiredTexts[] = {
      DocumentField::DocNumber,       DocumentField::DocType,         DocumentField::Purpose,
      DocumentField::CounterpartyInn, DocumentField::CounterpartyBic, DocumentField::CounterpartyBank1,
      DocumentField::CounterpartyAccount, DocumentField::PayeeInn,    DocumentField::PayeeAccount,
      DocumentField::PayeeBic,        DocumentField::PayeeBank1};
  for (const Document& d : s.documents) {
    for (DocumentField f : kRequiredTexts) {
      if (!d.text(f)) return "required text field absent";
    }
    if (!d.date(DocumentField::DocDate)) return "document date absent";
    for (DocumentField f : {DocumentField::DocDate, DocumentField::OutcomeDate, DocumentField::IncomeDate}) {
      if (const auto date = d.date(f); date && !valid_date(*date)) return "invalid document date";
    }
    if (!valid_amount(d.amount())) return "invalid document amount";
  }
  std::uint64_t previous = 0;
  for (const Warning& w : s.warnings) {
    if (w.lineno == 0 || w.lineno > lines) return "warning line number out of range";
    // Each warning belongs to a different section end line, in input order.
    if (w.lineno <= previous) return "warning line numbers not increasing";
    if (w.message.empty()) return "empty warning message";
    previous = w.lineno;
  }
  return {};
}

// The first invariant of a failed read that does not hold, or "" when all hold.
[[nodiscard]] inline std::string error_violation(const StatementError& e, std::uint64_t lines) {
  if (std::holds_alternative<error::DocumentParseError>(e)) return "the reader produced DocumentParseError";
  if (message(e) != expected_message(e)) return "message differs from its kind's rendering: " + message(e);
  const std::optional<std::uint64_t> n = lineno(e);
  if (n.has_value() != (e.index() <= 6)) return "line number present for the wrong kinds";
  if (n && (*n == 0 || *n > lines)) return "error line number out of range";
  return {};
}

[[nodiscard]] inline std::string result_violation(const Result& r, std::uint64_t lines) {
  return r ? statement_violation(*r, lines) : error_violation(r.error(), lines);
}

}  // namespace varnok::check
