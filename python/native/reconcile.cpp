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

 private:
  // Where the amounts of one scale are, in date order: a handful of scales at most.
  struct Places {
    int scale;
    std::vector<std::size_t> positions;
  };

  std::vector<Date> dates_;
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

}  // namespace

std::optional<std::vector<Finding>> reconcile(const Statement& s) {
  const auto sides = turnovers(s);
  if (!sides) return std::nullopt;
  std::vector<Finding> findings;
  for (const Account& account : s.accounts.items()) {
    const Turnover& income = sides->first.at(account.number);
    const Turnover& expense = sides->second.at(account.number);
    for (const Interval& i : account.intervals) {
      const Date first = i.date_start, last = i.date_end.value_or(first);
      bool in_range = true;
      const auto finding = [&](std::string_view check, ExactAmount expected, std::optional<ExactAmount> actual) {
        const auto same = actual ? same_value(expected, *actual) : std::nullopt;
        if (!same) in_range = false;
        else if (!*same) findings.push_back({account.number, first, i.date_end, check, expected, *actual});
      };
      if (i.end_amount && i.total_income && i.total_expense) {
        const auto in = add(exact(i.start_amount), exact(*i.total_income));
        finding("balance", exact(*i.end_amount), in ? subtract(*in, exact(*i.total_expense)) : std::nullopt);
      }
      if (i.total_income) finding("income", exact(*i.total_income), income.between(first, last));
      if (i.total_expense) finding("expense", exact(*i.total_expense), expense.between(first, last));
      if (!in_range) return std::nullopt;
    }
  }
  return findings;
}

}  // namespace varnok::native
