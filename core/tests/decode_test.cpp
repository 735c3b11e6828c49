#include "parser/decode.hpp"

#include <gtest/gtest.h>

#include <string>
#include <variant>

#include "parser/codecs.hpp"

namespace varnok {
namespace {

using namespace std::string_literals;

enum class Outcome { Empty, NotStatement, Utf8, Cp1251 };

struct DecodeCase {
  const char* name;
  std::string input;
  Outcome outcome;
  std::string text;  // the decoded text for Utf8 / Cp1251
};

std::string utf16(std::u16string_view s, bool big_endian) {
  std::string out;
  for (char16_t u : s) {
    const char hi = static_cast<char>(u >> 8), lo = static_cast<char>(u & 0xFF);
    out += big_endian ? hi : lo;
    out += big_endian ? lo : hi;
  }
  return out;
}

std::string repeat(std::string_view s, std::size_t n) {
  std::string out;
  for (std::size_t i = 0; i < n; ++i) out += s;
  return out;
}

void expect_decoding(const DecodeCase& c) {
  SCOPED_TRACE(c.name);
  auto r = decode_input(c.input);
  switch (c.outcome) {
    case Outcome::Empty:
      ASSERT_FALSE(r);
      EXPECT_TRUE(std::holds_alternative<error::EmptyInput>(r.error()));
      break;
    case Outcome::NotStatement:
      ASSERT_FALSE(r);
      EXPECT_TRUE(std::holds_alternative<error::NotStatement>(r.error()));
      break;
    case Outcome::Utf8:
    case Outcome::Cp1251:
      ASSERT_TRUE(r) << message(r.error());
      EXPECT_EQ(r->encoding, c.outcome == Outcome::Utf8 ? Encoding::Utf8 : Encoding::Cp1251);
      EXPECT_EQ(r->text.text(), c.text);
      EXPECT_EQ(r->text.is_owned(), c.outcome == Outcome::Cp1251);
      break;
  }
}

TEST(Decode, Decisions) {
  const DecodeCase cases[] = {
      {"zero bytes", "", Outcome::Empty, ""},
      {"ASCII whitespace mix", " \t\r\n\f  \r\n\t", Outcome::Empty, ""},
      {"vertical tab is not empty", "\v\v", Outcome::Utf8, "\v\v"},
      {"NUL is not empty", "\0"s, Outcome::Utf8, "\0"s},
      {"whitespace then VT", "  \n\v", Outcome::Utf8, "  \n\v"},
      {"BOM alone", "\xEF\xBB\xBF", Outcome::Utf8, ""},
      {"BOM dropped", "\xEF\xBB\xBF" "abc", Outcome::Utf8, "abc"},
      {"only one BOM dropped", "\xEF\xBB\xBF\xEF\xBB\xBF" "a", Outcome::Utf8, "\xEF\xBB\xBF" "a"},
      {"BOM then whitespace", "\xEF\xBB\xBF \n", Outcome::Utf8, " \n"},
      {"ASCII", "1CClientBankExchange\n", Outcome::Utf8, "1CClientBankExchange\n"},
      {"UTF-8 Cyrillic", "Сумма=1", Outcome::Utf8, "Сумма=1"},
      {"cp1251 Cyrillic", "\xD1\xF3\xEC\xEC\xE0=1", Outcome::Cp1251, "Сумма=1"},
      {"BOM then cp1251", "\xEF\xBB\xBF" "ab\xFF", Outcome::Cp1251, "abя"},
      {"second BOM then invalid UTF-8", "\xEF\xBB\xBF\xEF\xBB\xBF" "a\xFF", Outcome::NotStatement, ""},
      {"0x98 alone is implausible", "\x98", Outcome::NotStatement, ""},
      {"0x98 decodes to U+0098", std::string(24, '\xC0') + "\x98", Outcome::Cp1251,
       repeat("А", 24) + "\xC2\x98"},
      {"UTF-16LE", "\xFF\xFE" + utf16(u"1C\nСумма", false), Outcome::Cp1251, "1C\nСумма"},
      {"UTF-16BE", "\xFE\xFF" + utf16(u"1C\nСумма", true), Outcome::Cp1251, "1C\nСумма"},
      {"UTF-16 surrogate pair", "\xFF\xFE" + utf16(u"a\U0001F600", false), Outcome::Cp1251, "a\U0001F600"},
      {"UTF-16 mark alone", "\xFF\xFE", Outcome::NotStatement, ""},
      {"UTF-16LE odd length", "\xFF\xFE" + utf16(u"1C", false) + "x", Outcome::NotStatement, ""},
      {"UTF-16BE odd length", "\xFE\xFF" + utf16(u"1C", true) + "x", Outcome::NotStatement, ""},
      {"UTF-16 lone lead at end", "\xFF\xFE" + utf16(u"ab\xD800", false), Outcome::NotStatement, ""},
      {"UTF-16 lead then non-trail", "\xFF\xFE" + utf16(u"a\xD800" "b", false), Outcome::NotStatement, ""},
      {"UTF-16 lone trail", "\xFE\xFF" + utf16(u"a\xDC00", true), Outcome::NotStatement, ""},
      {"UTF-16 lead lead trail", "\xFE\xFF" + utf16(u"\xD800\xD800\xDC00", true), Outcome::NotStatement, ""},
      {"one byte FF", "\xFF", Outcome::Cp1251, "я"},
  };
  for (const auto& c : cases) expect_decoding(c);
}

TEST(Decode, ValidUtf8IsBorrowed) {
  const std::string input = "\xEF\xBB\xBF" "1CClientBankExchange\nКлюч=Значение\n";
  auto r = decode_input(input);
  ASSERT_TRUE(r);
  EXPECT_FALSE(r->text.is_owned());
  EXPECT_EQ(r->text.text().data(), input.data() + 3);
  EXPECT_EQ(r->text.text().size(), input.size() - 3);
}

// Plausibility: 0xC0 (А) is plain, 0xAB («, U+00AB) is not, and a lone 0xC0 makes the
// bytes invalid as UTF-8, so every case goes through windows-1251.
std::string plain_and_not(std::size_t plain, std::size_t not_plain) {
  return std::string(plain, '\xC0') + std::string(not_plain, '\xAB');
}

TEST(Decode, PlausibilityThreshold) {
  struct Case {
    std::size_t plain, not_plain, tail_not_plain;
    bool passes;
  };
  const Case cases[] = {
      {96, 4, 0, true},       {95, 5, 0, false},       {24, 1, 0, true},
      {23, 2, 0, false},      {1, 0, 0, true},         {0, 1, 0, false},
      {19'661, 819, 0, true}, {19'660, 820, 0, false},
      {20'480, 0, 100'000, true},  // only the first 20,480 characters count
  };
  for (const auto& c : cases) {
    auto r = decode_input(plain_and_not(c.plain, c.not_plain) + std::string(c.tail_not_plain, '\xAB'));
    EXPECT_EQ(r.has_value(), c.passes) << c.plain << " plain, " << c.not_plain << " not";
  }
  // Plain characters after the window do not rescue a bad start.
  EXPECT_FALSE(decode_input(plain_and_not(19'000, 1'480) + std::string(100'000, '\xC0')));
  // The window counts characters, not bytes: 10,240 two-byte letters fill half of it.
  std::u16string half(10'240, u'Ж');
  half += std::u16string(10'240, u'\x00AB');
  EXPECT_FALSE(decode_input("\xFF\xFE" + utf16(half, false)));
}

TEST(Decode, PlainCharacterBoundaries) {
  const std::pair<char16_t, bool> cases[] = {
      {0x00, false}, {0x09, true},  {0x0B, false}, {0x0C, true},  {0x0D, true},   {0x0E, false},
      {0x20, true},  {0x21, true},  {0x7E, true},  {0x7F, false}, {0x85, false},  {0xA0, false},
      {0x3FF, false}, {0x400, true}, {0xFEFF, true},
  };
  for (const auto& [c, plain] : cases) {
    // A single character: 100 % or 0 %.
    EXPECT_EQ(decode_input("\xFE\xFF" + utf16(std::u16string(1, c), true)).has_value(), plain)
        << std::hex << int(c);
  }
}

TEST(Decode, Utf8Validation) {
  struct Case {
    const char* bytes;
    bool valid;
  };
  const Case cases[] = {
      {"\xC2\x80", true},          {"\xDF\xBF", true},          {"\xC0\xAF", false},
      {"\xC1\xBF", false},         {"\xE0\xA0\x80", true},      {"\xE0\x9F\xBF", false},
      {"\xED\x9F\xBF", true},      {"\xED\xA0\x80", false},     {"\xED\xBF\xBF", false},
      {"\xEE\x80\x80", true},      {"\xEF\xBF\xBF", true},      {"\xF0\x90\x80\x80", true},
      {"\xF0\x8F\xBF\xBF", false}, {"\xF4\x8F\xBF\xBF", true},  {"\xF4\x90\x80\x80", false},
      {"\xF5\x80\x80\x80", false}, {"\xFF", false},             {"\x80", false},
      {"\xBF", false},             {"\xC2", false},             {"\xE2\x82", false},
      {"\xF0\x9F\x98", false},     {"\xC2\x41", false},         {"\xE2\x41\x82", false},
      {"\xF0\x9F\x41\x80", false}, {"\xD0\xA1\xD1", false},
  };
  // Every case at every offset around the 8-byte fast path, followed by ASCII or not.
  for (const auto& c : cases) {
    for (std::size_t pad = 0; pad < 18; ++pad) {
      const std::string prefix(pad, 'a');
      EXPECT_EQ(detail::is_valid_utf8(prefix + c.bytes), c.valid) << pad << " " << c.bytes;
      if (c.valid) {
        EXPECT_TRUE(detail::is_valid_utf8(prefix + c.bytes + "bcdefghijk"));
      }
    }
  }
  EXPECT_TRUE(detail::is_valid_utf8(""));
  EXPECT_TRUE(detail::is_valid_utf8(std::string(1000, 'a') + "Ж" + std::string(1000, 'b')));
  EXPECT_FALSE(detail::is_valid_utf8(std::string(1000, 'a') + "\x80" + std::string(1000, 'b')));
}

TEST(Decode, Cp1251Mapping) {
  struct Case {
    std::string byte;
    std::string utf8;
  };
  const Case cases[] = {
      {"\x80", "Ђ"}, {"\x88", "€"}, {"\x98", "\xC2\x98"}, {"\xA0", "\xC2\xA0"}, {"\xA8", "Ё"},
      {"\xAB", "«"}, {"\xB9", "№"}, {"\xB8", "ё"},        {"\xC0", "А"},         {"\xDF", "Я"},
      {"\xE0", "а"}, {"\xFF", "я"}, {"\x7F", "\x7F"},     {"A", "A"},
  };
  for (const auto& c : cases) EXPECT_EQ(detail::decode_cp1251(c.byte), c.utf8) << int(c.byte[0] & 0xFF);

  // A long mixed text decodes as the concatenation of its bytes decoded one by one,
  // whatever the alignment of its ASCII runs.
  std::string input, expected;
  for (int i = 0; i < 3000; ++i) {
    const char b = static_cast<char>(i % 7 == 0 ? 0x80 + (i * 37) % 128 : 0x20 + (i * 11) % 95);
    input += b;
    expected += detail::decode_cp1251(std::string(1, b));
  }
  const std::string out = detail::decode_cp1251(input);
  EXPECT_EQ(out, expected);
  EXPECT_EQ(out.size(), expected.size());
}

}  // namespace
}  // namespace varnok
