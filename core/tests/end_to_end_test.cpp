// Whole statements through parse_statement: the made-up statements in tests/data, and the
// collected real statements beside the repository when they are present.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <varnok/varnok.hpp>

#include "parser/reader.hpp"
#include "parser/values.hpp"

namespace varnok {
namespace {

namespace fs = std::filesystem;
using ::testing::ElementsAre;
using ::testing::Pair;

constexpr std::string_view kAccountA = "40702810400000012345";
constexpr std::string_view kAccountB = "40702810700000067890";

std::string read_file(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return std::move(out).str();
}

Statement parse_data_file(std::string_view name) {
  const std::string bytes = read_file(fs::path(VARNOK_TEST_DATA_DIR) / name);
  EXPECT_FALSE(bytes.empty()) << name;
  auto parsed = parse_statement(bytes);
  EXPECT_TRUE(parsed) << name << ": " << (parsed ? "" : message(parsed.error()));
  return parsed ? std::move(*parsed) : Statement{};
}

std::vector<std::pair<std::string, std::string>> header_of(const Statement& s) {
  std::vector<std::pair<std::string, std::string>> out;
  for (const auto& e : s.header) out.emplace_back(e.key, e.value);
  return out;
}

// "start..end opening/income/expense/closing" with "-" for absent values.
std::string describe(const Interval& i) {
  const auto amount = [](const std::optional<Amount>& a) {
    return a ? std::string(format_amount(*a).view()) : std::string("-");
  };
  std::string out(format_date(i.date_start).view());
  out += "..";
  out += i.date_end ? std::string(format_date(*i.date_end).view()) : "-";
  out += " " + amount(i.start_amount) + "/" + amount(i.total_income) + "/" + amount(i.total_expense) + "/" +
         amount(i.end_amount);
  return out;
}

std::vector<std::string> intervals_of(const Statement& s, std::string_view number) {
  std::vector<std::string> out;
  if (const Account* a = s.accounts.find(number))
    for (const Interval& i : a->intervals) out.push_back(describe(i));
  return out;
}

std::string text(const Document& d, DocumentField f) {
  auto t = d.text(f);
  return t ? std::string(*t) : std::string("<absent>");
}

TEST(EndToEnd, Cp1251StatementWithTwoAccountsAndADroppedDocument) {
  const Statement s = parse_data_file("statement-cp1251.txt");
  EXPECT_EQ(s.encoding, Encoding::Cp1251);
  EXPECT_THAT(header_of(s), ElementsAre(Pair("ВерсияФормата", "1.03"), Pair("Кодировка", "Windows"),
                                        Pair("Отправитель", "Интернет-банк АО \"Банк Северный\""),
                                        Pair("Получатель", "Бухгалтерия"), Pair("ДатаСоздания", "06.03.2024"),
                                        Pair("ВремяСоздания", "09:15:42"), Pair("ДатаНачала", "01.03.2024"),
                                        Pair("ДатаКонца", "05.03.2024"), Pair("РасчСчет", std::string(kAccountB)),
                                        Pair("Документ", "Инкассовое поручение")));

  ASSERT_EQ(s.accounts.size(), 2u);
  EXPECT_EQ(s.accounts.items()[0].number, kAccountA);
  EXPECT_EQ(s.accounts.items()[1].number, kAccountB);
  // Sorted by start; the repeated 04.03 section (37250.8 for 37250.80) is stored once.
  EXPECT_THAT(intervals_of(s, kAccountA),
              ElementsAre("2024-03-01..2024-03-01 480000.00/32300.45/0.00/512300.45",
                          "2024-03-04..2024-03-04 512300.45/154000.00/37250.80/629049.65",
                          "2024-03-05..2024-03-05 629049.65/0.00/15400.00/613649.65"));
  // Same start, different closing balance: both, in input order.
  EXPECT_THAT(intervals_of(s, kAccountB), ElementsAre("2024-03-01..2024-03-05 15000.5/0/2500.00/12500.5",
                                                      "2024-03-01..- 15000.50/0.00/3000.00/12000.50"));

  std::vector<std::string> numbers, kinds;
  for (const Document& d : s.documents) {
    numbers.push_back(text(d, DocumentField::DocNumber));
    kinds.push_back(text(d, DocumentField::DocType));
  }
  EXPECT_THAT(numbers, ElementsAre("118", "2231", "55", "119", "7", "301", "94"));
  EXPECT_THAT(kinds, ElementsAre("Платежное поручение", "Платежное поручение", "Банковский ордер",
                                 "Платежное поручение", "Мемориальный ордер", "Инкассовое поручение",
                                 "Платежное поручение"));
  EXPECT_THAT(s.warnings, ElementsAre(Warning{228, "invalid value: string \"1500,00\", expected a Decimal type "
                                                   "representing a fixed-point number"}));
  ASSERT_EQ(s.documents.size(), 7u);

  const Document& paid = s.documents[0];
  EXPECT_EQ(paid.date(DocumentField::DocDate), (Date{2024, 3, 5}));
  EXPECT_EQ(format_amount(paid.amount()).view(), "15400.00");
  EXPECT_EQ(paid.date(DocumentField::OutcomeDate), (Date{2024, 3, 5}));
  EXPECT_EQ(paid.date(DocumentField::IncomeDate), std::nullopt);  // ДатаПоступило= is blank
  EXPECT_EQ(text(paid, DocumentField::Counterparty), "ИНН 7702345678 ООО \"Северная звезда\"");
  EXPECT_EQ(text(paid, DocumentField::PayeeBank1), "ПАО \"Приокский банк\"");
  EXPECT_EQ(text(paid, DocumentField::PaymentDeadline), "");  // present though empty
  EXPECT_EQ(text(paid, DocumentField::Purpose2), "В том числе НДС 20% - 2566.67 руб.");
  EXPECT_EQ(text(paid, DocumentField::Purpose3), "<absent>");
  EXPECT_EQ(text(paid, DocumentField::Kbk), "<absent>");

  const Document& received = s.documents[1];
  EXPECT_EQ(received.date(DocumentField::OutcomeDate), std::nullopt);
  EXPECT_EQ(received.date(DocumentField::IncomeDate), (Date{2024, 3, 4}));
  EXPECT_EQ(text(received, DocumentField::Counterparty1), "ООО «Ромашка»");
  EXPECT_EQ(text(received, DocumentField::Purpose),
            "Оплата по договору поставки № 12/24-П от 15.01.2024, счет № 305. В том числе НДС 20% - 20000.00 руб.");

  const Document& tax = s.documents[3];
  EXPECT_EQ(text(tax, DocumentField::CompilerStatus), "01");
  EXPECT_EQ(text(tax, DocumentField::Kbk), "18201061201010000510");
  EXPECT_EQ(text(tax, DocumentField::TaxDate), "0");
  EXPECT_EQ(text(tax, DocumentField::TaxType), "");

  const Document& collected = s.documents[5];
  EXPECT_EQ(text(collected, DocumentField::Ordering), "3");
  EXPECT_EQ(collected.date(DocumentField::DocDate), (Date{2024, 3, 2}));
  EXPECT_EQ(text(s.documents[6], DocumentField::Counterparty),
            "ИНН 501234567890 Индивидуальный предприниматель Орлов Павел Сергеевич");
}

// The same statement as UTF-8 with a byte-order mark and LF line ends reads the same.
TEST(EndToEnd, Utf8StatementMatchesItsCp1251Twin) {
  const Statement cp1251 = parse_data_file("statement-cp1251.txt");
  const Statement utf8 = parse_data_file("statement-utf8.txt");
  EXPECT_EQ(utf8.encoding, Encoding::Utf8);
  auto header = header_of(cp1251);
  for (auto& [key, value] : header)
    if (key == "Кодировка") value = "UTF-8";
  EXPECT_EQ(header_of(utf8), header);
  ASSERT_EQ(utf8.accounts.size(), cp1251.accounts.size());
  for (std::size_t i = 0; i < utf8.accounts.size(); ++i)
    EXPECT_EQ(utf8.accounts.items()[i], cp1251.accounts.items()[i]);
  EXPECT_EQ(utf8.documents, cp1251.documents);
  EXPECT_EQ(utf8.warnings, cp1251.warnings);
}

// Reports the memory a document costs: sizeof(Document) plus its one buffer of texts and
// their bounds.
TEST(EndToEnd, DocumentMemory) {
  const std::string bytes = read_file(fs::path(VARNOK_TEST_DATA_DIR) / "statement-cp1251.txt");
  const Statement s = parse_data_file("statement-cp1251.txt");
  ASSERT_FALSE(s.documents.empty());
  std::size_t heap = 0, texts = 0;
  for (const Document& d : s.documents) {
    heap += d.heap_bytes();
    for (std::size_t f = 0; f < kDocumentFieldCount; ++f)
      if (auto t = d.text(static_cast<DocumentField>(f))) texts += t->size() + 4;
    EXPECT_LE(d.heap_bytes(), 2 * 1024u) << "one buffer holding the texts";
  }
  const std::size_t n = s.documents.size();
  const std::size_t section_bytes = bytes.size() / (n + 1);  // rough input size per document section
  std::printf("sizeof(Document) = %zu, heap per document = %zu (texts %zu), input per section ~ %zu bytes\n",
              sizeof(Document), heap / n, texts / n, section_bytes);
  RecordProperty("sizeof_document", static_cast<int>(sizeof(Document)));
  RecordProperty("heap_bytes_per_document", static_cast<int>(heap / n));
  EXPECT_LE(heap, texts + 20 * n);
}

// ---- the collected real statements, when they are beside the repository

struct Expectation {
  std::string outcome, encoding, accounts, intervals, documents, warnings, message, lineno;
};

std::map<std::string, Expectation> read_expectations(const fs::path& tsv) {
  std::map<std::string, Expectation> out;
  std::ifstream in(tsv);
  std::string line;
  std::getline(in, line);  // column names
  while (std::getline(in, line)) {
    std::vector<std::string> cells;
    std::string cell;
    std::istringstream row(line);
    while (std::getline(row, cell, '\t')) cells.push_back(cell);
    cells.resize(9);
    out[cells[0]] = {cells[1], cells[2], cells[3], cells[4], cells[5], cells[6], cells[7], cells[8]};
  }
  return out;
}

// The exception the Python layer raises for an error.
std::string outcome_of(const StatementError& e) {
  if (std::holds_alternative<error::Unfinished>(e)) return "UnfinishedError";
  if (std::holds_alternative<error::NotStatement>(e)) return "NotStatementError";
  if (std::holds_alternative<error::EmptyInput>(e)) return "EmptyInputError";
  return "SyntaxError";
}

TEST(EndToEnd, RealStatementsReadAsExpected) {
  const fs::path dir = VARNOK_SAMPLES_DIR;
  if (!fs::is_directory(dir)) GTEST_SKIP() << "no sample statements at " << dir;
  const auto expected = read_expectations(dir / "EXPECTED.tsv");
  std::size_t checked = 0;
  for (const auto& entry : fs::directory_iterator(dir)) {
    const std::string file = entry.path().filename().string();
    if (!entry.is_regular_file() || entry.path().extension() != ".txt") continue;
    const std::string bytes = read_file(entry.path());
    auto parsed = parse_statement(bytes);  // must not crash, whatever the file holds
    const auto it = expected.find(file);
    if (it == expected.end()) continue;
    const Expectation& e = it->second;
    ++checked;
    if (!parsed) {
      EXPECT_EQ(outcome_of(parsed.error()), e.outcome) << file;
      EXPECT_EQ(message(parsed.error()), e.message) << file;
      const auto line = lineno(parsed.error());
      EXPECT_EQ(line ? std::to_string(*line) : "", e.lineno) << file;
      continue;
    }
    const Statement& s = *parsed;
    std::size_t intervals = 0;
    for (const Account& a : s.accounts.items()) intervals += a.intervals.size();
    EXPECT_EQ("Statement", e.outcome) << file;
    EXPECT_EQ(std::string(name(s.encoding)), e.encoding) << file;
    EXPECT_EQ(std::to_string(s.accounts.size()), e.accounts) << file;
    EXPECT_EQ(std::to_string(intervals), e.intervals) << file;
    EXPECT_EQ(std::to_string(s.documents.size()), e.documents) << file;
    EXPECT_EQ(std::to_string(s.warnings.size()), e.warnings) << file;
    EXPECT_EQ(s.warnings.empty() ? "" : s.warnings[0].message, e.message) << file;
    EXPECT_EQ(s.warnings.empty() ? "" : std::to_string(s.warnings[0].lineno), e.lineno) << file;
  }
  EXPECT_EQ(checked, expected.size()) << "every expectation has its file";
}

}  // namespace
}  // namespace varnok
