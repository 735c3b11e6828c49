// Account sections: attributes to an Interval, and the merge into the accounts.
#pragma once

#include <expected>
#include <string>
#include <string_view>

#include "parser/model/account.hpp"
#include "parser/model/attributes.hpp"

namespace varnok {

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

// Adds the interval to the account `number`: a new account at the end, otherwise after
// the run of intervals with the same start date, unless an equal interval is in that run.
void merge(AccountMap& accounts, std::string_view number, Interval interval);

}  // namespace varnok
