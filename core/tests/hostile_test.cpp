// Hostile and extreme inputs: random bytes, every truncation of a statement, NUL bytes and
// lone CRs, a 100 MB line, a million sections, megabyte values, a key repeated 100,000
// times, and sections that never end. Each must give the one right result, not a crash.
#include <cstddef>
#include <cstdint>
#include <random>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include <gtest/gtest.h>

#include <varnok/varnok.hpp>

#include "../../fuzz/invariants.hpp"
#include "parser/decode.hpp"
#include "parser/reader.hpp"
#include "test_support.hpp"
#include "testing.hpp"

namespace varnok {
namespace {

using test::document_section;
using test::kAccountSection;
using test::parse_ok;
using test::statement_with;

// Checks the invariants of a result and that a second read of the same bytes agrees.
::testing::AssertionResult reads_soundly(std::string_view input) {
  const check::Result first = parse_statement(input);
  const auto decoded = decode_input(input);
  const std::uint64_t lines = decoded ? check::count_lines(decoded->text.text()) : 0;
  const std::string why = check::result_violation(first, lines);
  if (!why.empty()) return ::testing::AssertionFailure() << why;
  if (!check::same_result(first, parse_statement(input))) return ::testing::AssertionFailure() << "not repeatable";
  return ::testing::AssertionSuccess();
}

std::string repeat(std::string_view s, std::size_t n) {
  std::string out;
  out.reserve(s.size() * n);
  for (std::size_t i = 0; i < n; ++i) out.append(s);
  return out;
}

std::string with_crlf(std::string_view lf) {
  std::string out;
  for (char c : lf) {
    if (c == '\n') out += '\r';
    out += c;
  }
  return out;
}

// The windows-1251 form of a text made of ASCII and the letters А..я.
std::string cp1251(std::string_view utf8) {
  std::string out;
  for (std::size_t i = 0; i < utf8.size(); ++i) {
    const auto b = static_cast<unsigned char>(utf8[i]);
    if (b < 0x80) {
      out += static_cast<char>(b);
    } else {
      const unsigned cp = ((b & 0x1Fu) << 6) | (static_cast<unsigned char>(utf8[++i]) & 0x3Fu);
      out += static_cast<char>(0xC0 + (cp - 0x410));
    }
  }
  return out;
}

TEST(Hostile, RandomBytesReadSoundly) {
  std::mt19937 rng(20240105);
  for (int i = 0; i < 3000; ++i) {
    std::string input(rng() % 300, '\0');
    for (char& c : input) c = static_cast<char>(rng());
    // Half of them start like a statement, so the reader gets past the first line.
    if (i % 2 == 0) input.insert(0, "1CClientBankExchange\n");
    ASSERT_TRUE(reads_soundly(input)) << "case " << i;
  }
}

TEST(Hostile, RandomLinesOfTheFormatReadSoundly) {
  static constexpr std::string_view kLines[] = {
      "1CClientBankExchange", "СекцияРасчСчет", "КонецРасчСчет", "СекцияДокумент=Платежное поручение",
      "СекцияДокумент", "КонецДокумента", "КонецФайла", "ДатаНачала=01.02.2024", "ДатаНачала=01.01.2024",
      "ДатаКонца=", "РасчСчет=1", "РасчСчет=2", "НачальныйОстаток=1.50", "НачальныйОстаток=1.5",
      "КонечныйОстаток=", "Номер=1", "Дата=05.01.2024", "Сумма=1e3", "=x", "", "  ", "мусор"};
  std::mt19937 rng(7);
  for (int i = 0; i < 3000; ++i) {
    std::string input = "1CClientBankExchange\n";
    for (unsigned n = rng() % 40; n > 0; --n) input.append(kLines[rng() % std::size(kLines)]).append("\n");
    ASSERT_TRUE(reads_soundly(input)) << input;
  }
}

// A read of any prefix either is the whole statement's result (once КонецФайла is in)
// or fails as a cut-off text can: empty, not a statement, an unrecognised last line, or
// unfinished.
// `file_end` is the end marker in the statement's encoding.
void check_every_prefix(const std::string& full, std::string_view file_end) {
  const check::Result whole = parse_statement(full);
  ASSERT_TRUE(whole.has_value());
  ASSERT_NE(full.rfind(file_end), std::string::npos);
  const std::size_t complete = full.rfind(file_end) + file_end.size();
  for (std::size_t n = 0; n <= full.size(); ++n) {
    const std::string_view prefix(full.data(), n);
    ASSERT_TRUE(reads_soundly(prefix)) << "prefix " << n;
    const check::Result r = parse_statement(prefix);
    if (n >= complete) {
      ASSERT_TRUE(check::same_result(r, whole)) << "prefix " << n;
      continue;
    }
    ASSERT_FALSE(r.has_value()) << "prefix " << n;
    const StatementError& e = r.error();
    if (n == 0) {
      EXPECT_TRUE(std::holds_alternative<error::EmptyInput>(e));
    } else if (const auto* bad = std::get_if<error::UnrecognizedLine>(&e)) {
      // Only a cut marker line is unrecognised; it is the last line of the prefix.
      const auto decoded = decode_input(prefix);
      ASSERT_TRUE(decoded.has_value());
      // A UTF-8 text cut inside a character falls back to windows-1251, which garbles the
      // markers before the cut; otherwise the cut line itself is the unrecognised one.
      const bool garbled = whole->encoding == Encoding::Utf8 && decoded->encoding != Encoding::Utf8;
      if (!garbled) {
        EXPECT_EQ(bad->lineno, check::count_lines(decoded->text.text())) << "prefix " << n;
      }
    } else {
      EXPECT_TRUE(std::holds_alternative<error::Unfinished>(e) || std::holds_alternative<error::NotStatement>(e))
          << "prefix " << n << ": " << message(e);
    }
  }
}

const std::string kSmall = statement_with(std::string(kAccountSection) + document_section() +
                                          "СекцияДокумент=\nКонецДокумента\n");

TEST(Hostile, EveryPrefixOfAUtf8StatementWithCrLf) { check_every_prefix(with_crlf(kSmall), "КонецФайла"); }

TEST(Hostile, EveryPrefixOfACp1251Statement) { check_every_prefix(cp1251(kSmall), cp1251("КонецФайла")); }

TEST(Hostile, NulBytesAndLoneCrsStayInsideLines) {
  using namespace std::string_literals;
  const std::string doc = "СекцияДокумент=Пл\0ат\rёж\n"s + std::string(test::kDocumentFields) +
                          "НазначениеПлатежа=a\0b\rc\n"s + "Номер=7\r\r\n" + "Плательщик\0=x\n"s + "КонецДокумента\n";
  const auto s = parse_ok(statement_with(doc));
  ASSERT_TRUE(s && s->documents.size() == 1);
  const Document& d = s->documents[0];
  EXPECT_EQ(d.text(DocumentField::DocType), "Пл\0ат\rёж"s);
  EXPECT_EQ(d.text(DocumentField::Purpose), "a\0b\rc"s);
  EXPECT_EQ(d.text(DocumentField::DocNumber), "7");  // the CR before CR LF is trimmed as White_Space
  EXPECT_EQ(d.text(DocumentField::Counterparty), std::nullopt);  // "Плательщик\0" is an unknown key

  test::expect_error<error::UnrecognizedLine>(statement_with("КонецФайла\0\n"s), 3,
                                              "Unrecognized line: 'КонецФайла\0'"s);
  // Lone CRs do not end lines: a file with CR line ends is a single line.
  test::expect_error<error::NotStatement>("1CClientBankExchange\rВерсияФормата=1\rКонецФайла\r",
                                          "Input is not a 1C statement");
  // A lone CR in a line counts no extra line: the error is on line 4.
  test::expect_error<error::UnrecognizedLine>("1CClientBankExchange\nA=\rb\nB=c\r\nмусор\n", 4,
                                              "Unrecognized line: 'мусор'");
  // A few NUL bytes in windows-1251 text are not enough to make it implausible.
  const std::string nuls = cp1251(statement_with("СекцияДокумент=Ордер\nНомер=1\0\0\nКонецДокумента\n"s));
  const auto s2 = parse_ok(nuls);
  ASSERT_TRUE(s2);
  EXPECT_EQ(s2->encoding, Encoding::Cp1251);
  EXPECT_EQ(s2->warnings.size(), 1u);
}

constexpr std::size_t k100MB = 100u << 20;

TEST(Hostile, HundredMegabyteLine) {
  // As a header value: kept whole.
  {
    std::string input = "1CClientBankExchange\nДлинный=";
    input.append(k100MB, 'x').append("\n").append(document_section()).append("КонецФайла\n");
    const auto s = parse_ok(input);
    ASSERT_TRUE(s);
    ASSERT_NE(s->header.find("Длинный"), nullptr);
    EXPECT_EQ(s->header.find("Длинный")->size(), k100MB);
    EXPECT_EQ(s->documents.size(), 1u);
  }
  // Without "=": unrecognised, reported with the whole line.
  {
    std::string input = "1CClientBankExchange\n";
    input.append(k100MB, 'y').append("\n");
    const check::Result r = parse_statement(input);
    ASSERT_FALSE(r.has_value());
    const auto* e = std::get_if<error::UnrecognizedLine>(&r.error());
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(e->lineno, 2u);
    EXPECT_EQ(e->line.size(), k100MB);
  }
  // Blank: 100 MB of ideographic spaces (3 bytes each) are trimmed away and skipped.
  {
    std::string input = "1CClientBankExchange\n" + repeat("\u3000", k100MB / 3) + "\nмусор\n";
    test::expect_error<error::UnrecognizedLine>(input, 3, "Unrecognized line: 'мусор'");
  }
  // No line end at all: the whole input is line 1, which is not the marker.
  {
    std::string input = "1CClientBankExchange";
    input.append(k100MB, ' ').append("x");
    test::expect_error<error::NotStatement>(input, "Input is not a 1C statement");
  }
}

TEST(Hostile, MillionTinyDocumentSections) {
  constexpr std::size_t kSections = 1'000'000;
  const std::string input = statement_with(repeat("СекцияДокумент=\nКонецДокумента\n", kSections));
  const auto s = parse_ok(input);
  ASSERT_TRUE(s);
  EXPECT_TRUE(s->documents.empty());
  ASSERT_EQ(s->warnings.size(), kSections);
  EXPECT_EQ(s->warnings.front(), (Warning{4, "missing field `Номер`"}));
  EXPECT_EQ(s->warnings.back(), (Warning{2 * kSections + 2, "missing field `Номер`"}));
}

TEST(Hostile, HundredThousandSmallDocumentsThatBuild) {
  // The smallest document that builds, by a hook-free read: 12 keys with one-byte values.
  const std::string fields =
      "Номер=1\nДата=1.1.1\nНазначениеПлатежа=x\nСумма=1\nПлательщикИНН=1\nПлательщикБИК=1\n"
      "ПлательщикБанк1=1\nПлательщикСчет=1\nПолучательИНН=1\nПолучательСчет=1\nПолучательБИК=1\nПолучательБанк1=1\n";
  const auto s = parse_ok(statement_with(repeat("СекцияДокумент=\n" + fields + "КонецДокумента\n", 100'000)));
  ASSERT_TRUE(s);
  EXPECT_EQ(s->documents.size(), 100'000u);
  EXPECT_TRUE(s->warnings.empty());
}

TEST(Hostile, MegabyteValues) {
  constexpr std::size_t kMB = 1u << 20;
  const std::string digits(kMB, '7');
  const std::string big(kMB, 'z');
  const std::string fields(test::kDocumentFields);
  const auto document_with = [&](const std::string& line) {
    return statement_with("СекцияДокумент=Д\n" + fields + line + "\nКонецДокумента\n");
  };
  // A megabyte purpose is kept whole.
  {
    const auto s = parse_ok(document_with("НазначениеПлатежа=" + big));
    ASSERT_TRUE(s && s->documents.size() == 1);
    EXPECT_EQ(s->documents[0].text(DocumentField::Purpose)->size(), kMB);
  }
  // A megabyte integer amount fails, quoting the whole value once.
  {
    const auto s = parse_ok(document_with("Сумма=" + digits));
    ASSERT_TRUE(s && s->warnings.size() == 1);
    EXPECT_EQ(s->warnings[0].message,
              "invalid value: string \"" + digits + "\", expected a Decimal type representing a fixed-point number");
  }
  // A megabyte fraction is rounded at its 28th digit; the rest is only looked over.
  {
    const auto s = parse_ok(document_with("Сумма=0." + digits));
    ASSERT_TRUE(s && s->documents.size() == 1);
    EXPECT_EQ(s->documents[0].amount().scale, 28);
  }
  // A megabyte exponent does not fit 32 bits; a megabyte signed year is out of range.
  {
    const auto s = parse_ok(document_with("Сумма=1e" + digits));
    ASSERT_TRUE(s && s->warnings.size() == 1);
  }
  test::expect_error<error::AccountParseError>(
      statement_with("СекцияРасчСчет\nДатаНачала=01.01.+" + digits + "\nКонецРасчСчет\n"), 5,
      "Account parse error: input is out of range");
  // A megabyte key is simply an unknown key.
  {
    const auto s = parse_ok(document_with(big + "=1"));
    ASSERT_TRUE(s);
    EXPECT_EQ(s->documents.size(), 1u);
  }
}

TEST(Hostile, KeyRepeatedHundredThousandTimes) {
  constexpr int kTimes = 100'000;
  std::string repeated_number;
  std::string repeated_header;
  for (int i = 0; i < kTimes; ++i) {
    repeated_number += "Номер=" + std::to_string(i) + "\n";
    repeated_header += "Ключ=" + std::to_string(i) + "\n";
  }
  const std::string input = "1CClientBankExchange\n" + repeated_header + "СекцияДокумент=Д\n" +
                            std::string(test::kDocumentFields) + repeated_number + "КонецДокумента\nКонецФайла\n";
  std::size_t seen = 0;
  test::FunctionHook hook([&](SectionType, Attributes& attrs, const Attributes& header) {
    seen = attrs.size() + header.size();
    return HookOutcome::Continue();
  });
  SectionHook* hooks[] = {&hook};
  const auto s = parse_ok(input, hooks);
  ASSERT_TRUE(s && s->documents.size() == 1);
  EXPECT_EQ(s->documents[0].text(DocumentField::DocNumber), std::to_string(kTimes - 1));
  EXPECT_EQ(s->header.size(), 1u);
  EXPECT_EQ(*s->header.find("Ключ"), std::to_string(kTimes - 1));
  EXPECT_EQ(seen, 12u + 1u);  // the twelve fields (Номер among them) and the one header key
}

TEST(Hostile, ManyDistinctKeysThenManySmallSections) {
  // One section of 100,000 keys, then 100,000 small ones: the later sections must not
  // pay for the size of the first one.
  std::string big_section = "СекцияДокумент=Д\n";
  for (int i = 0; i < 100'000; ++i) big_section += "K" + std::to_string(i) + "=v\n";
  big_section += "КонецДокумента\n";
  const std::string small = "СекцияДокумент=\n" + std::string(test::kDocumentFields) + "КонецДокумента\n";
  const auto s = parse_ok(statement_with(big_section + repeat(small, 100'000)));
  ASSERT_TRUE(s);
  EXPECT_EQ(s->documents.size(), 100'000u);
  EXPECT_EQ(s->warnings.size(), 1u);
}

TEST(Hostile, SectionsThatNeverEnd) {
  // Nothing nests: the second start is an error at once, whatever follows.
  test::expect_error<error::UnexpectedSection>(
      statement_with(repeat("СекцияДокумент=Д\n", 200'000)), 4,
      "Unexpected section 'СекцияДокумент=Д' in context 'document'");
  test::expect_error<error::UnexpectedSection>(
      statement_with(repeat("СекцияРасчСчет\n", 200'000)), 4,
      "Unexpected section 'СекцияРасчСчет' in context 'account'");
  test::expect_error<error::UnexpectedSection>(
      statement_with(repeat("КонецДокумента\n", 200'000)), 3,
      "Unexpected section 'КонецДокумента' in context 'header'");
  // A section that is never closed: a million attribute lines, then the end of input.
  test::expect_error<error::Unfinished>("1CClientBankExchange\nСекцияРасчСчет\n" + repeat("Ключ=значение\n", 1'000'000),
                                        "Statement is not finished");
}

TEST(Hostile, ManyIntervalsOfOneAccount) {
  // Start dates arriving newest first, and many periods sharing one start date.
  constexpr int kDays = 5'000;
  std::string backwards;
  for (int i = kDays; i > 0; --i) {
    const int year = 2000 + i / 336;
    const int month = 1 + (i / 28) % 12;
    const int day = 1 + i % 28;
    backwards += "СекцияРасчСчет\nРасчСчет=1\nДатаНачала=" + std::to_string(day) + "." + std::to_string(month) + "." +
                 std::to_string(year) + "\nНачальныйОстаток=1\nКонецРасчСчет\n";
  }
  const auto s = parse_ok(statement_with(backwards));
  ASSERT_TRUE(s && s->accounts.size() == 1);
  EXPECT_EQ(s->accounts.items()[0].intervals.size(), static_cast<std::size_t>(kDays));

  std::string same_day;
  for (int i = 0; i < 5'000; ++i) {
    same_day += "СекцияРасчСчет\nРасчСчет=1\nДатаНачала=01.01.2024\nНачальныйОстаток=" + std::to_string(i) +
                "\nКонецРасчСчет\n";
  }
  same_day += same_day;  // each period a second time: dropped as a duplicate
  const auto t = parse_ok(statement_with(same_day));
  ASSERT_TRUE(t && t->accounts.size() == 1);
  const auto& intervals = t->accounts.items()[0].intervals;
  ASSERT_EQ(intervals.size(), 5'000u);
  EXPECT_EQ(intervals.back().start_amount.mantissa_low, 4'999u);  // arrival order kept
}

}  // namespace
}  // namespace varnok
