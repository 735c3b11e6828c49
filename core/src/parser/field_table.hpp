// The 53 known keys of a document section and the fields they fill.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

namespace varnok {

// Declaration order: also the order in which missing required fields are looked for.
enum class DocumentField : std::uint8_t {
  DocNumber,               // Номер
  DocType,                 // СекцияДокумент (the kind from the section's first line)
  PaymentType,             // ВидОплаты
  DocDate,                 // Дата
  Purpose,                 // НазначениеПлатежа
  Ordering,                // Очередность
  Amount,                  // Сумма
  CounterpartyInn,         // ПлательщикИНН
  CounterpartyKpp,         // ПлательщикКПП
  CounterpartyBic,         // ПлательщикБИК
  CounterpartyBank1,       // ПлательщикБанк1
  CounterpartyAccount,     // ПлательщикСчет
  Counterparty,            // Плательщик
  Counterparty1,           // Плательщик1
  OutcomeDate,             // ДатаСписано
  CounterpartyRasAccount,  // ПлательщикРасчСчет
  CounterpartyCorAccount,  // ПлательщикКорсчет
  PayeeInn,                // ПолучательИНН
  Payee,                   // Получатель
  PayeeAccount,            // ПолучательСчет
  PayeeKpp,                // ПолучательКПП
  PayeeBic,                // ПолучательБИК
  PayeeBank1,              // ПолучательБанк1
  PayeeRasAccount,         // ПолучательРасчСчет
  PayeeCorAccount,         // ПолучательКорсчет
  IncomeDate,              // ДатаПоступило
  Counterparty2,           // Плательщик2
  Counterparty3,           // Плательщик3
  Counterparty4,           // Плательщик4
  CounterpartyBank2,       // ПлательщикБанк2
  Payee1,                  // Получатель1
  Payee2,                  // Получатель2
  Payee3,                  // Получатель3
  Payee4,                  // Получатель4
  PayeeBank2,              // ПолучательБанк2
  PaymentKind,             // ВидПлатежа
  PaymentDeadline,         // СрокПлатежа
  Uin,                     // Код
  PurposeCode,             // КодНазПлатежа
  Purpose1,                // НазначениеПлатежа1
  Purpose2,                // НазначениеПлатежа2
  Purpose3,                // НазначениеПлатежа3
  Purpose4,                // НазначениеПлатежа4
  Purpose5,                // НазначениеПлатежа5
  Purpose6,                // НазначениеПлатежа6
  CompilerStatus,          // СтатусСоставителя
  Kbk,                     // ПоказательКБК
  Okato,                   // ОКАТО
  TaxBasis,                // ПоказательОснования
  TaxPeriod,               // ПоказательПериода
  TaxNumber,               // ПоказательНомера
  TaxDate,                 // ПоказательДаты
  TaxType,                 // ПоказательТипа
};

inline constexpr std::size_t kDocumentFieldCount = 53;

enum class FieldType : std::uint8_t { Text, OptionalText, RequiredDate, OptionalDate, Amount };

struct FieldInfo {
  std::string_view key;   // the statement key, UTF-8
  std::string_view name;  // the snake_case field name (also the Python attribute name)
  FieldType type;
};

// Indexed by DocumentField.
extern const std::array<FieldInfo, kDocumentFieldCount> kDocumentFields;

[[nodiscard]] inline const FieldInfo& field_info(DocumentField f) noexcept {
  return kDocumentFields[static_cast<std::size_t>(f)];
}

// The field whose key equals `key` byte for byte; no allocation. Never throws.
[[nodiscard]] std::optional<DocumentField> find_document_field(std::string_view key) noexcept;

}  // namespace varnok
