#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "parser/values.hpp"

namespace varnok {
namespace {

using namespace std::string_view_literals;

struct QuotedCase {
  std::string_view text;
  std::string_view quoted;  // without the enclosing double quotes
};

class Quoted : public testing::TestWithParam<QuotedCase> {};

TEST_P(Quoted, EscapesWhatDoesNotPrint) {
  EXPECT_EQ(quoted(GetParam().text), "\"" + std::string(GetParam().quoted) + "\"");
}

INSTANTIATE_TEST_SUITE_P(Backslash, Quoted, testing::Values(
    QuotedCase{"", ""},
    QuotedCase{"plain text 1500.00", "plain text 1500.00"},
    QuotedCase{R"(C:\dir)", R"(C:\\dir)"},
    QuotedCase{R"(say "hi")", R"(say \"hi\")"},
    QuotedCase{"it's", "it's"},
    QuotedCase{"a\tb\rc\nd", R"(a\tb\rc\nd)"},
    QuotedCase{"a\0b"sv, R"(a\0b)"},
    QuotedCase{"\x01\x1b\x1f\x7f", R"(\u{1}\u{1b}\u{1f}\u{7f})"}));

INSTANTIATE_TEST_SUITE_P(Unicode, Quoted, testing::Values(
    QuotedCase{"Сумма Ёё №5", "Сумма Ёё №5"},
    QuotedCase{"\u047f\u0482\u04c0\u04ff", "\u047f\u0482\u04c0\u04ff"},  // past the fast path
    QuotedCase{"1\u00a0500", R"(1\u{a0}500)"},      // no-break space
    QuotedCase{"\u0085", R"(\u{85})"},              // C1 control
    QuotedCase{"\u00ad", R"(\u{ad})"},              // soft hyphen, a format character
    QuotedCase{"е\u0301", R"(е\u{301})"},           // combining acute accent
    QuotedCase{"\u0483", R"(\u{483})"},             // combining Cyrillic titlo
    QuotedCase{"\u200b\u200d\ufeff", R"(\u{200b}\u{200d}\u{feff})"},
    QuotedCase{"\u2028\u2029\u3000", R"(\u{2028}\u{2029}\u{3000})"},
    QuotedCase{"\ue000\U0010fffd", R"(\u{e000}\u{10fffd})"},  // private use
    QuotedCase{"\u0378\uffff", R"(\u{378}\u{ffff})"},         // unassigned
    QuotedCase{"\U000e0100", R"(\u{e0100})"},                 // variation selector
    QuotedCase{"\U0001f600\u20bd\ufffd", "\U0001f600\u20bd\ufffd"}));

// Bytes that are not UTF-8 never pass through: each becomes U+FFFD, except encoded
// surrogates, which are escaped like the code points they stand for.
INSTANTIATE_TEST_SUITE_P(InvalidUtf8, Quoted, testing::Values(
    QuotedCase{"\xed\xa0\x80", R"(\u{d800})"},
    QuotedCase{"a\xff" "b", "a\ufffd" "b"},
    QuotedCase{"\xd0", "\ufffd"},
    QuotedCase{"\xd0" "A", "\ufffd" "A"},
    QuotedCase{"\xc0\xaf", "\ufffd\ufffd"},
    QuotedCase{"\xe2\x82", "\ufffd\ufffd"},
    QuotedCase{"\xf4\x90\x80\x80", "\ufffd\ufffd\ufffd\ufffd"},
    QuotedCase{"\x80\"", "\ufffd\\\""}));

TEST(Quoted, AppendsAfterExistingText) {
  std::string out = "key=";
  append_quoted(out, "v\"1");
  EXPECT_EQ(out, R"(key="v\"1")");
}

}  // namespace
}  // namespace varnok
