// The reader: header, accounts and documents, the first-line check, every failure with its line,
// warnings, hooks.
#include "parser/reader.hpp"

#include <algorithm>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <varnok/varnok.hpp>

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
  std::string input;
  std::optional<std::uint64_t> line;
  std::string message;
};

// Every statement here has the marker on line 1 and a header line on line 2.
std::vector<ErrorCase> error_cases() {
  const std::string head = "1CClientBankExchange\nВерсияФормата=1.03\n";
  const std::string acc = head + "СекцияРасчСчет\nДатаНачала=01.01.2024\n";  // 4 lines
  const std::string doc = head + "СекцияДокумент=Х\nНомер=1\n";              // 4 lines
  const std::string next = head + std::string(kAccountSection);               // 7 lines
  const std::string done = next + "КонецФайла\n";                              // 8 lines
  auto section = [](std::string_view found, std::string_view context) {
    return "Unexpected section '" + std::string(found) + "' in context '" + std::string(context) + "'";
  };
  return {
      {head + "1CClientBankExchange\n", 3, section("1CClientBankExchange", "header")},
      {head + "КонецРасчСчет\n", 3, section("КонецРасчСчет", "header")},
      {head + "КонецДокумента\n", 3, section("КонецДокумента", "header")},
      {head + "КонецФайла\n", 3, section("КонецФайла", "header")},
      {acc + "1CClientBankExchange\n", 5, section("1CClientBankExchange", "account")},
      {acc + "СекцияРасчСчет\n", 5, section("СекцияРасчСчет", "account")},
      {acc + "СекцияДокумент=X\n", 5, section("СекцияДокумент=X", "account")},
      {acc + "КонецДокумента\n", 5, section("КонецДокумента", "account")},
      {acc + "КонецФайла\n", 5, section("КонецФайла", "account")},
      {doc + "1CClientBankExchange\n", 5, section("1CClientBankExchange", "document")},
      {doc + "СекцияРасчСчет\n", 5, section("СекцияРасчСчет", "document")},
      {doc + "КонецРасчСчет\n", 5, section("КонецРасчСчет", "document")},
      {doc + "СекцияДокумент = Платежное поручение\n", 5,
       section("СекцияДокумент=Платежное поручение", "document")},
      {doc + "КонецФайла\n", 5, section("КонецФайла", "document")},
      {next + "1CClientBankExchange\n", 8, section("1CClientBankExchange", "read_next_section")},
      {next + "КонецРасчСчет\n", 8, section("КонецРасчСчет", "read_next_section")},
      {next + "КонецДокумента\n", 8, section("КонецДокумента", "read_next_section")},
      {next + "Ключ = a = b\n", 8, "Unexpected attribute 'Ключ' = 'a = b'"},
      {done + "X=1\n", 9, "Unexpected attribute 'X' = '1'"},
      {done + "=\n", 9, "Unexpected attribute '' = ''"},
      {done + "КонецФайла\n", 9, section("КонецФайла", "finished")},
      {done + "1CClientBankExchange\n", 9, section("1CClientBankExchange", "finished")},
      {done + "СекцияРасчСчет\n", 9, section("СекцияРасчСчет", "finished")},
      {done + "КонецРасчСчет\n", 9, section("КонецРасчСчет", "finished")},
      {done + "СекцияДокумент=\n", 9, section("СекцияДокумент=", "finished")},
      {done + "КонецДокумента\n", 9, section("КонецДокумента", "finished")},
      {done + "\n \r\n\t\nX=1\n", 12, "Unexpected attribute 'X' = '1'"},
      {head + "  garbage line \xC2\xA0\n", 3, "Unrecognized line: 'garbage line'"},
      {head + "СекцияДокумент\n", 3, "Unrecognized line: 'СекцияДокумент'"},
      {next + "конецфайла\n", 8, "Unrecognized line: 'конецфайла'"},
      {head + "\n\r\nx\n", 5, "Unrecognized line: 'x'"},
      {head + "СекцияРасчСчет\nДатаНачала\n", 4, "Unrecognized line: 'ДатаНачала'"},
      {done + "xyz", 9, "Unrecognized line: 'xyz'"},
      // Account failures carry the КонецРасчСчет line, not the line of the bad value.
      {head + "СекцияРасчСчет\nДатаНачала=01.01.2024\nНачальныйОстаток=1\n\nКонецРасчСчет\nКонецФайла\n", 7,
       "Missing field 'РасчСчет' in context 'account'"},
      {head + "СекцияРасчСчет\nРасчСчет=1\nКонецРасчСчет\nКонецФайла\n", 5,
       "Account parse error: missing field `ДатаНачала`"},
      {head, std::nullopt, "Statement is not finished"},
      {"1CClientBankExchange\n\n\n", std::nullopt, "Statement is not finished"},
      {acc, std::nullopt, "Statement is not finished"},
      {doc, std::nullopt, "Statement is not finished"},
      {next + "\n  \n", std::nullopt, "Statement is not finished"},
  };
}

