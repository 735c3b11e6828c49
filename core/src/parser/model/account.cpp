// AccountMap: the accounts in order of first appearance with a hashed index by number.
#include <varnok/account.hpp>

#include <utility>

#include "parser/model/hash.hpp"

namespace varnok {

std::size_t detail::TransparentStringHash::operator()(std::string_view s) const noexcept { return hash_text(s); }

Account* AccountMap::find(std::string_view number) noexcept {
  const auto it = index_.find(number);
  return it == index_.end() ? nullptr : &accounts_[it->second];
}

const Account* AccountMap::find(std::string_view number) const noexcept {
  const auto it = index_.find(number);
  return it == index_.end() ? nullptr : &accounts_[it->second];
}

Account& AccountMap::append(std::string number, Interval first) {
  // The index keeps its own copy of the number: views into accounts_ would dangle when
  // the vector grows and moves short (inline-stored) strings.
  index_.emplace(number, accounts_.size());
  Account& account = accounts_.emplace_back(std::move(number), std::vector<Interval>{});
  account.intervals.push_back(std::move(first));
  return account;
}

}  // namespace varnok
