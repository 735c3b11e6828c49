#include "parser/reader.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "test_support.hpp"

namespace varnok {
namespace {

using ::testing::ElementsAre;
using test::expect_error;
using test::FunctionHook;
using test::kAccountSection;
using test::parse_ok;
using test::statement_with;

std::string doc_text(const Document& d, DocumentField f) { return std::string(d.text(f).value_or("<absent>")); }

std::vector<std::pair<std::string, std::string>> entries_of(const Attributes& a) {
  std::vector<std::pair<std::string, std::string>> out;
  for (const auto& e : a) out.emplace_back(e.key, e.value);
  return out;
}

using KV = std::pair<std::string, std::string>;

TEST(Reader, ReadsHeaderAccountAndDocument) {
  const std::string input = "1CClientBankExchange\n"
                            "ВерсияФормата=1.03\n"
                            "Кодировка=Windows\n"
                            "ВерсияФормата=1.02\n"
                            "СекцияРасчСчет=1\n" +
                            std::string(kAccountSection) + test::document_section() + "КонецФайла\n";
  auto s = parse_ok(input);
  ASSERT_TRUE(s);
  EXPECT_EQ(s->encoding, Encoding::Utf8);
  // A repeated key keeps its first position and its last value; "СекцияРасчСчет=1" is
  // an ordinary header attribute.
  EXPECT_THAT(entries_of(s->header), ElementsAre(KV{"ВерсияФормата", "1.02"}, KV{"Кодировка", "Windows"},
                                                 KV{"СекцияРасчСчет", "1"}));
  ASSERT_EQ(s->accounts.size(), 1u);
  EXPECT_EQ(s->accounts.items()[0].number, "40702810000000000001");
  EXPECT_EQ(s->accounts.items()[0].intervals.size(), 1u);
  ASSERT_EQ(s->documents.size(), 1u);
  EXPECT_EQ(doc_text(s->documents[0], DocumentField::DocType), "Платежное поручение");
  EXPECT_EQ(doc_text(s->documents[0], DocumentField::DocNumber), "7");
  EXPECT_TRUE(s->warnings.empty());
}

TEST(Reader, LineEndsAndSurroundingWhiteSpaceDoNotMatter) {
  const std::string lf = statement_with(std::string(kAccountSection) + test::document_section());
  std::string crlf;
  for (char c : lf) crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
  std::string no_final_lf = lf.substr(0, lf.size() - 1);
  std::string padded;
  for (std::string_view rest = lf; !rest.empty();) {
    const auto eol = rest.find('\n');
    padded.append("  \t").append(rest.substr(0, eol)).append("\xC2\xA0 \r\n\n \n");
    rest.remove_prefix(eol + 1);
  }

  auto base = parse_ok(lf);
  ASSERT_TRUE(base);
  for (const std::string& variant : {crlf, no_final_lf, padded, "\xEF\xBB\xBF" + lf}) {
    auto s = parse_ok(variant);
    ASSERT_TRUE(s);
    EXPECT_EQ(s->header, base->header);
    EXPECT_EQ(s->documents, base->documents);
    EXPECT_EQ(s->warnings, base->warnings);
    ASSERT_EQ(s->accounts.size(), 1u);
    EXPECT_EQ(s->accounts.items()[0].intervals, base->accounts.items()[0].intervals);
  }
}

TEST(Reader, FirstLineCheck) {
  const std::string rest = "ВерсияФормата=1.03\n" + std::string(kAccountSection) + "КонецФайла\n";
  EXPECT_TRUE(parse_ok(" \t1CClientBankExchange\xE3\x80\x80 \r\n" + rest));
  expect_error<error::NotStatement>("\n1CClientBankExchange\n" + rest, "Input is not a 1C statement");
  expect_error<error::NotStatement>("  \n1CClientBankExchange\n" + rest, "Input is not a 1C statement");
  expect_error<error::NotStatement>("1cclientbankexchange\n" + rest, "Input is not a 1C statement");
  expect_error<error::NotStatement>("1CClientBankExchange=1\n" + rest, "Input is not a 1C statement");
  expect_error<error::NotStatement>("\xEF\xBB\xBF", "Input is not a 1C statement");
  expect_error<error::NotStatement>("\v\v", "Input is not a 1C statement");
  expect_error<error::EmptyInput>(" \r\n\t\f ", "Input is empty");
  expect_error<error::Unfinished>("1CClientBankExchange", "Statement is not finished");
}

struct ErrorCase {
  const char* name;
  std::string input;
  std::uint64_t line;
  std::string message;
};

// Line 1 is the marker and line 2 a header line in every statement_with() input.
std::vector<ErrorCase> transition_errors() {
  const std::string head = "1CClientBankExchange\nВерсияФормата=1.03\n";
  const std::string acc = "СекцияРасчСчет\nДатаНачала=01.01.2024\n";  // lines 3-4
  const std::string doc = "СекцияДокумент=Х\nНомер=1\n";                // lines 3-4
  const std::string done = head + std::string(kAccountSection) + "КонецФайла\n";  // 8 lines
  return {
      {"header: marker", head + "1CClientBankExchange\n", 3,
       "Unexpected section '1CClientBankExchange' in context 'header'"},
      {"header: account end", head + "КонецРасчСчет\n", 3, "Unexpected section 'КонецРасчСчет' in context 'header'"},
      {"header: document end", head + "КонецДокумента\n", 3,
       "Unexpected section 'КонецДокумента' in context 'header'"},
      {"header: file end", head + "КонецФайла\n", 3, "Unexpected section 'КонецФайла' in context 'header'"},
      {"account: marker", head + acc + "1CClientBankExchange\n", 5,
       "Unexpected section '1CClientBankExchange' in context 'account'"},
      {"account: account start", head + acc + "СекцияРасчСчет\n", 5,
       "Unexpected section 'СекцияРасчСчет' in context 'account'"},
      {"account: document start", head + acc + "СекцияДокумент=X\n", 5,
       "Unexpected section 'СекцияДокумент=X' in context 'account'"},
      {"account: document end", head + acc + "КонецДокумента\n", 5,
       "Unexpected section 'КонецДокумента' in context 'account'"},
      {"account: file end", head + acc + "КонецФайла\n", 5, "Unexpected section 'КонецФайла' in context 'account'"},
      {"document: marker", head + doc + "1CClientBankExchange\n", 5,
       "Unexpected section '1CClientBankExchange' in context 'document'"},
      {"document: account start", head + doc + "СекцияРасчСчет\n", 5,
       "Unexpected section 'СекцияРасчСчет' in context 'document'"},
      {"document: account end", head + doc + "КонецРасчСчет\n", 5,
       "Unexpected section 'КонецРасчСчет' in context 'document'"},
      {"document: document start", head + doc + "СекцияДокумент = Платежное поручение\n", 5,
       "Unexpected section 'СекцияДокумент=Платежное поручение' in context 'document'"},
      {"document: file end", head + doc + "КонецФайла\n", 5, "Unexpected section 'КонецФайла' in context 'document'"},
      {"next section: marker", head + std::string(kAccountSection) + "1CClientBankExchange\n", 8,
       "Unexpected section '1CClientBankExchange' in context 'read_next_section'"},
      {"next section: account end", head + std::string(kAccountSection) + "КонецРасчСчет\n", 8,
       "Unexpected section 'КонецРасчСчет' in context 'read_next_section'"},
      {"next section: document end", head + test::document_section() + "КонецДокумента\n", 17,
       "Unexpected section 'КонецДокумента' in context 'read_next_section'"},
      {"next section: attribute", head + std::string(kAccountSection) + "Ключ = a = b\n", 8,
       "Unexpected attribute 'Ключ' = 'a = b'"},
      {"finished: attribute", done + "X=1\n", 9, "Unexpected attribute 'X' = '1'"},
      {"finished: empty attribute", done + "=\n", 9, "Unexpected attribute '' = ''"},
      {"finished: second file end", done + "КонецФайла\n", 9, "Unexpected section 'КонецФайла' in context 'finished'"},
      {"finished: marker", done + "1CClientBankExchange\n", 9,
       "Unexpected section '1CClientBankExchange' in context 'finished'"},
      {"finished: account start", done + "СекцияРасчСчет\n", 9,
       "Unexpected section 'СекцияРасчСчет' in context 'finished'"},
      {"finished: account end", done + "КонецРасчСчет\n", 9,
       "Unexpected section 'КонецРасчСчет' in context 'finished'"},
      {"finished: document start", done + "СекцияДокумент=\n", 9,
       "Unexpected section 'СекцияДокумент=' in context 'finished'"},
      {"finished: document end", done + "КонецДокумента\n", 9,
       "Unexpected section 'КонецДокумента' in context 'finished'"},
      {"finished: after blank lines", done + "\n \r\n\t\nX=1\n", 12, "Unexpected attribute 'X' = '1'"},
  };
}

TEST(Reader, TransitionErrors) {
  for (const auto& c : transition_errors()) {
    SCOPED_TRACE(c.name);
    if (c.message.starts_with("Unexpected attribute")) {
      expect_error<error::UnexpectedAttribute>(c.input, c.line, c.message);
    } else {
      expect_error<error::UnexpectedSection>(c.input, c.line, c.message);
    }
  }
}

TEST(Reader, UnrecognizedLines) {
  const std::string head = "1CClientBankExchange\nВерсияФормата=1.03\n";
  const ErrorCase cases[] = {
      {"garbage with spaces", head + "  garbage line \xC2\xA0\n", 3, "Unrecognized line: 'garbage line'"},
      {"lone document start", head + "СекцияДокумент\n", 3, "Unrecognized line: 'СекцияДокумент'"},
      {"lower-case marker", head + std::string(kAccountSection) + "конецфайла\n", 8,
       "Unrecognized line: 'конецфайла'"},
      {"after two blank lines", head + "\n\r\nx\n", 5, "Unrecognized line: 'x'"},
      {"inside a section", head + "СекцияРасчСчет\nДатаНачала\n", 4, "Unrecognized line: 'ДатаНачала'"},
      {"after the file end", head + std::string(kAccountSection) + "КонецФайла\nxyz", 9,
       "Unrecognized line: 'xyz'"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    expect_error<error::UnrecognizedLine>(c.input, c.line, c.message);
  }
}

TEST(Reader, UnfinishedUnlessFinished) {
  const std::string head = "1CClientBankExchange\nВерсияФормата=1.03\n";
  const std::string inputs[] = {
      head,
      "1CClientBankExchange\n\n\n",
      head + "СекцияРасчСчет\nДатаНачала=01.01.2024\n",
      head + "СекцияДокумент=Х\n",
      head + std::string(kAccountSection),
      head + std::string(kAccountSection) + "\n  \n",
  };
  for (const auto& input : inputs) expect_error<error::Unfinished>(input, "Statement is not finished");
}

TEST(Reader, BlankLinesAfterFileEndAreHarmless) {
  EXPECT_TRUE(parse_ok(statement_with(kAccountSection) + "\n \r\n\t\n\xE3\x80\x80"));
}

TEST(Reader, AccountFailuresStopAtTheEndLine) {
  const std::string head = "1CClientBankExchange\nВерсияФормата=1.03\n";
  expect_error<error::MissingField>(
      head + "СекцияРасчСчет\nДатаНачала=01.01.2024\nНачальныйОстаток=1\n\nКонецРасчСчет\nКонецФайла\n", 7,
      "Missing field 'РасчСчет' in context 'account'");
  expect_error<error::AccountParseError>(head + "СекцияРасчСчет\nРасчСчет=1\nКонецРасчСчет\nКонецФайла\n", 5,
                                         "Account parse error: missing field `ДатаНачала`");
  expect_error<error::AccountParseError>(head + "СекцияРасчСчет\nКонецРасчСчет\nКонецФайла\n", 4,
                                         "Account parse error: missing field `ДатаНачала`");
}

TEST(Reader, FailedDocumentsBecomeWarnings) {
  const std::string bad = "СекцияДокумент=Платежное поручение\nНомер=1\nКонецДокумента\n";  // lines 3-5
  auto s = parse_ok(statement_with(bad + test::document_section("Банковский ордер") + bad));
  ASSERT_TRUE(s);
  ASSERT_EQ(s->documents.size(), 1u);
  EXPECT_EQ(doc_text(s->documents[0], DocumentField::DocType), "Банковский ордер");
  EXPECT_THAT(s->warnings, ElementsAre(Warning{5, "missing field `Дата`"}, Warning{22, "missing field `Дата`"}));

  auto only_bad = parse_ok(statement_with(bad));
  ASSERT_TRUE(only_bad);
  EXPECT_TRUE(only_bad->accounts.empty());
  EXPECT_TRUE(only_bad->documents.empty());
  EXPECT_THAT(only_bad->warnings, ElementsAre(Warning{5, "missing field `Дата`"}));
}

TEST(Reader, DocumentKinds) {
  struct Case {
    std::string start;
    std::string kind;
  };
  const Case cases[] = {
      {"СекцияДокумент = Платежное поручение", "Платежное поручение"},
      {"СекцияДокумент=", ""},
      {"СекцияДокумент= a=b ", "a=b"},
  };
  for (const auto& c : cases) {
    std::string section = c.start + "\n" + std::string(test::kDocumentFields) + "КонецДокумента\n";
    auto s = parse_ok(statement_with(section));
    ASSERT_TRUE(s);
    ASSERT_EQ(s->documents.size(), 1u);
    EXPECT_EQ(doc_text(s->documents[0], DocumentField::DocType), c.kind);
  }
}

TEST(Reader, Cp1251InputIsLabelledAndDecoded) {
  // "Ключ=Значение" in windows-1251 after the marker.
  const std::string input = "1CClientBankExchange\r\n\xCA\xEB\xFE\xF7=\xC7\xED\xE0\xF7\xE5\xED\xE8\xE5\r\n"
                            "\xD1\xE5\xEA\xF6\xE8\xFF\xD0\xE0\xF1\xF7\xD1\xF7\xE5\xF2\r\n"
                            "\xC4\xE0\xF2\xE0\xCD\xE0\xF7\xE0\xEB\xE0=01.01.2024\r\n"
                            "\xCD\xE0\xF7\xE0\xEB\xFC\xED\xFB\xE9\xCE\xF1\xF2\xE0\xF2\xEE\xEA=5\r\n"
                            "\xD0\xE0\xF1\xF7\xD1\xF7\xE5\xF2=1\r\n"
                            "\xCA\xEE\xED\xE5\xF6\xD0\xE0\xF1\xF7\xD1\xF7\xE5\xF2\r\n"
                            "\xCA\xEE\xED\xE5\xF6\xD4\xE0\xE9\xEB\xE0\r\n";
  auto s = parse_ok(input);
  ASSERT_TRUE(s);
  EXPECT_EQ(s->encoding, Encoding::Cp1251);
  EXPECT_THAT(entries_of(s->header), ElementsAre(KV{"Ключ", "Значение"}));
  ASSERT_EQ(s->accounts.size(), 1u);
  EXPECT_EQ(s->accounts.items()[0].number, "1");
}

TEST(Reader, ErrorsOwnTheirTexts) {
  std::string input = statement_with(kAccountSection) + "Ключ=Значение\n";
  auto r = parse_statement(input);
  std::ranges::fill(input, 'x');
  ASSERT_FALSE(r);
  EXPECT_EQ(message(r.error()), "Unexpected attribute 'Ключ' = 'Значение'");

  // The decoded text of a windows-1251 input is freed when the read returns.
  auto r2 = parse_statement("1CClientBankExchange\n\xCA\xEB\xFE\xF7\n");  // "Ключ"
  ASSERT_FALSE(r2);
  EXPECT_EQ(message(r2.error()), "Unrecognized line: 'Ключ'");
  EXPECT_EQ(lineno(r2.error()), 2u);
}

TEST(Reader, ManySectionsStayLinear) {
  // 50,000 sections of 14 attributes each, and one section of 100,000 distinct keys.
  std::string body;
  for (int i = 0; i < 50'000; ++i) body += test::document_section();
  body += "СекцияРасчСчет\nДатаНачала=01.01.2024\nНачальныйОстаток=1\nРасчСчет=9\n";
  for (int i = 0; i < 100'000; ++i) body += "Ключ" + std::to_string(i) + "=" + std::to_string(i) + "\n";
  body += "КонецРасчСчет\n";
  auto s = parse_ok(statement_with(body));
  ASSERT_TRUE(s);
  EXPECT_EQ(s->documents.size(), 50'000u);
  EXPECT_EQ(s->accounts.size(), 1u);
}

// Hooks.

struct Call {
  SectionType type;
  std::vector<KV> attrs;
  std::vector<KV> header;
};

TEST(ReaderHooks, CalledInOrderEachSeeingThePreviousChanges) {
  std::vector<std::string> log;
  std::vector<Call> seen_by_second;
  FunctionHook first([&](SectionType, Attributes& attrs, const Attributes&) {
    log.push_back("first");
    attrs.set("Добавлено", "1");
    if (const std::string* n = attrs.find("Номер")) attrs.set("Номер", *n + "-изменён");
    return HookOutcome::Continue();
  });
  FunctionHook second([&](SectionType type, Attributes& attrs, const Attributes& header) {
    log.push_back("second");
    seen_by_second.push_back({type, entries_of(attrs), entries_of(header)});
    return HookOutcome::Continue();
  });
  SectionHook* hooks[] = {&first, &second};
  const std::string input = statement_with("СекцияРасчСчет\nКонецРасчСчет\n" /* lines 3-4 */);
  // An empty account section still reaches the hooks; it then fails in the builder.
  expect_error<error::AccountParseError>(input, 4, "Account parse error: missing field `ДатаНачала`", hooks);
  EXPECT_THAT(log, ElementsAre("first", "second"));

  log.clear();
  seen_by_second.clear();
  auto s = parse_ok(statement_with(std::string(kAccountSection) + test::document_section()), hooks);
  ASSERT_TRUE(s);
  EXPECT_THAT(log, ElementsAre("first", "second", "first", "second"));
  ASSERT_EQ(seen_by_second.size(), 2u);
  EXPECT_EQ(seen_by_second[0].type, SectionType::Account);
  EXPECT_EQ(seen_by_second[0].attrs.back(), (KV{"Добавлено", "1"}));
  EXPECT_EQ(seen_by_second[1].type, SectionType::Document);
  // The kind is not an attribute; the first hook's change is visible.
  for (const auto& kv : seen_by_second[1].attrs) EXPECT_NE(kv.first, "СекцияДокумент");
  EXPECT_EQ(seen_by_second[1].attrs.front(), (KV{"Номер", "7-изменён"}));
  for (const Call& c : seen_by_second) EXPECT_THAT(c.header, ElementsAre(KV{"ВерсияФормата", "1.03"}));

  ASSERT_EQ(s->documents.size(), 1u);
  EXPECT_EQ(doc_text(s->documents[0], DocumentField::DocNumber), "7-изменён");
  EXPECT_EQ(doc_text(s->documents[0], DocumentField::DocType), "Платежное поручение");
  EXPECT_THAT(entries_of(s->header), ElementsAre(KV{"ВерсияФормата", "1.03"}));
}

TEST(ReaderHooks, FailStopsAtTheEndLineAndLaterHooksAreNotCalled) {
  FunctionHook failing([](SectionType type, Attributes&, const Attributes&) {
    return type == SectionType::Document ? HookOutcome::Fail("ValueError: boom") : HookOutcome::Continue();
  });
  FunctionHook later([](SectionType, Attributes&, const Attributes&) { return HookOutcome::Continue(); });
  SectionHook* hooks[] = {&failing, &later};
  // Account lines 3-7, document lines 8-21.
  expect_error<error::HookError>(statement_with(std::string(kAccountSection) + test::document_section()), 21,
                                 "Hook error: ValueError: boom", hooks);
  EXPECT_EQ(failing.calls(), 2);
  EXPECT_EQ(later.calls(), 1);

  FunctionHook empty_message([](SectionType, Attributes&, const Attributes&) { return HookOutcome::Fail(""); });
  SectionHook* one[] = {&empty_message};
  expect_error<error::HookError>(statement_with(kAccountSection), 7, "Hook error: ", one);
}

TEST(ReaderHooks, NotCalledForSectionsCutShort) {
  FunctionHook hook([](SectionType, Attributes&, const Attributes&) { return HookOutcome::Continue(); });
  SectionHook* hooks[] = {&hook};
  const std::string head = "1CClientBankExchange\nВерсияФормата=1.03\n";
  expect_error<error::Unfinished>(head + "СекцияРасчСчет\nДатаНачала=01.01.2024\n", "Statement is not finished",
                                  hooks);
  expect_error<error::UnexpectedSection>(head + "СекцияДокумент=X\nНомер=1\nКонецФайла\n", 5,
                                         "Unexpected section 'КонецФайла' in context 'document'", hooks);
  expect_error<error::UnrecognizedLine>(head + "СекцияДокумент=X\nНомер\nКонецДокумента\n", 4,
                                        "Unrecognized line: 'Номер'", hooks);
  EXPECT_EQ(hook.calls(), 0);
}

TEST(ReaderHooks, ChangesDecideWhatIsBuilt) {
  // Renumbering moves the interval; dropping ДатаНачала fails the account at its end line;
  // adding СекцияДокумент makes the document a duplicate-field warning.
  FunctionHook renumber([](SectionType type, Attributes& attrs, const Attributes&) {
    if (type == SectionType::Account) attrs.set("РасчСчет", "новый");
    return HookOutcome::Continue();
  });
  SectionHook* renumbering[] = {&renumber};
  auto s = parse_ok(statement_with(kAccountSection), renumbering);
  ASSERT_TRUE(s);
  ASSERT_EQ(s->accounts.size(), 1u);
  EXPECT_EQ(s->accounts.items()[0].number, "новый");

  FunctionHook drop_date([](SectionType, Attributes& attrs, const Attributes&) {
    Attributes kept;
    for (const auto& e : attrs)
      if (e.key != "ДатаНачала") kept.set(e.key, e.value);
    attrs = kept;
    return HookOutcome::Continue();
  });
  SectionHook* dropping[] = {&drop_date};
  expect_error<error::AccountParseError>(statement_with(kAccountSection), 7,
                                         "Account parse error: missing field `ДатаНачала`", dropping);

  FunctionHook add_kind([](SectionType, Attributes& attrs, const Attributes&) {
    attrs.set("СекцияДокумент", "Другой");
    return HookOutcome::Continue();
  });
  SectionHook* adding[] = {&add_kind};
  auto d = parse_ok(statement_with(test::document_section()), adding);
  ASSERT_TRUE(d);
  EXPECT_TRUE(d->documents.empty());
  EXPECT_THAT(d->warnings, ElementsAre(Warning{16, "duplicate field `СекцияДокумент`"}));
}

// The real statements in the shared samples folder, with their expected outcomes.
TEST(Reader, RealSamples) {
  const std::filesystem::path dir = VARNOK_SAMPLES_DIR;
  std::ifstream table(dir / "EXPECTED.tsv");
  if (!table) GTEST_SKIP() << "no samples at " << dir;
  std::string row;
  std::getline(table, row);  // column names
  int checked = 0;
  while (std::getline(table, row)) {
    std::vector<std::string> col;
    std::stringstream cells(row);
    for (std::string cell; std::getline(cells, cell, '\t');) col.push_back(cell);
    col.resize(9);
    const std::string& file = col[0];
    const std::string& outcome = col[1];
    SCOPED_TRACE(file);
    std::ifstream in(dir / file, std::ios::binary);
    ASSERT_TRUE(in);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());

    auto r = parse_statement(bytes);
    ++checked;
    if (outcome != "Statement") {
      ASSERT_FALSE(r) << outcome;
      EXPECT_EQ(message(r.error()), col[7]);
      EXPECT_EQ(lineno(r.error()), col[8].empty() ? std::nullopt : std::optional<std::uint64_t>(std::stoull(col[8])));
      const bool syntax = lineno(r.error()).has_value();
      EXPECT_EQ(syntax, outcome == "SyntaxError");
      continue;
    }
    ASSERT_TRUE(r) << message(r.error());
    EXPECT_EQ(name(r->encoding), col[2]);
    EXPECT_EQ(r->accounts.size(), std::stoul(col[3]));
    std::size_t intervals = 0;
    for (const Account& a : r->accounts.items()) intervals += a.intervals.size();
    EXPECT_EQ(intervals, std::stoul(col[4]));
    EXPECT_EQ(r->documents.size(), std::stoul(col[5]));
    ASSERT_EQ(r->warnings.size(), std::stoul(col[6]));
    if (!r->warnings.empty()) {
      EXPECT_EQ(r->warnings[0].message, col[7]);
      EXPECT_EQ(r->warnings[0].lineno, std::stoull(col[8]));
    }
  }
  EXPECT_GT(checked, 0);
}

}  // namespace
}  // namespace varnok