TEST(Reader, EveryFailureWithItsLine) {
  for (const auto& c : error_cases()) EXPECT_TRUE(test::fails_at(c.input, c.line, c.message)) << c.input;
}

TEST(Reader, ErrorKinds) {
  // The messages above identify the kinds; these pin the kind of each family once.
  const std::string head = "1CClientBankExchange\nВерсияФормата=1.03\n";
  expect_error<error::UnexpectedSection>(head + "КонецФайла\n", 3, "Unexpected section 'КонецФайла' in context 'header'");
  expect_error<error::UnexpectedAttribute>(statement_with(kAccountSection) + "A=B", 9, "Unexpected attribute 'A' = 'B'");
  expect_error<error::UnrecognizedLine>(head + "x\n", 3, "Unrecognized line: 'x'");
  expect_error<error::MissingField>(statement_with("СекцияРасчСчет\nДатаНачала=01.01.2024\nНачальныйОстаток=1\nКонецРасчСчет\n"),
                                    6, "Missing field 'РасчСчет' in context 'account'");
  expect_error<error::AccountParseError>(statement_with("СекцияРасчСчет\nКонецРасчСчет\n"), 4,
                                         "Account parse error: missing field `ДатаНачала`");
  expect_error<error::Unfinished>(head, "Statement is not finished");
}

TEST(Reader, BlankLinesAfterFileEndAreHarmless) {
  EXPECT_TRUE(parse_ok(statement_with(kAccountSection) + "\n \r\n\t\n\xE3\x80\x80"));
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

TEST(Reader, RepeatedDocumentKeysActAsInTheAttributeMap) {
  // The last value wins and the first position decides which bad value is reported,
  // whether the lines go through the attribute map (with a hook) or straight to the builder.
  struct Case {
    const char* name;
    std::string extra;  // lines added after the usual fields
    std::string purpose;
    std::string warning;  // "" when the document is built
  };
  const Case cases[] = {
      {"a text given again", "НазначениеПлатежа=Вторая\nНазначениеПлатежа=Третья\n", "Третья", ""},
      {"a bad date made good", "Дата=32.01.2024\nДата=03.01.2024\n", "Оплата", ""},
      {"a good amount made bad", "Сумма=x\n", "Оплата",
       "invalid value: string \"x\", expected a Decimal type representing a fixed-point number"},
      {"the first position wins", "ДатаСписано=99\nСумма=x\nДата=x\n", "Оплата", "input contains invalid characters"},
      {"a later key cannot move a field back", "ДатаПоступило=x\nДатаСписано=y\nДатаПоступило=01.01.2024\n", "Оплата",
       "input contains invalid characters"},
  };
  FunctionHook pass([](SectionType, Attributes&, const Attributes&) { return HookOutcome::Continue(); });
  SectionHook* passing[] = {&pass};
  for (const auto& c : cases) {
    const std::string section = "СекцияДокумент=П\n" + std::string(test::kDocumentFields) + c.extra + "КонецДокумента\n";
    auto direct = parse_ok(statement_with(section));
    auto mapped = parse_ok(statement_with(section), passing);
    ASSERT_TRUE(direct && mapped) << c.name;
    EXPECT_EQ(direct->documents, mapped->documents) << c.name;
    EXPECT_EQ(direct->warnings, mapped->warnings) << c.name;
    if (c.warning.empty()) {
      ASSERT_EQ(direct->documents.size(), 1u) << c.name;
      EXPECT_EQ(doc_text(direct->documents[0], DocumentField::Purpose), c.purpose) << c.name;
    } else {
      ASSERT_EQ(direct->warnings.size(), 1u) << c.name;
      EXPECT_EQ(direct->warnings[0].message, c.warning) << c.name;
    }
  }
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
    if (const std::string_view* n = attrs.find("Номер")) attrs.set("Номер", std::string(*n) + "-изменён");
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

TEST(ReaderHooks, AbandonEndsTheReadWithTheHooksTextAndNoLine) {
  FunctionHook abandoning([](SectionType type, Attributes&, const Attributes&) {
    return type == SectionType::Document ? HookOutcome::Abandon("dictionary changed size during iteration")
                                         : HookOutcome::Continue();
  });
  FunctionHook later([](SectionType, Attributes&, const Attributes&) { return HookOutcome::Continue(); });
  SectionHook* hooks[] = {&abandoning, &later};
  expect_error<error::HookAbandoned>(statement_with(std::string(kAccountSection) + test::document_section()),
                                     "dictionary changed size during iteration", hooks);
  EXPECT_EQ(later.calls(), 1);
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

}  // namespace
}  // namespace varnok
