// Raw lines, White_Space trimming and the classification of a line.
#include "parser/lines.hpp"

#include <random>
#include <string>
#include <utility>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "testing.hpp"

namespace varnok {
namespace {

using ::testing::ElementsAre;
using Numbered = std::pair<std::uint64_t, std::string>;

std::vector<Numbered> cut(std::string_view text) {
  std::vector<Numbered> out;
  LineCursor cursor(text);
  std::string_view line;
  while (cursor.next(line)) out.emplace_back(cursor.lineno(), std::string(line));
  // Exhausted stays exhausted.
  EXPECT_FALSE(cursor.next(line));
  return out;
}

std::string utf8(char32_t c) {
  std::string out;
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
  return out;
}

TEST(Lines, CutsAndNumbersRawLines) {
  struct Case {
    std::string text;
    std::vector<std::string> lines;
  };
  const Case cases[] = {
      {"", {}},
      {"A", {"A"}},
      {"A\n", {"A"}},
      {"A\nB", {"A", "B"}},
      {"A\nB\n", {"A", "B"}},
      {"A\n\nB", {"A", "", "B"}},
      {"\n", {""}},
      {"\n\n", {"", ""}},
      {"A\r\nB\r\n", {"A", "B"}},
      {"A\r\n\r\nB", {"A", "", "B"}},
      {"\r\n", {""}},
      {"A\r", {"A\r"}},         // no LF after it: the CR stays
      {"A\rB\n", {"A\rB"}},     // a lone CR is no line end
      {"A\r\r\n", {"A\r"}},     // only the CR directly before LF goes
      {"  \n\t\n", {"  ", "\t"}},
  };
  for (const auto& c : cases) {
    std::vector<Numbered> expected;
    for (std::size_t i = 0; i < c.lines.size(); ++i) expected.emplace_back(i + 1, c.lines[i]);
    EXPECT_EQ(cut(c.text), expected) << c.text;
  }
}

// The searches for LF and "=" work on blocks of bytes: put the byte at every position of
// texts around the block sizes, with and without a second one later.
TEST(Lines, FindsTheFirstSeparatorAtEveryPosition) {
  for (std::size_t n = 1; n <= 70; ++n) {
    for (std::size_t at = 0; at < n; ++at) {
      for (const bool second : {false, true}) {
        std::string text(n, 'x');
        text[at] = '\n';
        if (second && at + 1 < n) text[n - 1] = '\n';
        const std::vector<Numbered> lines = cut(text);
        ASSERT_FALSE(lines.empty());
        EXPECT_EQ(lines[0].second, text.substr(0, at)) << n << " " << at;

        std::string attribute(n, 'k');
        attribute[at] = '=';
        if (second) attribute[n - 1] = '=';
        if (at == 0) continue;  // a line starting with "=" has an empty key, tested elsewhere
        const auto classified = classify(attribute);
        ASSERT_TRUE(classified) << n << " " << at;
        EXPECT_EQ(classified->key, attribute.substr(0, at)) << n << " " << at;
        EXPECT_EQ(classified->value, attribute.substr(at + 1)) << n << " " << at;
      }
    }
  }
}

// The White_Space characters, written out from the property list.
const std::vector<char32_t> kWhiteSpace = {0x09,   0x0A,   0x0B,   0x0C,   0x0D,   0x20,   0x85,
                                           0xA0,   0x1680, 0x2000, 0x2001, 0x2002, 0x2003, 0x2004,
                                           0x2005, 0x2006, 0x2007, 0x2008, 0x2009, 0x200A, 0x2028,
                                           0x2029, 0x202F, 0x205F, 0x3000};

// The LF search works on 16-byte blocks: texts of many lines of every length, so that line
// ends fall everywhere in and across blocks, and a text's end anywhere in its last block.
TEST(Lines, CutsManyLinesAcrossBlocks) {
  std::mt19937 rng(64);
  for (int round = 0; round < 200; ++round) {
    std::string text;
    std::vector<Numbered> expected;
    const int lines = std::uniform_int_distribution<int>(0, 60)(rng);
    for (int i = 0; i < lines; ++i) {
      std::string line(std::uniform_int_distribution<std::size_t>(0, 150)(rng), 'x');
      for (char& c : line) c = "ab =\r\t"[std::uniform_int_distribution<int>(0, 5)(rng)];
      const bool last = i + 1 == lines, no_lf = last && round % 3 == 0;
      text += line;
      if (!no_lf) text += round % 2 ? "\r\n" : "\n";
      if (no_lf && line.empty()) break;  // nothing after the last LF is no line
      // A CR just before an LF goes with it.
      if (!no_lf && round % 2 == 0 && line.ends_with('\r')) line.pop_back();
      expected.emplace_back(i + 1, line);
    }
    ASSERT_EQ(cut(text), expected) << round;
  }
}

TEST(Lines, TrimsWhiteSpaceAndNothingElse) {
  for (char32_t c : kWhiteSpace) {
    const std::string w = utf8(c);
    EXPECT_EQ(trim(w + w + "x y" + w), "x y") << std::hex << unsigned(c);
    EXPECT_EQ(trim_left(w + "x" + w), "x" + w) << std::hex << unsigned(c);
    EXPECT_EQ(trim_right(w + "x" + w), w + "x") << std::hex << unsigned(c);
  }
  // Zero-width space and the byte-order mark look blank but are not White_Space.
  EXPECT_EQ(trim(" \u200Bx\uFEFF "), "\u200Bx\uFEFF");
  // Every other code point stays, and is_white_space agrees with trimming.
  std::size_t count = 0;
  for (char32_t c = 0; c <= 0x10FFFF; ++c) {
    if (c >= 0xD800 && c <= 0xDFFF) continue;
    const bool trimmed = trim("a" + utf8(c)) == "a";
    ASSERT_EQ(trimmed, is_white_space(c)) << std::hex << unsigned(c);
    ASSERT_EQ(trim(utf8(c) + "a") == "a", trimmed) << std::hex << unsigned(c);
    count += trimmed;
  }
  EXPECT_EQ(count, kWhiteSpace.size());
}

TEST(Lines, TrimToleratesBrokenBytes) {
  const std::string cases[] = {"\xC2", "\xE2\x80", "\xA0", "\x85", "\x80\x80", "\xE3\x80"};
  for (const auto& s : cases) {
    EXPECT_EQ(trim(s), s);
    EXPECT_EQ(trim(" " + s + " "), s);
  }
  EXPECT_EQ(trim(""), "");
}

struct ClassifyCase {
  std::string line;
  std::optional<LineKind> kind;  // nullopt: unrecognised
  std::string key;
  std::string value;
};

TEST(Lines, Classify) {
  const ClassifyCase cases[] = {
      {"1CClientBankExchange", LineKind::Exchange, "", ""},
      {"СекцияРасчСчет", LineKind::AccountStart, "", ""},
      {"КонецРасчСчет", LineKind::AccountEnd, "", ""},
      {"КонецДокумента", LineKind::DocumentEnd, "", ""},
      {"КонецФайла", LineKind::FileEnd, "", ""},
      {"конецфайла", std::nullopt, "", ""},
      {"СекцияДокумент", std::nullopt, "", ""},
      {"1CClientBankExchange2", std::nullopt, "", ""},
      {"garbage", std::nullopt, "", ""},
      {"СекцияДокумент=Платежное поручение", LineKind::DocumentStart, "", "Платежное поручение"},
      {"СекцияДокумент = Платежное поручение", LineKind::DocumentStart, "", "Платежное поручение"},
      {"СекцияДокумент\xC2\xA0\t=\xE3\x80\x80X", LineKind::DocumentStart, "", "X"},
      {"СекцияДокумент=", LineKind::DocumentStart, "", ""},
      {"СекцияДокумент=a = b", LineKind::DocumentStart, "", "a = b"},
      {"Секциядокумент=x", LineKind::Attribute, "Секциядокумент", "x"},
      {"XСекцияДокумент=x", LineKind::Attribute, "XСекцияДокумент", "x"},
      {"Ключ = a = b", LineKind::Attribute, "Ключ", "a = b"},
      {"Ключ=\xC2\xA0v\xC2\xA0", LineKind::Attribute, "Ключ", "v"},
      {"Ключ\u2003=v", LineKind::Attribute, "Ключ", "v"},
      {"=x", LineKind::Attribute, "", "x"},
      {"=", LineKind::Attribute, "", ""},
      {"= СекцияДокумент", LineKind::Attribute, "", "СекцияДокумент"},
      {"Ключ=", LineKind::Attribute, "Ключ", ""},
      {"КонецФайла=1", LineKind::Attribute, "КонецФайла", "1"},
      {"СекцияРасчСчет=1", LineKind::Attribute, "СекцияРасчСчет", "1"},
      {"1CClientBankExchange=", LineKind::Attribute, "1CClientBankExchange", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.line);
    const auto got = classify(c.line);
    ASSERT_EQ(got.has_value(), c.kind.has_value());
    if (!got) continue;
    EXPECT_EQ(got->kind, *c.kind);
    EXPECT_EQ(got->key, c.key);
    EXPECT_EQ(got->value, c.value);
  }
}

TEST(Lines, DisplaysSectionLines) {
  const std::string markers[] = {"1CClientBankExchange", "СекцияРасчСчет", "КонецРасчСчет", "КонецДокумента",
                                 "КонецФайла"};
  for (const auto& m : markers) EXPECT_EQ(display(*classify(m)), m);
  EXPECT_EQ(display(*classify("СекцияДокумент = Платежное поручение")), "СекцияДокумент=Платежное поручение");
  EXPECT_EQ(display(*classify("СекцияДокумент=")), "СекцияДокумент=");
}

}  // namespace
}  // namespace varnok
