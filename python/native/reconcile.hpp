// Reconciliation for varnok check: whether each account interval's balance adds up and
// whether its turnover matches the documents (the rules of varnok.reconcile, exactly).
#pragma once

#include <optional>
#include <string_view>
#include <vector>

#include "core_api.hpp"
#include "exact_amount.hpp"

namespace varnok::native {

struct Finding {
  std::string_view account;  // into the statement
  Date date_start;
  std::optional<Date> date_end;
  std::string_view check;  // "opening", "balance", "income", "expense", "outside income" or "outside expense"
  ExactAmount expected;    // the statement's own figure (0 for a day outside the intervals)
  ExactAmount actual;      // the computed one
};

// The findings of `s`, account by account in the statement's order, interval by interval,
// check by check, then the days outside the account's intervals. For an interval from S to
// E (S when it has no end date):
//   opening: the start amount must equal the end amount of the interval before it (of those
//     listed before, the one that ends last), when that one ends before S and gives it;
//   balance: start + income - expense must equal the end amount, when all four are given;
//   income: the income total must equal the sum of the documents whose payee account is the
//     account and whose income date (ДатаПоступило, else Дата) lies in [S, E];
//   expense: likewise with the payer account and the date debited (ДатаСписано, else Дата).
// outside income, outside expense: for an account with intervals, each day none of them
// covers whose such documents do not sum to 0, with their sum.
// nullopt when a sum leaves the 128 bits of ExactAmount (the caller then reconciles in
// Python's Decimal, which has no such bound). Views into `s`.
[[nodiscard]] std::optional<std::vector<Finding>> reconcile(const Statement& s);

}  // namespace varnok::native
