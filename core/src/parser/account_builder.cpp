// Account sections: converting the six known keys into an Interval, and collecting the
// intervals into their accounts.
#include "parser/account_builder.hpp"

#include <algorithm>
#include <cstdint>
#include <functional>
#include <optional>
#include <utility>

#include "parser/model/amount_mantissa.hpp"
#include "parser/model/hash.hpp"
#include "parser/values.hpp"

namespace varnok {

namespace {

constexpr std::string_view kDateStart = field_info(IntervalField::DateStart).key;
constexpr std::string_view kDateEnd = field_info(IntervalField::DateEnd).key;
constexpr std::string_view kStartAmount = field_info(IntervalField::StartAmount).key;
constexpr std::string_view kEndAmount = field_info(IntervalField::EndAmount).key;
constexpr std::string_view kTotalIncome = field_info(IntervalField::TotalIncome).key;
constexpr std::string_view kTotalExpense = field_info(IntervalField::TotalExpense).key;

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
  const std::string_view* number = attrs.find(kAccountNumberKey);
  if (number == nullptr) return std::unexpected(AccountFailure{AccountFailure::Kind::MissingNumber, {}});
  interval.date_start = *date_start;
  interval.start_amount = *start_amount;
  return BuiltInterval{std::move(interval), *number};
}

std::size_t IntervalMerger::SeenHash::operator()(const Seen& seen) const noexcept {
  std::size_t h = detail::hash_seed() ^ seen.account;
  const auto mix = [&h](std::size_t v) { h ^= v + 0x9e3779b97f4a7c15ULL + (h << 6) + (h >> 2); };
  const auto mix_date = [&mix](const Date& d) {
    mix(static_cast<std::size_t>(static_cast<std::uint32_t>(d.year)) << 16 | std::size_t{d.month} << 8 | d.day);
  };
  // Equal amounts may differ in scale (100.5 and 100.50), so the hash sees them without
  // trailing fraction zeros.
  const auto mix_amount = [&mix](const Amount& a) {
    detail::Uint128 m = detail::mantissa(a);
    unsigned scale = a.scale;
    while (scale > 0 && m % 10 == 0) {
      m /= 10;
      --scale;
    }
    mix(static_cast<std::size_t>(m) ^ static_cast<std::size_t>(m >> 64));
    mix(std::size_t{scale} << 1 | (m != 0 && a.negative ? 1U : 0U));
  };
  const Interval& i = seen.interval;
  mix_date(i.date_start);
  mix(i.date_end.has_value());
  if (i.date_end) mix_date(*i.date_end);
  mix_amount(i.start_amount);
  for (const std::optional<Amount>* a : {&i.end_amount, &i.total_income, &i.total_expense}) {
    mix(a->has_value());
    if (*a) mix_amount(**a);
  }
  return h;
}

void IntervalMerger::add(AccountMap& accounts, std::string_view number, Interval interval) {
  const std::optional<std::size_t> found = accounts.index_of(number);
  const std::size_t index = found.value_or(accounts.size());
  // Equal intervals share a start date, so "equal to any collected one" is the same as
  // "equal to one of the same start".
  if (!seen_.insert(Seen{index, interval}).second) return;
  if (found) {
    accounts.intervals_at(index).push_back(std::move(interval));
  } else {
    accounts.append(std::string(number), std::move(interval));
  }
}

void IntervalMerger::finish(AccountMap& accounts) {
  const auto by_start = [](const Interval& a, const Interval& b) { return a.date_start < b.date_start; };
  for (std::size_t i = 0; i < accounts.size(); ++i) {
    // Statements usually list periods in order; then there is nothing to move.
    std::vector<Interval>& intervals = accounts.intervals_at(i);
    if (!std::ranges::is_sorted(intervals, by_start)) std::ranges::stable_sort(intervals, by_start);
  }
}

}  // namespace varnok
