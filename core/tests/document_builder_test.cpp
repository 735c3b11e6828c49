// Document sections to documents: every field, failure texts and their order, unknown keys,
// equality.
#include "parser/document_builder.hpp"

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "testing.hpp"

namespace varnok {
namespace {

using Pairs = std::vector<std::pair<std::string, std::string>>;

constexpr std::string_view kKind = "Платежное поручение";

// The twelve required attribute keys, in the order a bank usually writes them.
const Pairs kRequired = {
    {"Номер", "118"},
    {"Дата", "05.03.2024"},
    {"Сумма", "15400.00"},
    {"ПлательщикСчет", "40702810400000012345"},
    {"ПлательщикИНН", "7702345678"},
    {"ПлательщикБИК", "044525225"},
    {"ПлательщикБанк1", "ПАО СБЕРБАНК"},
    {"ПолучательСчет", "40702810938000054321"},
    {"ПолучательИНН", "5001023456"},
    {"ПолучательБИК", "044525974"},
    {"ПолучательБанк1", "АО \"ТБАНК\""},
    {"НазначениеПлатежа", "Оплата по счету № 77 от 01.03.2024, в т.ч. НДС 20% - 2566.67"},
};

Attributes make(const Pairs& pairs) {
  Attributes attrs;
  for (const auto& [key, value] : pairs) attrs.set(key, value);
  return attrs;
}

// The required pairs with some removed and others set (replaced in place or appended).
Attributes edited(std::vector<std::string_view> removed, const Pairs& set = {}) {
  Attributes attrs;
  for (const auto& [key, value] : kRequired)
    if (std::find(removed.begin(), removed.end(), key) == removed.end()) attrs.set(key, value);
  for (const auto& [key, value] : set) attrs.set(key, value);
  return attrs;
}

std::string failure_of(const Attributes& attrs, std::string_view kind = kKind) {
  auto built = build_document(attrs, kind);
  return built ? std::string("<built>") : built.error();
}

std::string invalid_amount(std::string_view quoted) {
  return "invalid value: string " + std::string(quoted) + ", expected a Decimal type representing a fixed-point number";
}

// Every field, each with its own value; texts carry surrounding blanks a hook may leave.
Pairs all_fields() {
  Pairs pairs;
  for (const auto& f : kDocumentFields) {
    const std::string key(f.key);
    switch (f.kind) {
      case FieldKind::Date:
        pairs.emplace_back(key, key == "Дата" ? "05.03.2024" : key == "ДатаСписано" ? "06.03.2024" : "7.3.2024");
        break;
      case FieldKind::Amount: pairs.emplace_back(key, "1_500.50"); break;
      case FieldKind::Text:
        if (key != "СекцияДокумент") pairs.emplace_back(key, " " + std::string(f.name) + " ");
        break;
    }
  }
  return pairs;
}

TEST(DocumentBuilder, RequiredKeysOnlyLeaveEveryOptionalFieldAbsent) {
  for (std::string_view kind : {kKind, std::string_view("")}) {
    auto doc = build_document(make(kRequired), kind);
    ASSERT_TRUE(doc) << doc.error();
    EXPECT_EQ(doc->text(DocumentField::DocType), kind);
    EXPECT_EQ(doc->text(DocumentField::DocNumber), "118");
    EXPECT_EQ(doc->text(DocumentField::PayeeBank1), "АО \"ТБАНК\"");
    EXPECT_EQ(doc->date(DocumentField::DocDate), (Date{2024, 3, 5}));
    EXPECT_EQ(doc->amount().mantissa_low, 1540000u);
    EXPECT_EQ(doc->amount().scale, 2);
    EXPECT_EQ(doc->date(DocumentField::OutcomeDate), std::nullopt);
    EXPECT_EQ(doc->date(DocumentField::IncomeDate), std::nullopt);
    int absent = 0;
    for (std::size_t i = 0; i < kDocumentFieldCount; ++i)
      if (kDocumentFields[i].kind == FieldKind::Text && !kDocumentFields[i].required) {
        EXPECT_EQ(doc->text(static_cast<DocumentField>(i)), std::nullopt) << kDocumentFields[i].key;
        ++absent;
      }
    EXPECT_EQ(absent, 38);
  }
}

TEST(DocumentBuilder, EveryFieldKeepsItsValueUntouched) {
  Pairs pairs = all_fields();
  std::reverse(pairs.begin(), pairs.end());  // attribute order does not matter
  auto doc = build_document(make(pairs), " вид ");
  ASSERT_TRUE(doc) << doc.error();
  for (std::size_t i = 0; i < kDocumentFieldCount; ++i) {
    const auto& f = kDocumentFields[i];
    const auto text = doc->text(static_cast<DocumentField>(i));
    if (f.kind == FieldKind::Text) {
      const std::string expected = f.key == "СекцияДокумент" ? " вид " : " " + std::string(f.name) + " ";
      EXPECT_EQ(text, expected) << f.key;
    } else {
      EXPECT_EQ(text, std::nullopt) << f.key;  // typed fields have no text
    }
  }
  EXPECT_EQ(doc->date(DocumentField::DocDate), (Date{2024, 3, 5}));
  EXPECT_EQ(doc->date(DocumentField::OutcomeDate), (Date{2024, 3, 6}));
  EXPECT_EQ(doc->date(DocumentField::IncomeDate), (Date{2024, 3, 7}));
  EXPECT_EQ(doc->amount().mantissa_low, 150050u);
  EXPECT_EQ(doc->amount().scale, 2);
}

struct FailureCase {
  const char* name;
  Attributes attrs;
  std::string expected;
};

TEST(DocumentBuilder, FailureTexts) {
  const FailureCase cases[] = {
      {"empty section", Attributes{}, "missing field `Номер`"},
      {"no Дата and no Сумма", edited({"Дата", "Сумма"}), "missing field `Дата`"},
      {"no Сумма and no НазначениеПлатежа", edited({"Сумма", "НазначениеПлатежа"}), "missing field `НазначениеПлатежа`"},
      {"attribute order does not decide the missing one",
       make({{"ПолучательБанк1", "x"}, {"ПолучательБИК", "x"}, {"Сумма", "1"}, {"Дата", "01.01.2024"}}),
       "missing field `Номер`"},
      {"a hook wrote the kind key", edited({}, {{"СекцияДокумент", "Платежное поручение"}}),
       "duplicate field `СекцияДокумент`"},
      {"the kind key with an empty value", edited({}, {{"СекцияДокумент", ""}}), "duplicate field `СекцияДокумент`"},
      {"value failure before the duplicate", edited({}, {{"СекцияДокумент", "x"}, {"Сумма", "12,50"}}),
       invalid_amount("\"12,50\"")},
      {"blank Дата", edited({}, {{"Дата", ""}}), "empty string is not a valid date"},
      {"white Дата from a hook", edited({}, {{"Дата", " \t\u00a0"}}), "empty string is not a valid date"},
      {"Дата 31.02", edited({}, {{"Дата", "31.02.2024"}}), "input is out of range"},
      {"Дата cut short", edited({}, {{"Дата", "05.03"}}), "premature end of input"},
      {"Дата with slashes", edited({}, {{"Дата", "05/03/2024"}}), "input contains invalid characters"},
      {"Дата with a suffix", edited({}, {{"Дата", "05.03.2024г."}}), "trailing input"},
      {"ДатаСписано ISO", edited({}, {{"ДатаСписано", "2024-03-05"}}), "input contains invalid characters"},
      {"ДатаПоступило month 13", edited({}, {{"ДатаПоступило", "05.13.2024"}}), "input is out of range"},
      {"ДатаПоступило with a blank after it", edited({}, {{"ДатаПоступило", "05.03.2024 "}}), "trailing input"},
      {"Сумма with a comma", edited({}, {{"Сумма", "12,50"}}), invalid_amount("\"12,50\"")},
      {"empty Сумма", edited({}, {{"Сумма", ""}}), invalid_amount("\"\"")},
      {"Сумма with a quote", edited({}, {{"Сумма", "1\"5"}}), invalid_amount("\"1\\\"5\"")},
      {"Сумма grouped by blanks", edited({}, {{"Сумма", "1 500.00"}}), invalid_amount("\"1 500.00\"")},
      {"a bad Сумма beats a missing Номер", edited({"Номер"}, {{"Сумма", "abc"}}), invalid_amount("\"abc\"")},
      {"a bad date after a missing field", edited({"ПолучательБИК"}, {{"ДатаСписано", "32.01.2024"}}),
       "input is out of range"},
      {"the first bad value in attribute order wins",
       make({{"Сумма", "x"}, {"Дата", "x"}}), invalid_amount("\"x\"")},
      {"wrong case is not the key", edited({"Номер"}, {{"номер", "1"}}), "missing field `Номер`"},
      {"an unknown key does not stand in", edited({"НазначениеПлатежа"}, {{"НазначениеПлатежа7", "x"}}),
       "missing field `НазначениеПлатежа`"},
  };
  for (const auto& c : cases) EXPECT_EQ(failure_of(c.attrs), c.expected) << c.name;
}

// Dropping required keys from the end of the table forward names each in turn.
TEST(DocumentBuilder, MissingFieldsAreFoundInTableOrder) {
  const std::vector<std::string_view> order = {
      "Номер", "Дата", "НазначениеПлатежа", "Сумма", "ПлательщикИНН", "ПлательщикБИК",
      "ПлательщикБанк1", "ПлательщикСчет", "ПолучательИНН", "ПолучательСчет", "ПолучательБИК", "ПолучательБанк1"};
  for (std::size_t i = 0; i < order.size(); ++i) {
    const std::string expected = "missing field `" + std::string(order[i]) + "`";
    EXPECT_EQ(failure_of(edited({order[i]})), expected) << "alone";
    EXPECT_EQ(failure_of(edited(std::vector(order.begin() + static_cast<std::ptrdiff_t>(i), order.end()))), expected)
        << "with every later one";
  }
}

TEST(DocumentBuilder, UnknownAndWrongCaseKeysLeaveNoTrace) {
  auto plain = build_document(make(kRequired), kKind);
  auto noisy = build_document(edited({}, {{"номер", "999"},
                                          {"НазначениеПлатежа7", "лишнее"},
                                          {"ДатаНачала", "not a date"},
                                          {"РасчСчет", "40702810400000012345"},
                                          {"КодВидаДохода", "1"},
                                          {"", "empty key"},
                                          {"Сумма ", "not an amount"}}),
                              kKind);
  ASSERT_TRUE(plain && noisy);
  EXPECT_EQ(*plain, *noisy);
  EXPECT_EQ(plain->heap_bytes(), noisy->heap_bytes());
}

TEST(DocumentBuilder, EmptyOptionalTextIsPresentAndBlankOptionalDateIsAbsent) {
  auto doc = build_document(edited({}, {{"Номер", ""},
                                        {"ВидОплаты", ""},
                                        {"ПоказательДаты", ""},
                                        {"ДатаСписано", ""},
                                        {"ДатаПоступило", " \t"}}),
                            kKind);
  ASSERT_TRUE(doc) << doc.error();
  EXPECT_EQ(doc->text(DocumentField::DocNumber), "");
  EXPECT_EQ(doc->text(DocumentField::PaymentType), "");
  EXPECT_EQ(doc->text(DocumentField::TaxDate), "");
  EXPECT_EQ(doc->text(DocumentField::Ordering), std::nullopt);
  EXPECT_EQ(doc->date(DocumentField::OutcomeDate), std::nullopt);
  EXPECT_EQ(doc->date(DocumentField::IncomeDate), std::nullopt);

  auto without = build_document(edited({}, {{"Номер", ""}, {"ПоказательДаты", ""}}), kKind);
  ASSERT_TRUE(without);
  EXPECT_NE(*doc, *without) << "an empty ВидОплаты differs from an absent one";
}

TEST(DocumentBuilder, PlainTextsStayTexts) {
  auto doc = build_document(edited({}, {{"СрокПлатежа", "31.02.2024"}, {"ПоказательДаты", "0"}, {"Очередность", "05"}}),
                            kKind);
  ASSERT_TRUE(doc) << doc.error();
  EXPECT_EQ(doc->text(DocumentField::PaymentDeadline), "31.02.2024");
  EXPECT_EQ(doc->text(DocumentField::TaxDate), "0");
  EXPECT_EQ(doc->text(DocumentField::Ordering), "05");
}

// Changing any one field, text or typed, makes documents unequal.
TEST(DocumentBuilder, EqualityLooksAtEveryField) {
  const Pairs base = all_fields();
  auto reference = build_document(make(base), kKind);
  ASSERT_TRUE(reference);
  EXPECT_EQ(*reference, *build_document(make(base), kKind));
  EXPECT_NE(*reference, *build_document(make(base), "Платежное требование"));
  for (std::size_t i = 0; i < base.size(); ++i) {
    Pairs changed = base;
    const auto kind = field_info(*find_document_field(changed[i].first)).kind;
    changed[i].second = kind == FieldKind::Amount ? "1500.51" : kind == FieldKind::Date ? "01.01.2000" : "other";
    auto other = build_document(make(changed), kKind);
    ASSERT_TRUE(other) << changed[i].first;
    EXPECT_NE(*reference, *other) << changed[i].first;
  }
  Pairs rescaled = base;
  for (auto& [key, value] : rescaled)
    if (key == "Сумма") value = "1500.500";
  EXPECT_EQ(*reference, *build_document(make(rescaled), kKind)) << "amounts compare by value";
}

TEST(DocumentBuilder, TextsOverTheSizeLimitFailTheDocument) {
  const Attributes attrs = make(kRequired);
  std::size_t total = kKind.size();
  for (const auto& [key, value] : kRequired)
    if (key != "Дата" && key != "Сумма") total += value.size();
  EXPECT_TRUE(detail::build_document(attrs, kKind, total));
  auto over = detail::build_document(attrs, kKind, total - 1);
  ASSERT_FALSE(over);
  EXPECT_EQ(over.error(), "document is too large");
  // An incomplete document reports what is missing, whatever its size.
  EXPECT_EQ(detail::build_document(edited({"Номер"}), kKind, 0).error(), "missing field `Номер`");
}

// All texts share one buffer sized to fit them and their bounds (32 bits each, one more
// than there are texts): one allocation per document.
TEST(DocumentBuilder, TextsShareOneBuffer) {
  auto doc = build_document(make(all_fields()), kKind);
  ASSERT_TRUE(doc);
  std::size_t text_bytes = kKind.size();
  std::size_t bounds_bytes = 8;  // the kind's two bounds
  for (std::size_t i = 0; i < kDocumentFieldCount; ++i) {
    if (auto t = doc->text(static_cast<DocumentField>(i)); t && i != static_cast<std::size_t>(DocumentField::DocType)) {
      text_bytes += t->size();
      bounds_bytes += 4;
    }
  }
  EXPECT_GE(doc->heap_bytes(), text_bytes + bounds_bytes);
  EXPECT_LE(doc->heap_bytes(), text_bytes + bounds_bytes + 16);
}

// The bounds of the texts live in the buffer, so a document left behind by a move must not
// read them: it reads as one without texts, and stays usable.
TEST(DocumentBuilder, MovedFromDocumentHasNoTexts) {
  auto doc = build_document(make(all_fields()), kKind);
  ASSERT_TRUE(doc);
  const Document copy = *doc;
  Document moved = std::move(*doc);
  EXPECT_EQ(moved, copy);
  for (std::size_t i = 0; i < kDocumentFieldCount; ++i) EXPECT_FALSE(doc->text(static_cast<DocumentField>(i)));
  *doc = std::move(moved);
  EXPECT_EQ(*doc, copy);
  EXPECT_FALSE(moved.text(DocumentField::DocType));
}

}  // namespace
}  // namespace varnok
