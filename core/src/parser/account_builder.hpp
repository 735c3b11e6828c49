// Account sections: attributes to an Interval, and the merge into the accounts.
#pragma once

#include <cstddef>
#include <expected>
#include <string>
#include <string_view>
#include <unordered_set>

#include <varnok/account.hpp>
#include <varnok/attributes.hpp>
#include <varnok/fields.hpp>

namespace varnok {

// The key of the account number, which every account section must hold.
inline constexpr std::string_view kAccountNumberKey = kAccountNumberField.key;

struct AccountFailure {
  enum class Kind { ParseError, MissingNumber };
  Kind kind;
  std::string message;  // the AccountParseError text; empty for MissingNumber
};

struct BuiltInterval {
  Interval interval;
  std::string_view number;  // borrowed: the "РасчСчет" value inside the attributes
};

// Converts the six known keys in attribute order; the first bad value wins, then a
// missing ДатаНачала, then a missing НачальныйОстаток (ParseError texts), then a missing
// РасчСчет (MissingNumber). Never throws on bad input.
[[nodiscard]] std::expected<BuiltInterval, AccountFailure> build_interval(const Attributes& attrs);

// Collects the intervals of one read into its accounts. An interval equal to one already
// collected for the same account is dropped; the others are appended in arrival order and
// sorted by start date once, in finish(), so that any arrival order costs O(n log n).
class IntervalMerger {
 public:
  // A new account goes at the end of the map.
  void add(AccountMap& accounts, std::string_view number, Interval interval);
  // Sorts every account's intervals by date_start, keeping arrival order on equal starts.
  static void finish(AccountMap& accounts);

 private:
  struct Seen {
    std::size_t account;  // index in the map
    Interval interval;
    friend bool operator==(const Seen&, const Seen&) = default;
  };
  struct SeenHash {
    [[nodiscard]] std::size_t operator()(const Seen& seen) const noexcept;
  };
  std::unordered_set<Seen, SeenHash> seen_;
};

}  // namespace varnok
