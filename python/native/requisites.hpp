// Field validation for varnok check: the checks Russian payment requisites carry in
// themselves (the rules of varnok.validate, which tests hold the two to).
#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core_api.hpp"

namespace varnok::native {

enum class Rule : unsigned char { Inn, Kpp, Bic, Account, CorrespondentAccount, Amount };

// Why `value` fails `rule`, or nullopt: INN (10 digits for an organisation, 12 for a
// person, with their control digits; 5 digits is a foreign organisation's code), KPP (4
// digits, 2 digits or capital Latin letters, 3 digits), BIC (9 digits), an account's
// control key against `bic` (a bad BIC is the BIC's own problem, not the account's), and an
// amount below zero (the reader takes a sign, but no payment is negative: one would offset
// another in the turnover).
[[nodiscard]] std::optional<std::string> requisite_problem(Rule rule, std::string_view value, std::string_view bic);

// The requisites checked, side by side (payer, then payee): each side's INN, KPP, BIC,
// account, settlement account, correspondent account.
struct Requisite {
  DocumentField field;
  Rule rule;
  DocumentField bic;  // its side's BIC
};
inline constexpr std::size_t kRequisiteCount = 12;
[[nodiscard]] const std::array<Requisite, kRequisiteCount>& requisites() noexcept;

struct RequisiteProblem {
  std::size_t field;  // the row in the core's field table
  std::string value;  // as the file has it
  std::string message;
};

// The failing requisites among `texts` (the value of each of requisites(), nullopt when
// absent), in that order. A requisite that is absent, empty or "0" is not checked (payment
// orders write 0 for one the party does not have), nor an account without its side's BIC.
void requisite_problems(const std::array<std::optional<std::string_view>, kRequisiteCount>& texts,
                        std::vector<RequisiteProblem>& out);
// The same for a document's requisites, then its amount.
void requisite_problems(const Document& d, std::vector<RequisiteProblem>& out);

}  // namespace varnok::native
