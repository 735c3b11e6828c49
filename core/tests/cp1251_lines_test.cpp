// windows-1251 lines read in pieces: the same lines, numbers and statements as from the whole
// decoded text.
#include "parser/cp1251_lines.hpp"

#include <cstdint>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include <gtest/gtest.h>

#include <varnok/varnok.hpp>

#include "parser/codecs.hpp"
#include "parser/reader.hpp"
#include "test_support.hpp"

namespace varnok {
namespace {

using test::document_section;
using test::FunctionHook;
using test::kAccountSection;
using test::statement_with;
using test::to_cp1251;

std::vector<std::pair<std::uint64_t, std::string>> whole_lines(std::string_view text) {
  std::vector<std::pair<std::uint64_t, std::string>> out;
  LineCursor cursor(text);
  std::string_view line;
  while (cursor.next(line)) out.emplace_back(cursor.lineno(), std::string(line));
  return out;
}

const std::size_t kPieces[] = {1, 2, 3, 5, 16, 100, 4096, Cp1251Lines::kPieceBytes};

// The lines and their numbers match a LineCursor over the whole decoded text, and views
// taken while `keep` is passed stay valid to the end.
TEST(Cp1251Lines, SameLinesAsTheWholeText) {
  std::mt19937 rng(11);
  const char alphabet[] = {'a', '=', ' ', '\n', '\r', '\xC0', '\xFF', '\x98', '\x85'};
  std::vector<std::string> inputs = {"a", "\n", "\n\n", "a\r\n", "a\nb", "\r", std::string(300, '\xE9') + "\n"};
  for (int n = 0; n < 200; ++n) {
    std::string s(rng() % 300 + 1, ' ');
    for (char& c : s) c = alphabet[rng() % sizeof alphabet];
    inputs.push_back(std::move(s));
  }
  for (const std::string& bytes : inputs) {
    const auto expected = whole_lines(detail::decode_cp1251(bytes));
    for (std::size_t piece : kPieces) {
      Cp1251Lines lines(bytes, piece);
      lines.pin();
      std::vector<std::string_view> views;
      std::vector<std::uint64_t> numbers;
      std::string_view line;
      while (lines.next(line)) {
        views.push_back(line);
        numbers.push_back(lines.lineno());
      }
      ASSERT_EQ(views.size(), expected.size()) << piece;
      for (std::size_t i = 0; i < views.size(); ++i) {
        ASSERT_EQ(numbers[i], expected[i].first) << piece;
        ASSERT_EQ(views[i], expected[i].second) << piece << " line " << i;
      }
    }
  }
}

void expect_same(const std::expected<Statement, StatementError>& a, const std::expected<Statement, StatementError>& b,
                 std::size_t piece) {
  ASSERT_EQ(a.has_value(), b.has_value()) << piece;
  if (!a) {
    EXPECT_EQ(a.error(), b.error()) << piece << ": " << message(a.error()) << " / " << message(b.error());
    return;
  }
  EXPECT_EQ(a->encoding, b->encoding);
  EXPECT_EQ(a->header, b->header) << piece;
  EXPECT_TRUE(std::ranges::equal(a->accounts.items(), b->accounts.items())) << piece;
  EXPECT_EQ(a->documents, b->documents) << piece;
  EXPECT_EQ(a->warnings, b->warnings) << piece;
}

// A read in pieces of any size gives what the read of the whole decoded text gives: the
// documents' texts were views into pieces read long before their sections ended.
TEST(Cp1251Lines, ReadInPiecesEqualsTheWholeRead) {
  const std::string long_purpose = "НазначениеПлатежа=" + std::string(3000, 'x') + " Оплата №5 ёлки\n";
  const std::string long_document = "СекцияДокумент=Платежное поручение\n" + long_purpose +
                                    std::string(test::kDocumentFields) + "КонецДокумента\n";
  const std::string bad_document = "СекцияДокумент=Платежное поручение\nНомер=1\nКонецДокумента\n";
  std::string crlf = statement_with(std::string(kAccountSection) + document_section() + bad_document);
  for (std::size_t at = 0; (at = crlf.find('\n', at)) != std::string::npos; at += 2) crlf.insert(at, "\r");

  const std::string inputs[] = {
      statement_with(std::string(kAccountSection) + document_section() + long_document + bad_document +
                     document_section("Банковский ордер")),
      crlf,
      statement_with(document_section() + "\n \r\n\r" + document_section()),
      statement_with(document_section()) + "Лишнее\n",                          // an error late in the text
      statement_with(document_section()).substr(0, 200),                        // unfinished
      "1CClientBankExchange\nВерсияФормата=1.03\nСекцияДокумент=П\nНомер=1",  // no final LF
  };
  FunctionHook rename([](SectionType, Attributes& attrs, const Attributes&) {
    attrs.set("Номер", "новый");
    return HookOutcome::Continue();
  });
  SectionHook* renaming[] = {&rename};
  for (const std::string& utf8 : inputs) {
    const std::string bytes = to_cp1251(utf8);
    const std::string decoded = detail::decode_cp1251(bytes);
    const auto whole = read(decoded, Encoding::Cp1251);
    const auto hooked = read(decoded, Encoding::Cp1251, renaming);
    for (std::size_t piece : kPieces) {
      expect_same(detail::read_cp1251(bytes, {}, piece), whole, piece);
      expect_same(detail::read_cp1251(bytes, renaming, piece), hooked, piece);
    }
    expect_same(parse_statement(bytes), whole, 0);
  }
}

}  // namespace
}  // namespace varnok
