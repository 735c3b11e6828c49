// Field validation for varnok check: the checks Russian payment requisites carry in
// themselves (the rules of varnok.validate, which tests hold the two to).
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "core_api.hpp"

namespace varnok::native {

struct RequisiteProblem {
  std::size_t field;       // the row in the core's field table
  std::string_view value;  // into the document
  std::string message;
};

// The failing requisites of one document, side by side (payer, then payee), each side's
// INN, KPP, BIC, account, settlement account, correspondent account. A requisite that is
// absent, empty or "0" is not checked; an account is not checked without its side's BIC.
void requisite_problems(const Document& d, std::vector<RequisiteProblem>& out);

}  // namespace varnok::native
