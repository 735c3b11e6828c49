// reconcile: per account and side, the documents sorted by date with running sums, so that
// each interval's sum is two binary searches.
#include "reconcile.hpp"

#include <algorithm>
#include <unordered_map>

namespace varnok::native {
namespace {

struct Entry {
  Date date;
  ExactAmount amount;
};

// The documents of one account and side by date, with running sums. The sums keep the
// largest scale seen so far, as Decimal's do; an interval's sum is brought back to the
// largest scale among its own documents, as adding only those would give it.
class Turnover {
 public:
  // False when a running sum leaves 128 bits.
  [[nodiscard]] bool build(std::vector<Entry> entries) {
    std::stable_sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) { return a.date < b.date; });
    dates_.reserve(entries.size());
    sums_.assign(1, ExactAmount{});
    for (const Entry& e : entries) {
      const auto sum = add(sums_.back(), e.amount);
      if (!sum) return false;
      dates_.push_back(e.date);
      amounts_.push_back(e.amount);
      sums_.push_back(*sum);
      auto at = std::ranges::find(places_, e.amount.scale, &Places::scale);
      if (at == places_.end()) at = places_.insert(at, {e.amount.scale, {}});
      at->positions.push_back(dates_.size() - 1);
    }
    return true;
  }

  [[nodiscard]] std::optional<ExactAmount> between(Date first, Date last) const noexcept {
    const auto lo = std::lower_bound(dates_.begin(), dates_.end(), first) - dates_.begin();
    const auto hi = std::upper_bound(dates_.begin(), dates_.end(), last) - dates_.begin();
    if (hi <= lo) return ExactAmount{};
    const auto sum = subtract(sums_[static_cast<std::size_t>(hi)], sums_[static_cast<std::size_t>(lo)]);
    if (!sum) return std::nullopt;
    int scale = 0;
    for (const Places& p : places_) {
      const auto first_at = std::ranges::lower_bound(p.positions, static_cast<std::size_t>(lo));
      if (first_at != p.positions.end() && *first_at < static_cast<std::size_t>(hi)) scale = std::max(scale, p.scale);
    }
    return with_fewer_places(*sum, scale);
  }

  // The sum of the documents of each day that no run of `covered` holds (sorted, disjoint
  // runs of days), in date order; nullopt beyond 128 bits.
  [[nodiscard]] std::optional<std::vector<std::pair<Date, ExactAmount>>> outside(
      const std::vector<std::pair<Date, Date>>& covered) const {
    std::vector<std::pair<Date, ExactAmount>> sums;
    for (std::size_t i = 0; i < dates_.size(); ++i) {
      const Date day = dates_[i];
      const auto run = std::upper_bound(covered.begin(), covered.end(), day,
                                        [](Date d, const std::pair<Date, Date>& r) { return d < r.first; });
      if (run != covered.begin() && day <= std::prev(run)->second) continue;
      if (sums.empty() || sums.back().first != day) sums.emplace_back(day, ExactAmount{});
      const auto sum = add(sums.back().second, amounts_[i]);
      if (!sum) return std::nullopt;
      sums.back().second = *sum;
    }
    return sums;
  }

 private:
  // Where the amounts of one scale are, in date order: a handful of scales at most.
  struct Places {
    int scale;
    std::vector<std::size_t> positions;
  };

  std::vector<Date> dates_;
  std::vector<ExactAmount> amounts_;
  std::vector<ExactAmount> sums_{ExactAmount{}};
  std::vector<Places> places_;
};

using Side = std::unordered_map<std::string_view, Turnover>;

// The income and expense turnover of each of the statement's accounts.
std::optional<std::pair<Side, Side>> turnovers(const Statement& s) {
  std::unordered_map<std::string_view, std::vector<Entry>> income, expense;
  for (const Account& a : s.accounts.items()) {
    income[a.number];
    expense[a.number];
  }
  const auto put = [](auto& side, const Document& d, DocumentField account, DocumentField date) {
    const auto number = d.text(account);
    if (!number) return;
    const auto found = side.find(*number);
    if (found == side.end()) return;
    found->second.push_back({d.date(date).value_or(*d.date(DocumentField::DocDate)), exact(d.amount())});
  };
  for (const Document& d : s.documents) {
    put(income, d, DocumentField::PayeeAccount, DocumentField::IncomeDate);
    put(expense, d, DocumentField::CounterpartyAccount, DocumentField::OutcomeDate);
  }
  std::pair<Side, Side> out;
  for (auto& [number, entries] : income)
    if (!out.first[number].build(std::move(entries))) return std::nullopt;
  for (auto& [number, entries] : expense)
    if (!out.second[number].build(std::move(entries))) return std::nullopt;
  return out;
}

