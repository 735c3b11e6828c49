// AccountMap: the accounts in order of first appearance with a hashed index by number.
#include <varnok/account.hpp>

#include <utility>

#include "parser/model/hash.hpp"

namespace varnok {

std::size_t detail::TransparentStringHash::operator()(std::string_view s) const noexcept { return hash_text(s); }

const Account* AccountMap::find(std::string_view number) const noexcept {
  const auto index = index_of(number);
  return index ? &accounts_[*index] : nullptr;
}

std::optional<std::size_t> AccountMap::index_of(std::string_view number) const noexcept {
  const auto it = index_.find(number);
  return it == index_.end() ? std::nullopt : std::optional{it->second};
}

void AccountMap::append(std::string number, Interval first) {
  // The index keeps its own copy of the number: views into accounts_ would dangle when
  // the vector grows and moves short (inline-stored) strings.
  index_.emplace(number, accounts_.size());
  Account& account = accounts_.emplace_back(std::move(number), std::vector<Interval>{});
  account.intervals.push_back(std::move(first));
}

std::vector<Account> AccountMap::release() noexcept {
  index_.clear();
  return std::exchange(accounts_, {});
}

}  // namespace varnok
