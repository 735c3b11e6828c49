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
  std::string_view check;  // "balance", "income" or "expense"
  ExactAmount expected;    // the statement's own figure
  ExactAmount actual;      // the computed one
};

// The findings of `s`, account by account in the statement's order, interval by interval,
// check by check. For an interval from S to E (S when it has no end date):
//   balance: start + income - expense must equal the end amount, when all four are given;
//   income: the income total must equal the sum of the documents whose payee account is the
//     account and whose income date (ДатаПоступило, else Дата) lies in [S, E];
//   expense: likewise with the payer account and the date debited (ДатаСписано, else Дата).
// nullopt when a sum leaves the 128 bits of ExactAmount (the caller then reconciles in
// Python's Decimal, which has no such bound). Views into `s`.
[[nodiscard]] std::optional<std::vector<Finding>> reconcile(const Statement& s);

}  // namespace varnok::native
