// The field schema: the one table of the 53 known keys of a document section, with each
// field's attribute name, kind and whether a document needs it; and the account section's keys.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

namespace varnok {

// A field, by its row in kDocumentFields (same order).
enum class DocumentField : std::uint8_t {
  DocNumber, DocType, PaymentType, DocDate, Purpose, Ordering, Amount,
  CounterpartyInn, CounterpartyKpp, CounterpartyBic, CounterpartyBank1, CounterpartyAccount,
  Counterparty, Counterparty1, OutcomeDate, CounterpartyRasAccount, CounterpartyCorAccount,
  PayeeInn, Payee, PayeeAccount, PayeeKpp, PayeeBic, PayeeBank1, PayeeRasAccount,
  PayeeCorAccount, IncomeDate,
  Counterparty2, Counterparty3, Counterparty4, CounterpartyBank2,
  Payee1, Payee2, Payee3, Payee4, PayeeBank2,
  PaymentKind, PaymentDeadline, Uin, PurposeCode,
  Purpose1, Purpose2, Purpose3, Purpose4, Purpose5, Purpose6,
  CompilerStatus, Kbk, Okato, TaxBasis, TaxPeriod, TaxNumber, TaxDate, TaxType,
};

inline constexpr std::size_t kDocumentFieldCount = 53;

// Text is kept as written; Date is read day.month.year, Amount as a fixed-point decimal.
enum class FieldKind : std::uint8_t { Text, Date, Amount };

struct FieldInfo {
  std::string_view key;   // the statement key, UTF-8
  std::string_view name;  // the attribute name (Python and the toolkit), NUL-terminated
  FieldKind kind;
  bool required;          // a document lacking it is dropped with a warning; an account
                          // section lacking it stops the read
};

// Declaration order: also the order in which missing required fields are looked for,
// and the order in which a document's texts are stored. СекцияДокумент is the kind from
// the section's first line. Columns: key, name, kind, required. tools/gen_fields.py
// reads this table.
inline constexpr std::array<FieldInfo, kDocumentFieldCount> kDocumentFields{{
    {"Номер", "doc_number", FieldKind::Text, true},
    {"СекцияДокумент", "doc_type", FieldKind::Text, true},
    {"ВидОплаты", "payment_type", FieldKind::Text, false},
    {"Дата", "doc_date", FieldKind::Date, true},
    {"НазначениеПлатежа", "purpose", FieldKind::Text, true},
    {"Очередность", "ordering", FieldKind::Text, false},
    {"Сумма", "amount", FieldKind::Amount, true},
    {"ПлательщикИНН", "counterparty_inn", FieldKind::Text, true},
    {"ПлательщикКПП", "counterparty_kpp", FieldKind::Text, false},
    {"ПлательщикБИК", "counterparty_bic", FieldKind::Text, true},
    {"ПлательщикБанк1", "counterparty_bank1", FieldKind::Text, true},
    {"ПлательщикСчет", "counterparty_account", FieldKind::Text, true},
    {"Плательщик", "counterparty", FieldKind::Text, false},
    {"Плательщик1", "counterparty_1", FieldKind::Text, false},
    {"ДатаСписано", "outcome_date", FieldKind::Date, false},
    {"ПлательщикРасчСчет", "counterparty_ras_account", FieldKind::Text, false},
    {"ПлательщикКорсчет", "counterparty_cor_account", FieldKind::Text, false},
    {"ПолучательИНН", "payee_inn", FieldKind::Text, true},
    {"Получатель", "payee", FieldKind::Text, false},
    {"ПолучательСчет", "payee_account", FieldKind::Text, true},
    {"ПолучательКПП", "payee_kpp", FieldKind::Text, false},
    {"ПолучательБИК", "payee_bic", FieldKind::Text, true},
    {"ПолучательБанк1", "payee_bank1", FieldKind::Text, true},
    {"ПолучательРасчСчет", "payee_ras_account", FieldKind::Text, false},
    {"ПолучательКорсчет", "payee_cor_account", FieldKind::Text, false},
    {"ДатаПоступило", "income_date", FieldKind::Date, false},
    {"Плательщик2", "counterparty_2", FieldKind::Text, false},
    {"Плательщик3", "counterparty_3", FieldKind::Text, false},
    {"Плательщик4", "counterparty_4", FieldKind::Text, false},
    {"ПлательщикБанк2", "counterparty_bank2", FieldKind::Text, false},
    {"Получатель1", "payee_1", FieldKind::Text, false},
    {"Получатель2", "payee_2", FieldKind::Text, false},
    {"Получатель3", "payee_3", FieldKind::Text, false},
    {"Получатель4", "payee_4", FieldKind::Text, false},
    {"ПолучательБанк2", "payee_bank2", FieldKind::Text, false},
    {"ВидПлатежа", "payment_kind", FieldKind::Text, false},
    {"СрокПлатежа", "payment_deadline", FieldKind::Text, false},
    {"Код", "uin", FieldKind::Text, false},
    {"КодНазПлатежа", "purpose_code", FieldKind::Text, false},
    {"НазначениеПлатежа1", "purpose_1", FieldKind::Text, false},
    {"НазначениеПлатежа2", "purpose_2", FieldKind::Text, false},
    {"НазначениеПлатежа3", "purpose_3", FieldKind::Text, false},
    {"НазначениеПлатежа4", "purpose_4", FieldKind::Text, false},
    {"НазначениеПлатежа5", "purpose_5", FieldKind::Text, false},
    {"НазначениеПлатежа6", "purpose_6", FieldKind::Text, false},
    {"СтатусСоставителя", "compiler_status", FieldKind::Text, false},
    {"ПоказательКБК", "kbk", FieldKind::Text, false},
    {"ОКАТО", "okato", FieldKind::Text, false},
    {"ПоказательОснования", "tax_basis", FieldKind::Text, false},
    {"ПоказательПериода", "tax_period", FieldKind::Text, false},
    {"ПоказательНомера", "tax_number", FieldKind::Text, false},
    {"ПоказательДаты", "tax_date", FieldKind::Text, false},
    {"ПоказательТипа", "tax_type", FieldKind::Text, false},
}};

// The order in which a Python Document lists its attributes (and the README and the
// stubs show them): the number, kind, date, amount and purpose first, the debit date
// beside the payer's accounts; otherwise the table's order.
inline constexpr std::array<DocumentField, kDocumentFieldCount> kAttributeOrder = [] {
  using enum DocumentField;
  constexpr DocumentField kMoved[] = {DocNumber, DocType, DocDate, Amount, Purpose};
  std::array<DocumentField, kDocumentFieldCount> order{};
  std::size_t n = 0;
  for (DocumentField f : kMoved) order[n++] = f;
  for (std::size_t i = 0; i < kDocumentFieldCount; ++i) {
    const auto f = static_cast<DocumentField>(i);
    bool moved = f == OutcomeDate;
    for (DocumentField m : kMoved) moved = moved || f == m;
    if (moved) continue;
    order[n++] = f;
    if (f == CounterpartyCorAccount) order[n++] = OutcomeDate;
  }
  return order;
}();

[[nodiscard]] constexpr const FieldInfo& field_info(DocumentField f) noexcept {
  return kDocumentFields[static_cast<std::size_t>(f)];
}

// The number of Date fields, and the place of a Date field among them in table order
// (DocDate 0, OutcomeDate 1, IncomeDate 2); records keep their dates in that order.
inline constexpr std::size_t kDateFieldCount = [] {
  std::size_t n = 0;
  for (const FieldInfo& f : kDocumentFields) n += f.kind == FieldKind::Date;
  return n;
}();
namespace detail {
inline constexpr std::array<std::uint8_t, kDocumentFieldCount> kDateIndex = [] {
  std::array<std::uint8_t, kDocumentFieldCount> index{};
  std::uint8_t n = 0;
  for (std::size_t i = 0; i < kDocumentFieldCount; ++i) index[i] = kDocumentFields[i].kind == FieldKind::Date ? n++ : 0;
  return index;
}();
}  // namespace detail
// For a Date field only.
[[nodiscard]] constexpr std::size_t date_index(DocumentField f) noexcept {
  return detail::kDateIndex[static_cast<std::size_t>(f)];
}

// The account section: the key of the account number, and the six keys of an interval
// in the order they are written (start date and balance, the two totals, the end
// balance). Columns as in kDocumentFields; tools/gen_fields.py reads these too.
inline constexpr FieldInfo kAccountNumberField{"РасчСчет", "number", FieldKind::Text, true};

enum class IntervalField : std::uint8_t { DateStart, DateEnd, StartAmount, TotalIncome, TotalExpense, EndAmount };

inline constexpr std::array<FieldInfo, 6> kIntervalFields{{
    {"ДатаНачала", "date_start", FieldKind::Date, true},
    {"ДатаКонца", "date_end", FieldKind::Date, false},
    {"НачальныйОстаток", "start_amount", FieldKind::Amount, true},
    {"ВсегоПоступило", "total_income", FieldKind::Amount, false},
    {"ВсегоСписано", "total_expense", FieldKind::Amount, false},
    {"КонечныйОстаток", "end_amount", FieldKind::Amount, false},
}};

[[nodiscard]] constexpr const FieldInfo& field_info(IntervalField f) noexcept {
  return kIntervalFields[static_cast<std::size_t>(f)];
}

// The field whose key equals `key` byte for byte (no trimming, case-sensitive); nullopt
// for any other text. No allocation; never throws.
[[nodiscard]] std::optional<DocumentField> find_document_field(std::string_view key) noexcept;

}  // namespace varnok
