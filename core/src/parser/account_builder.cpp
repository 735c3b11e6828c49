// Account sections: converting the six known keys into an Interval, and merging it into
// its account's sorted intervals.
#include "parser/account_builder.hpp"

#include <algorithm>
#include <utility>

#include "parser/values.hpp"

namespace varnok {

namespace {

constexpr std::string_view kDateStart = "ДатаНачала";
constexpr std::string_view kDateEnd = "ДатаКонца";
constexpr std::string_view kStartAmount = "НачальныйОстаток";
constexpr std::string_view kEndAmount = "КонечныйОстаток";
constexpr std::string_view kTotalIncome = "ВсегоПоступило";
constexpr std::string_view kTotalExpense = "ВсегоСписано";
constexpr std::string_view kNumber = "РасчСчет";

std::unexpected<AccountFailure> parse_error(std::string text) {
  return std::unexpected(AccountFailure{AccountFailure::Kind::ParseError, std::move(text)});
}

std::unexpected<AccountFailure> missing(std::string_view key) {
  std::string text = "missing field `";
  text.append(key).append("`");
  return parse_error(std::move(text));
}

// Stores a parsed value, or hands on the parser's failure text.
template <class Slot, class Parsed>
std::expected<void, std::string> store(Slot& slot, std::expected<Parsed, std::string> parsed) {
  if (!parsed) return std::unexpected(std::move(parsed.error()));
  slot = std::move(*parsed);
  return {};
}

}  // namespace

std::expected<BuiltInterval, AccountFailure> build_interval(const Attributes& attrs) {
  std::optional<Date> date_start;
  std::optional<Amount> start_amount;
  Interval interval;

  // Values are converted as they are met, so the first bad one in attribute order wins.
  for (const auto& entry : attrs) {
    const std::string_view key = entry.key;
    const std::string_view value = entry.value;
    std::expected<void, std::string> stored;
    if (key == kDateStart) {
      stored = store(date_start, parse_required_date(value));
    } else if (key == kDateEnd) {
      stored = store(interval.date_end, parse_optional_date(value));
    } else if (key == kStartAmount) {
      stored = store(start_amount, parse_amount(value));
    } else if (key == kEndAmount) {
      stored = store(interval.end_amount, parse_amount(value));
    } else if (key == kTotalIncome) {
      stored = store(interval.total_income, parse_amount(value));
    } else if (key == kTotalExpense) {
      stored = store(interval.total_expense, parse_amount(value));
    }
    if (!stored) return parse_error(std::move(stored.error()));
  }

  if (!date_start) return missing(kDateStart);
  if (!start_amount) return missing(kStartAmount);
  const std::string* number = attrs.find(kNumber);
  if (number == nullptr) return std::unexpected(AccountFailure{AccountFailure::Kind::MissingNumber, {}});
  interval.date_start = *date_start;
  interval.start_amount = *start_amount;
  return BuiltInterval{std::move(interval), *number};
}

void merge(AccountMap& accounts, std::string_view number, Interval interval) {
  Account* account = accounts.find(number);
  if (account == nullptr) {
    accounts.append(std::string(number), std::move(interval));
    return;
  }
  auto& intervals = account->intervals;
  const auto by_start = [](const Interval& a, const Interval& b) { return a.date_start < b.date_start; };
  // [run, run_end) holds the intervals that start on the same day as the new one.
  const auto run = std::lower_bound(intervals.begin(), intervals.end(), interval, by_start);
  const auto run_end = std::upper_bound(run, intervals.end(), interval, by_start);
  if (std::find(run, run_end, interval) != run_end) return;  // an identical period is kept once
  intervals.insert(run_end, std::move(interval));
}

}  // namespace varnok
