// Account sections: one Interval per section, grouped into Accounts by number.
#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include <varnok/amount.hpp>
#include <varnok/date.hpp>

namespace varnok {

// One account section. Equality is field-wise with numeric amounts.
struct Interval {
  Date date_start;
  std::optional<Date> date_end;
  Amount start_amount;
  std::optional<Amount> end_amount;
  std::optional<Amount> total_income;
  std::optional<Amount> total_expense;

  friend bool operator==(const Interval&, const Interval&) = default;
};

// intervals are sorted by date_start; equal start dates keep arrival order.
struct Account {
  std::string number;
  std::vector<Interval> intervals;

  friend bool operator==(const Account&, const Account&) = default;
};

namespace detail {
// Lets the index be searched with a string_view, without building a std::string.
struct TransparentStringHash {
  using is_transparent = void;
  [[nodiscard]] std::size_t operator()(std::string_view s) const noexcept;
};
}  // namespace detail

// Accounts in order of first appearance, looked up by exact number. The numbers are the
// index's keys, so only the intervals can be changed in place.
class AccountMap {
 public:
  // The account whose number equals `number` byte for byte, or nullptr. Valid until the
  // next append.
  [[nodiscard]] const Account* find(std::string_view number) const noexcept;
  // Its position in items(), or nullopt.
  [[nodiscard]] std::optional<std::size_t> index_of(std::string_view number) const noexcept;
  // Appends a new account; the number must not be present yet. May throw std::bad_alloc.
  void append(std::string number, Interval first);
  // The intervals of the account at `index` (< size()), to add to or reorder.
  [[nodiscard]] std::vector<Interval>& intervals_at(std::size_t index) noexcept { return accounts_[index].intervals; }

  [[nodiscard]] std::size_t size() const noexcept { return accounts_.size(); }
  [[nodiscard]] bool empty() const noexcept { return accounts_.empty(); }
  // The accounts in order of first appearance.
  [[nodiscard]] std::span<const Account> items() const noexcept { return accounts_; }
  // Moves the accounts out (to consume them), leaving the map empty.
  [[nodiscard]] std::vector<Account> release() noexcept;

 private:
  std::vector<Account> accounts_;
  std::unordered_map<std::string, std::size_t, detail::TransparentStringHash, std::equal_to<>> index_;
};

}  // namespace varnok
