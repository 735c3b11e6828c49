// INN control digits, KPP and BIC formats, and an account number's control key against
// its bank's BIC (the Bank of Russia's weighting).
#include "requisites.hpp"

#include <algorithm>
#include <array>
#include <optional>

namespace varnok::native {
namespace {

using Problem = std::optional<std::string>;

bool is_digit(char c) noexcept { return c >= '0' && c <= '9'; }

// `count` ASCII digits.
bool digits(std::string_view text, std::size_t count) noexcept {
  return text.size() == count && std::all_of(text.begin(), text.end(), is_digit);
}

template <std::size_t N>
int control(std::string_view text, const std::array<int, N>& weights) noexcept {
  int sum = 0;
  for (std::size_t i = 0; i < N; ++i) sum += (text[i] - '0') * weights[i];
  return sum % 11 % 10;
}

constexpr std::array kInn10Weights{2, 4, 10, 3, 5, 9, 4, 6, 8};
constexpr std::array kInn11Weights{7, 2, 4, 10, 3, 5, 9, 4, 6, 8};
constexpr std::array kInn12Weights{3, 7, 2, 4, 10, 3, 5, 9, 4, 6, 8};

Problem inn_problem(std::string_view inn) {
  if (digits(inn, 5)) return std::nullopt;
  if (digits(inn, 10))
    return control(inn, kInn10Weights) == inn[9] - '0' ? Problem() : "INN control digit does not match";
  if (digits(inn, 12)) {
    const bool ok = control(inn, kInn11Weights) == inn[10] - '0' && control(inn, kInn12Weights) == inn[11] - '0';
    return ok ? Problem() : "INN control digits do not match";
  }
  return "INN must be 10 or 12 digits (or a foreign organisation's 5-digit code)";
}

Problem kpp_problem(std::string_view kpp) {
  const auto digit_or_capital = [](char c) { return is_digit(c) || (c >= 'A' && c <= 'Z'); };
  const bool ok = kpp.size() == 9 && digits(kpp.substr(0, 4), 4) && digits(kpp.substr(6), 3) &&
                  digit_or_capital(kpp[4]) && digit_or_capital(kpp[5]);
  return ok ? Problem() : "KPP must be 9 characters: 4 digits, 2 digits or letters A-Z, 3 digits";
}

Problem bic_problem(std::string_view bic) { return digits(bic, 9) ? Problem() : "BIC must be 9 digits"; }

// The key: 23 digits (3 from the BIC, then the account's 20) weighted 7, 1, 3 repeated;
// the sum's last digit must be 0. A bank's correspondent account, and any account of a
// cash settlement centre (BIC ending in 000, 001 or 002), take "0" and the BIC's 5th and
// 6th digits; others the BIC's last three. The Treasury's accounts (03...) carry no key.
Problem account_problem(std::string_view account, std::string_view bic, bool correspondent) {
  if (!digits(account, 20)) return "account number must be 20 digits";
  if (!digits(bic, 9) || account.starts_with("03")) return std::nullopt;  // a bad BIC is its own problem
  const std::string_view tail = bic.substr(6);
  const bool centre = tail == "000" || tail == "001" || tail == "002";
  const std::string prefix = correspondent || centre ? "0" + std::string(bic.substr(4, 2)) : std::string(tail);
  static constexpr std::array<int, 3> kWeights{7, 1, 3};
  int total = 0;
  for (std::size_t i = 0; i < 23; ++i) total += ((i < 3 ? prefix[i] : account[i - 3]) - '0') * kWeights[i % 3];
  return total % 10 == 0 ? Problem() : "account control key does not match BIC " + std::string(bic);
}

constexpr std::array<Requisite, kRequisiteCount> kRequisites{{
    {DocumentField::CounterpartyInn, Rule::Inn, DocumentField::CounterpartyBic},
    {DocumentField::CounterpartyKpp, Rule::Kpp, DocumentField::CounterpartyBic},
    {DocumentField::CounterpartyBic, Rule::Bic, DocumentField::CounterpartyBic},
    {DocumentField::CounterpartyAccount, Rule::Account, DocumentField::CounterpartyBic},
    {DocumentField::CounterpartyRasAccount, Rule::Account, DocumentField::CounterpartyBic},
    {DocumentField::CounterpartyCorAccount, Rule::CorrespondentAccount, DocumentField::CounterpartyBic},
    {DocumentField::PayeeInn, Rule::Inn, DocumentField::PayeeBic},
    {DocumentField::PayeeKpp, Rule::Kpp, DocumentField::PayeeBic},
    {DocumentField::PayeeBic, Rule::Bic, DocumentField::PayeeBic},
    {DocumentField::PayeeAccount, Rule::Account, DocumentField::PayeeBic},
    {DocumentField::PayeeRasAccount, Rule::Account, DocumentField::PayeeBic},
    {DocumentField::PayeeCorAccount, Rule::CorrespondentAccount, DocumentField::PayeeBic},
}};

// The position in kRequisites of a side's BIC.
constexpr std::size_t bic_position(DocumentField bic) noexcept { return bic == DocumentField::PayeeBic ? 8 : 2; }
static_assert(kRequisites[bic_position(DocumentField::CounterpartyBic)].field == DocumentField::CounterpartyBic);
static_assert(kRequisites[bic_position(DocumentField::PayeeBic)].field == DocumentField::PayeeBic);

}  // namespace

std::optional<std::string> requisite_problem(Rule rule, std::string_view value, std::string_view bic) {
  switch (rule) {
    case Rule::Amount:
      return value.starts_with('-') ? Problem("is negative: no payment is below zero") : Problem();
    case Rule::Inn:
      return inn_problem(value);
    case Rule::Kpp:
      return kpp_problem(value);
    case Rule::Bic:
      return bic_problem(value);
    case Rule::Account:
    case Rule::CorrespondentAccount:
      break;
  }
  return account_problem(value, bic, rule == Rule::CorrespondentAccount);
}

const std::array<Requisite, kRequisiteCount>& requisites() noexcept { return kRequisites; }

void requisite_problems(const std::array<std::optional<std::string_view>, kRequisiteCount>& texts,
                        std::vector<RequisiteProblem>& out) {
  for (std::size_t i = 0; i < kRequisiteCount; ++i) {
    const Requisite& r = kRequisites[i];
    const auto& value = texts[i];
    const auto& bic = texts[bic_position(r.bic)];
    if (!value || *value == "" || *value == "0") continue;
    if ((r.rule == Rule::Account || r.rule == Rule::CorrespondentAccount) && !bic) continue;
    if (auto problem = requisite_problem(r.rule, *value, bic.value_or("")))
      out.push_back({static_cast<std::size_t>(r.field), std::string(*value), std::move(*problem)});
  }
}

void requisite_problems(const Document& d, std::vector<RequisiteProblem>& out) {
  std::array<std::optional<std::string_view>, kRequisiteCount> texts;
  for (std::size_t i = 0; i < kRequisiteCount; ++i) texts[i] = d.text(kRequisites[i].field);
  requisite_problems(texts, out);
  if (d.amount().negative) {
    const auto text = format_amount(d.amount());
    if (auto problem = requisite_problem(Rule::Amount, text.view(), ""))
      out.push_back({static_cast<std::size_t>(DocumentField::Amount), std::string(text.view()), std::move(*problem)});
  }
}

}  // namespace varnok::native
