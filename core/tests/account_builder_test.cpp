// Account sections to intervals: every key, optional ones, failures in their order, and the merge
// into accounts.
#include "parser/account_builder.hpp"

#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "parser/values.hpp"

namespace varnok {
namespace {

using Pairs = std::vector<std::pair<std::string, std::string>>;

constexpr std::string_view kA = "40702810400000012345";
constexpr std::string_view kB = "40702810700000067890";

Attributes make(const Pairs& pairs) {
  Attributes attrs;
  for (const auto& [key, value] : pairs) attrs.set(key, value);
  return attrs;
}

// A typical account section, with the closing balance given or left out.
Pairs section(std::string_view number, std::string_view start, std::string_view opening,
              std::optional<std::string_view> closing = std::nullopt) {
  Pairs p = {{"ДатаНачала", std::string(start)},
             {"ДатаКонца", std::string(start)},
             {"РасчСчет", std::string(number)},
             {"НачальныйОстаток", std::string(opening)}};
  if (closing) p.emplace_back("КонечныйОстаток", std::string(*closing));
  return p;
}

std::string invalid_amount(std::string_view quoted) {
  return "invalid value: string " + std::string(quoted) + ", expected a Decimal type representing a fixed-point number";
}

// "number: start opening..closing, …" per account, in map order.
std::vector<std::string> describe(const AccountMap& accounts) {
  std::vector<std::string> out;
  for (const Account& account : accounts.items()) {
    std::string line = account.number + ":";
    for (const Interval& i : account.intervals) {
      line.append(" ").append(format_date(i.date_start).view()).append(" ");
      line.append(format_amount(i.start_amount).view()).append("..");
      line.append(i.end_amount ? format_amount(*i.end_amount).view() : "-");
    }
    out.push_back(std::move(line));
  }
  return out;
}

AccountMap merged(const std::vector<Pairs>& sections) {
  AccountMap accounts;
  IntervalMerger merger;
  for (const auto& pairs : sections) {
    const Attributes attrs = make(pairs);
    auto built = build_interval(attrs);
    EXPECT_TRUE(built) << built.error().message;
    if (built) merger.add(accounts, built->number, std::move(built->interval));
  }
  IntervalMerger::finish(accounts);
  return accounts;
}

TEST(AccountBuilder, BuildsEveryField) {
  const Attributes attrs = make({{"ДатаНачала", "01.03.2024"},
                                 {"ДатаКонца", "31.03.2024"},
                                 {"РасчСчет", kA.data()},
                                 {"НачальныйОстаток", "125000.00"},
                                 {"ВсегоПоступило", "48250.5"},
                                 {"ВсегоСписано", "1_000"},
                                 {"КонечныйОстаток", "172250.50"}});
  auto built = build_interval(attrs);
  ASSERT_TRUE(built) << built.error().message;
  EXPECT_EQ(built->number, kA);
  EXPECT_EQ(built->number.data(), attrs.find("РасчСчет")->data()) << "the number is borrowed";
  const Interval& i = built->interval;
  EXPECT_EQ(i.date_start, (Date{2024, 3, 1}));
  EXPECT_EQ(i.date_end, (Date{2024, 3, 31}));
  EXPECT_EQ(format_amount(i.start_amount).view(), "125000.00");
  EXPECT_EQ(format_amount(*i.total_income).view(), "48250.5");
  EXPECT_EQ(format_amount(*i.total_expense).view(), "1000");
  EXPECT_EQ(format_amount(*i.end_amount).view(), "172250.50");
}

TEST(AccountBuilder, OptionalFieldsMayBeAbsentAndNumberIsTakenAsStored) {
  for (std::string_view number : {std::string_view(""), std::string_view(" 40702810400000012345 ")}) {
    const Attributes attrs = make({{"РасчСчет", std::string(number)},
                                   {"ДатаКонца", " "},
                                   {"ДатаНачала", "1.3.2024"},
                                   {"НачальныйОстаток", "0"},
                                   {"КонечныйОстатокЗаДень", "oops"}});
    auto built = build_interval(attrs);
    ASSERT_TRUE(built) << built.error().message;
    EXPECT_EQ(built->number, number);
    EXPECT_EQ(built->interval.date_end, std::nullopt);
    EXPECT_EQ(built->interval.end_amount, std::nullopt);
    EXPECT_EQ(built->interval.total_income, std::nullopt);
    EXPECT_EQ(built->interval.total_expense, std::nullopt);
  }
}

struct FailureCase {
  const char* name;
  Pairs attrs;
  AccountFailure::Kind kind;
  std::string message;
};

TEST(AccountBuilder, FailuresInTheirOrder) {
  using enum AccountFailure::Kind;
  const std::string bad_total = invalid_amount("\"1,5\"");
  const FailureCase cases[] = {
      {"no attributes", {}, ParseError, "missing field `ДатаНачала`"},
      {"only a number", {{"РасчСчет", "1"}}, ParseError, "missing field `ДатаНачала`"},
      {"no opening balance", {{"ДатаНачала", "01.03.2024"}, {"РасчСчет", "1"}}, ParseError,
       "missing field `НачальныйОстаток`"},
      {"neither date nor balance", {{"КонечныйОстаток", "5"}}, ParseError, "missing field `ДатаНачала`"},
      {"no number", {{"ДатаНачала", "01.03.2024"}, {"НачальныйОстаток", "5"}}, MissingNumber, ""},
      {"no number and no date", {{"НачальныйОстаток", "5"}}, ParseError, "missing field `ДатаНачала`"},
      {"wrong-case keys are unknown", {{"датаначала", "01.03.2024"}, {"НачальныйОстаток", "5"}, {"РасчСчет", "1"}},
       ParseError, "missing field `ДатаНачала`"},
      {"blank start date", {{"ДатаНачала", ""}}, ParseError, "empty string is not a valid date"},
      {"white start date", {{"ДатаНачала", " \t"}}, ParseError, "empty string is not a valid date"},
      {"start date out of range", {{"ДатаНачала", "31.04.2024"}}, ParseError, "input is out of range"},
      {"end date cut short", {{"ДатаКонца", "5.3"}}, ParseError, "premature end of input"},
      {"end date with a suffix", {{"ДатаКонца", "05.03.2024г"}}, ParseError, "trailing input"},
      {"empty closing balance", {{"КонечныйОстаток", ""}}, ParseError, invalid_amount("\"\"")},
      {"empty opening balance", {{"НачальныйОстаток", ""}}, ParseError, invalid_amount("\"\"")},
      {"comma in income", {{"ВсегоПоступило", "1,5"}}, ParseError, bad_total},
      {"bad expense before a missing number",
       {{"ДатаНачала", "01.03.2024"}, {"НачальныйОстаток", "5"}, {"ВсегоСписано", "1,5"}}, ParseError, bad_total},
      {"bad value after the required ones are missing", {{"X", "1"}, {"ВсегоСписано", "1,5"}}, ParseError, bad_total},
      {"first bad value in attribute order: amount", {{"ВсегоСписано", "1,5"}, {"ДатаНачала", "x"}}, ParseError,
       bad_total},
      {"first bad value in attribute order: date", {{"ДатаНачала", "x"}, {"ВсегоСписано", "1,5"}}, ParseError,
       "input contains invalid characters"},
  };
  for (const auto& c : cases) {
    auto built = build_interval(make(c.attrs));
    ASSERT_FALSE(built) << c.name;
    EXPECT_EQ(built.error().kind, c.kind) << c.name;
    EXPECT_EQ(built.error().message, c.message) << c.name;
  }
}

struct MergeCase {
  const char* name;
  std::vector<Pairs> sections;
  std::vector<std::string> expected;
};

TEST(AccountBuilder, MergeOrdersAndDeduplicates) {
  const std::string a(kA), b(kB);
  Pairs other_end_date = section(kA, "01.01.2024", "100", "150");
  other_end_date[1].second = "02.01.2024";
  Pairs with_income = section(kA, "01.01.2024", "100", "150");
  with_income.emplace_back("ВсегоПоступило", "50");
  Pairs with_unknown = section(kA, "01.01.2024", "100", "150");
  with_unknown.emplace_back("Примечание", "x");

  const MergeCase cases[] = {
      {"later start first",
       {section(kA, "01.02.2024", "200"), section(kA, "01.01.2024", "100")},
       {a + ": 2024-01-01 100..- 2024-02-01 200..-"}},
      {"the same section twice",
       {section(kA, "01.01.2024", "100", "150"), section(kA, "01.01.2024", "100", "150")},
       {a + ": 2024-01-01 100..150"}},
      {"a different closing balance keeps input order",
       {section(kA, "01.01.2024", "100", "200"), section(kA, "01.01.2024", "100", "150")},
       {a + ": 2024-01-01 100..200 2024-01-01 100..150"}},
      {"a closing balance against none",
       {section(kA, "01.01.2024", "100"), section(kA, "01.01.2024", "100", "100")},
       {a + ": 2024-01-01 100..- 2024-01-01 100..100"}},
      {"100.5 equals 100.50; the first is kept",
       {section(kA, "01.01.2024", "100.5", "1"), section(kA, "01.01.2024", "100.50", "1.000")},
       {a + ": 2024-01-01 100.5..1"}},
      {"a third same-start interval goes after the run",
       {section(kA, "01.01.2024", "100", "1"), section(kA, "01.02.2024", "7"), section(kA, "01.01.2024", "100", "2"),
        section(kA, "01.01.2024", "100", "3")},
       {a + ": 2024-01-01 100..1 2024-01-01 100..2 2024-01-01 100..3 2024-02-01 7..-"}},
      {"a duplicate of the first of a run is dropped",
       {section(kA, "01.01.2024", "100", "1"), section(kA, "01.01.2024", "100", "2"),
        section(kA, "01.01.2024", "100", "1"), section(kA, "01.01.2024", "100", "2")},
       {a + ": 2024-01-01 100..1 2024-01-01 100..2"}},
      {"an earlier start between others",
       {section(kA, "05.01.2024", "5"), section(kA, "01.01.2024", "1"), section(kA, "03.01.2024", "3"),
        section(kA, "09.01.2024", "9"), section(kA, "03.01.2024", "3")},
       {a + ": 2024-01-01 1..- 2024-01-03 3..- 2024-01-05 5..- 2024-01-09 9..-"}},
      {"every field counts for the duplicate test",
       {section(kA, "01.01.2024", "100", "150"), other_end_date, with_income, section(kA, "01.01.2024", "101", "150")},
       {a + ": 2024-01-01 100..150 2024-01-01 100..150 2024-01-01 100..150 2024-01-01 101..150"}},
      {"unknown keys do not make a section different",
       {section(kA, "01.01.2024", "100", "150"), with_unknown},
       {a + ": 2024-01-01 100..150"}},
      {"accounts in order of first appearance",
       {section(kB, "01.03.2024", "1"), section(kA, "01.03.2024", "2"), section(kB, "01.02.2024", "3")},
       {b + ": 2024-02-01 3..- 2024-03-01 1..-", a + ": 2024-03-01 2..-"}},
      {"a duplicate in another scale, after other starts",
       {section(kA, "01.01.2024", "100.5", "1"), section(kA, "01.02.2024", "7"), section(kA, "01.01.2024", "100", "2"),
        section(kA, "01.01.2024", "100.500", "1.0"), section(kA, "01.02.2024", "7.00")},
       {a + ": 2024-01-01 100.5..1 2024-01-01 100..2 2024-02-01 7..-"}},
      {"the same period in two accounts is kept in each",
       {section(kA, "01.03.2024", "1"), section(kB, "01.03.2024", "1"), section(kA, "01.03.2024", "1")},
       {a + ": 2024-03-01 1..-", b + ": 2024-03-01 1..-"}},
      {"numbers compare as exact bytes",
       {section(kA, "01.03.2024", "1"), section(" " + a, "01.03.2024", "1")},
       {a + ": 2024-03-01 1..-", " " + a + ": 2024-03-01 1..-"}},
  };
  for (const auto& c : cases) EXPECT_EQ(describe(merged(c.sections)), c.expected) << c.name;
}

TEST(AccountBuilder, AccountMapFindsManyAccountsAndKeepsTheirOrder) {
  AccountMap accounts;
  std::vector<std::string> numbers;
  for (int i = 0; i < 300; ++i) numbers.push_back(i % 2 ? "4070281040000001" + std::to_string(1000 + i) : std::to_string(i));
  for (const auto& n : numbers) accounts.append(n, Interval{});
  ASSERT_EQ(accounts.size(), numbers.size());
  for (std::size_t i = 0; i < numbers.size(); ++i) {
    EXPECT_EQ(accounts.items()[i].number, numbers[i]);
    const Account* found = std::as_const(accounts).find(numbers[i]);
    ASSERT_NE(found, nullptr) << numbers[i];
    EXPECT_EQ(found, &accounts.items()[i]);
    EXPECT_EQ(accounts.index_of(numbers[i]), i);
  }
  EXPECT_EQ(accounts.find("4070281040000001"), nullptr);
  EXPECT_EQ(accounts.index_of(""), std::nullopt);
  EXPECT_FALSE(accounts.empty());
  const std::vector<Account> released = accounts.release();
  EXPECT_EQ(released.size(), numbers.size());
  EXPECT_TRUE(accounts.empty());
  EXPECT_EQ(accounts.find(numbers[0]), nullptr) << "no stale index after a release";
}

}  // namespace
}  // namespace varnok