// The days an account's intervals cover, as sorted disjoint (first, last) runs.
std::vector<std::pair<Date, Date>> covered_days(const Account& account) {
  std::vector<std::pair<Date, Date>> spans;
  for (const Interval& i : account.intervals) {
    const Date last = i.date_end.value_or(i.date_start);
    if (!(last < i.date_start)) spans.emplace_back(i.date_start, last);  // (a reversed one covers none)
  }
  std::ranges::sort(spans);
  std::vector<std::pair<Date, Date>> runs;
  for (const auto& [first, last] : spans) {
    if (!runs.empty() && first <= runs.back().second) runs.back().second = std::max(runs.back().second, last);
    else runs.emplace_back(first, last);
  }
  return runs;
}

// The outside income and outside expense findings of one account, day by day.
bool append_outside(std::vector<Finding>& findings, const Account& account, const Turnover& income,
                    const Turnover& expense) {
  const auto covered = covered_days(account);
  if (covered.empty()) return true;
  const auto in = income.outside(covered);
  const auto out = expense.outside(covered);
  if (!in || !out) return false;
  const auto put = [&](std::string_view check, Date day, ExactAmount sum) {
    if (sum.units != 0) findings.push_back({account.number, day, std::nullopt, check, {}, sum});  // (a sum of 0 is no gap)
  };
  auto a = in->begin(), b = out->begin();
  while (a != in->end() || b != out->end()) {
    const Date day = b == out->end() || (a != in->end() && a->first <= b->first) ? a->first : b->first;
    if (a != in->end() && a->first == day) put("outside income", day, (a++)->second);
    if (b != out->end() && b->first == day) put("outside expense", day, (b++)->second);
  }
  return true;
}

}  // namespace

std::optional<std::vector<Finding>> reconcile(const Statement& s) {
  const auto sides = turnovers(s);
  if (!sides) return std::nullopt;
  std::vector<Finding> findings;
  for (const Account& account : s.accounts.items()) {
    const Turnover& income = sides->first.at(account.number);
    const Turnover& expense = sides->second.at(account.number);
    const Interval* previous = nullptr;  // of the intervals before, the one that ends last (the later on a tie)
    const auto last_day = [](const Interval& i) { return i.date_end.value_or(i.date_start); };
    for (const Interval& i : account.intervals) {
      const Date first = i.date_start, last = i.date_end.value_or(first);
      bool in_range = true;
      const auto finding = [&](std::string_view check, ExactAmount expected, std::optional<ExactAmount> actual) {
        const auto same = actual ? same_value(expected, *actual) : std::nullopt;
        if (!same) in_range = false;
        else if (!*same) findings.push_back({account.number, first, i.date_end, check, expected, *actual});
      };
      if (previous != nullptr && previous->end_amount && last_day(*previous) < first)
        finding("opening", exact(i.start_amount), exact(*previous->end_amount));
      if (previous == nullptr || !(last_day(i) < last_day(*previous))) previous = &i;
      if (i.end_amount && i.total_income && i.total_expense) {
        const auto in = add(exact(i.start_amount), exact(*i.total_income));
        finding("balance", exact(*i.end_amount), in ? subtract(*in, exact(*i.total_expense)) : std::nullopt);
      }
      if (i.total_income) finding("income", exact(*i.total_income), income.between(first, last));
      if (i.total_expense) finding("expense", exact(*i.total_expense), expense.between(first, last));
      if (!in_range) return std::nullopt;
    }
    if (!append_outside(findings, account, income, expense)) return std::nullopt;
  }
  return findings;
}

}  // namespace varnok::native
