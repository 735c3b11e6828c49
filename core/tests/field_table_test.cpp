// The document field table: its keys and names, the required and typed fields, and the key lookup.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <varnok/fields.hpp>

namespace varnok {
namespace {

// The table as the Python layer and statements see it, written out independently.
struct KeyName {
  std::string_view key;
  std::string_view name;
};
constexpr KeyName kExpected[] = {
    {"Номер", "doc_number"},
    {"СекцияДокумент", "doc_type"},
    {"ВидОплаты", "payment_type"},
    {"Дата", "doc_date"},
    {"НазначениеПлатежа", "purpose"},
    {"Очередность", "ordering"},
    {"Сумма", "amount"},
    {"ПлательщикИНН", "counterparty_inn"},
    {"ПлательщикКПП", "counterparty_kpp"},
    {"ПлательщикБИК", "counterparty_bic"},
    {"ПлательщикБанк1", "counterparty_bank1"},
    {"ПлательщикСчет", "counterparty_account"},
    {"Плательщик", "counterparty"},
    {"Плательщик1", "counterparty_1"},
    {"ДатаСписано", "outcome_date"},
    {"ПлательщикРасчСчет", "counterparty_ras_account"},
    {"ПлательщикКорсчет", "counterparty_cor_account"},
    {"ПолучательИНН", "payee_inn"},
    {"Получатель", "payee"},
    {"ПолучательСчет", "payee_account"},
    {"ПолучательКПП", "payee_kpp"},
    {"ПолучательБИК", "payee_bic"},
    {"ПолучательБанк1", "payee_bank1"},
    {"ПолучательРасчСчет", "payee_ras_account"},
    {"ПолучательКорсчет", "payee_cor_account"},
    {"ДатаПоступило", "income_date"},
    {"Плательщик2", "counterparty_2"},
    {"Плательщик3", "counterparty_3"},
    {"Плательщик4", "counterparty_4"},
    {"ПлательщикБанк2", "counterparty_bank2"},
    {"Получатель1", "payee_1"},
    {"Получатель2", "payee_2"},
    {"Получатель3", "payee_3"},
    {"Получатель4", "payee_4"},
    {"ПолучательБанк2", "payee_bank2"},
    {"ВидПлатежа", "payment_kind"},
    {"СрокПлатежа", "payment_deadline"},
    {"Код", "uin"},
    {"КодНазПлатежа", "purpose_code"},
    {"НазначениеПлатежа1", "purpose_1"},
    {"НазначениеПлатежа2", "purpose_2"},
    {"НазначениеПлатежа3", "purpose_3"},
    {"НазначениеПлатежа4", "purpose_4"},
    {"НазначениеПлатежа5", "purpose_5"},
    {"НазначениеПлатежа6", "purpose_6"},
    {"СтатусСоставителя", "compiler_status"},
    {"ПоказательКБК", "kbk"},
    {"ОКАТО", "okato"},
    {"ПоказательОснования", "tax_basis"},
    {"ПоказательПериода", "tax_period"},
    {"ПоказательНомера", "tax_number"},
    {"ПоказательДаты", "tax_date"},
    {"ПоказательТипа", "tax_type"},
};
static_assert(std::size(kExpected) == kDocumentFieldCount);

// The reference lookup: a linear scan.
std::optional<DocumentField> scan(std::string_view key) {
  for (std::size_t i = 0; i < kDocumentFieldCount; ++i)
    if (kDocumentFields[i].key == key) return static_cast<DocumentField>(i);
  return std::nullopt;
}

TEST(FieldTable, FindsEveryKeyInDeclarationOrder) {
  for (std::size_t i = 0; i < kDocumentFieldCount; ++i) {
    EXPECT_EQ(kDocumentFields[i].key, kExpected[i].key) << i;
    EXPECT_EQ(kDocumentFields[i].name, kExpected[i].name) << i;
    EXPECT_EQ(find_document_field(kExpected[i].key), static_cast<DocumentField>(i)) << kExpected[i].key;
  }
}

TEST(FieldTable, TypesMarkThirteenRequiredAndFourTypedFields) {
  std::vector<std::string_view> required, typed;
  for (const auto& f : kDocumentFields) {
    if (f.required) required.push_back(f.key);
    if (f.kind != FieldKind::Text) typed.push_back(f.key);
  }
  EXPECT_EQ(required, (std::vector<std::string_view>{
                          "Номер", "СекцияДокумент", "Дата", "НазначениеПлатежа", "Сумма", "ПлательщикИНН",
                          "ПлательщикБИК", "ПлательщикБанк1", "ПлательщикСчет", "ПолучательИНН", "ПолучательСчет",
                          "ПолучательБИК", "ПолучательБанк1"}));
  EXPECT_EQ(typed, (std::vector<std::string_view>{"Дата", "Сумма", "ДатаСписано", "ДатаПоступило"}));
}

TEST(FieldTable, MissesNearKeys) {
  const std::string_view misses[] = {
      "",
      "Н",
      "номер",                  // case differs
      "Номер ",                 // no trimming
      " Номер",
      "НазначениеПлатежа7",     // beyond the six purpose lines
      "Плательщик5",
      "ПлательщикБанк3",
      "ДатаНачала",             // account keys are not document keys
      "РасчСчет",
      "Плательщи",              // a prefix of a key
      "ПлательщикИНН1",         // a key plus a suffix
      "ПолучательСчёт",         // ё instead of е
      "\xCD\xEE\xEC\xE5\xF0",   // "Номер" in windows-1251 bytes
      "ПоказательТипаПоказательТипаПоказательТипа",
  };
  for (std::string_view key : misses) {
    EXPECT_EQ(find_document_field(key), std::nullopt) << key;
  }
  EXPECT_EQ(find_document_field(std::string_view("Сумма\0", 11)), std::nullopt);  // an embedded NUL
}

// Every single-byte change of every key either misses or finds exactly the key it spells.
TEST(FieldTable, AgreesWithALinearScanOnMutatedKeys) {
  const unsigned char replacements[] = {0x00, '1', '7', 'A', 0x80, 0x90, 0xB0, 0xBE, 0xD0, 0xD1, 0xFF};
  std::size_t probes = 0;
  for (const auto& expected : kExpected) {
    std::string key(expected.key);
    for (std::size_t pos = 0; pos < key.size(); ++pos) {
      const char original = key[pos];
      for (unsigned char r : replacements) {
        key[pos] = static_cast<char>(r);
        ASSERT_EQ(find_document_field(key), scan(key)) << expected.key << " at " << pos;
        ++probes;
      }
      key[pos] = original;
    }
    // Shorter and longer variants: every prefix, and the key with one byte appended.
    for (std::size_t n = 0; n < key.size(); ++n) ASSERT_EQ(find_document_field(key.substr(0, n)), scan(key.substr(0, n)));
    ASSERT_EQ(find_document_field(key + "1"), scan(key + "1"));
  }
  EXPECT_GT(probes, 5000u);
}

}  // namespace
}  // namespace varnok
