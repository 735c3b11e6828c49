// The quoted form of a text: escapes, marks and non-printing characters, invalid UTF-8.
#include <cstddef>
#include <span>
#include <string>
#include <string_view>

#include <gtest/gtest.h>

#include "parser/values.hpp"
#include "testing.hpp"

namespace varnok {
namespace {

using namespace std::string_view_literals;

struct QuotedCase {
  std::string_view text;
  std::string_view quoted;  // without the enclosing double quotes
};

void expect_quoted(std::span<const QuotedCase> cases) {
  for (std::size_t i = 0; i < cases.size(); ++i) {
    EXPECT_EQ(quoted(cases[i].text), "\"" + std::string(cases[i].quoted) + "\"") << "case " << i;
  }
}

TEST(Quoted, BackslashEscapes) {
  const QuotedCase cases[] = {
      {"", ""},
      {"plain text 1500.00", "plain text 1500.00"},
      {R"(C:\dir)", R"(C:\\dir)"},
      {R"(say "hi")", R"(say \"hi\")"},
      {"it's", "it's"},
      {"a\tb\rc\nd", R"(a\tb\rc\nd)"},
      {"a\0b"sv, R"(a\0b)"},
      {"\x01\x1b\x1f\x7f", R"(\u{1}\u{1b}\u{1f}\u{7f})"},
  };
  expect_quoted(cases);
}

TEST(Quoted, MarksAndNonPrintingCharacters) {
  const QuotedCase cases[] = {
      {"Сумма Ёё №5", "Сумма Ёё №5"},
      {"\u047f\u0482\u04c0\u04ff", "\u047f\u0482\u04c0\u04ff"},  // the fast path ends at U+047F
      {"1\u00a0500", R"(1\u{a0}500)"},      // no-break space
      {"\u0085", R"(\u{85})"},              // C1 control
      {"\u00ad", R"(\u{ad})"},              // soft hyphen, a format character
      {"е\u0301", R"(е\u{301})"},           // combining acute accent
      {"\u0483", R"(\u{483})"},             // combining Cyrillic titlo
      {"\u200b\u200d\ufeff", R"(\u{200b}\u{200d}\u{feff})"},
      {"\u2028\u2029\u3000", R"(\u{2028}\u{2029}\u{3000})"},
      {"\ue000\U0010fffd", R"(\u{e000}\u{10fffd})"},  // private use
      {"\u0378\uffff", R"(\u{378}\u{ffff})"},         // unassigned
      {"\U000e0100", R"(\u{e0100})"},                 // variation selector
      {"\U0001f600\u20bd\ufffd", "\U0001f600\u20bd\ufffd"},
  };
  expect_quoted(cases);
}

// Bytes that are not UTF-8 never pass through: each becomes U+FFFD, except encoded
// surrogates, which are escaped like the code points they stand for.
TEST(Quoted, InvalidUtf8NeverPassesThrough) {
  const QuotedCase cases[] = {
      {"\xed\xa0\x80", R"(\u{d800})"},
      {"a\xff" "b", "a\ufffd" "b"},
      {"\xd0", "\ufffd"},
      {"\xd0" "A", "\ufffd" "A"},
      {"\xc0\xaf", "\ufffd\ufffd"},
      {"\xe2\x82", "\ufffd\ufffd"},
      {"\xf4\x90\x80\x80", "\ufffd\ufffd\ufffd\ufffd"},
      {"\x80\"", "\ufffd\\\""},
  };
  expect_quoted(cases);
}

TEST(Quoted, AppendsAfterExistingText) {
  std::string out = "key=";
  append_quoted(out, "v\"1");
  EXPECT_EQ(out, R"(key="v\"1")");
}

}  // namespace
}  // namespace varnok
