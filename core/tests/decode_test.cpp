// Input decoding: the encoding decisions, plausibility, windows-1251 against a reference, UTF-8
// validation.
#include "parser/decode.hpp"

#include <array>
#include <cstdint>
#include <random>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include <gtest/gtest.h>

#include "parser/codecs.hpp"
#include "testing.hpp"

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

// The characters of the bytes 0x80–0xFF, in byte order (the WHATWG windows-1251 index,
// written out independently of the decoder's table).
constexpr std::string_view kHighHalfText =
    "ЂЃ‚ѓ„…†‡€‰Љ‹ЊЌЋЏ"
    "ђ‘’“”•–—" "\xC2\x98" "™љ›њќћџ"
    "\xC2\xA0" "ЎўЈ¤Ґ¦§Ё©Є«¬" "\xC2\xAD" "®Ї"
    "°±Ііґµ¶·ё№є»јЅѕї"
    "АБВГДЕЖЗИЙКЛМНОП"
    "РСТУФХЦЧШЩЪЫЬЭЮЯ"
    "абвгдежзийклмноп"
    "рстуфхцчшщъыьэюя";

// The UTF-8 form of every byte, taken from kHighHalfText above 0x7F.
std::array<std::string, 256> cp1251_characters() {
  std::array<std::string, 256> out;
  for (int b = 0; b < 0x80; ++b) out[b] = std::string(1, static_cast<char>(b));
  std::size_t i = 0;
  for (int b = 0x80; b < 0x100; ++b) {
    const auto lead = static_cast<unsigned char>(kHighHalfText[i]);
    const std::size_t n = lead < 0xE0 ? 2 : 3;
    out[b] = std::string(kHighHalfText.substr(i, n));
    i += n;
  }
  EXPECT_EQ(i, kHighHalfText.size());
  return out;
}

std::string reference_cp1251(std::string_view bytes) {
  static const std::array<std::string, 256> characters = cp1251_characters();
  std::string out;
  for (char c : bytes) out += characters[static_cast<unsigned char>(c)];
  return out;
}

// windows-1251 input is judged on its bytes, without decoding them: for every byte, the
// verdict must be the one its character gets in UTF-16 input, which is judged decoded.
// 23 plain characters and two of the byte's: 100 % or 92 %.
TEST(Decode, Cp1251PlausibilityOfEveryByte) {
  const auto characters = cp1251_characters();
  for (int b = 0; b < 0x100; ++b) {
    const auto* u = reinterpret_cast<const unsigned char*>(characters[b].data());
    const char16_t c = characters[b].size() == 1   ? u[0]
                       : characters[b].size() == 2 ? char16_t((u[0] & 0x1F) << 6 | (u[1] & 0x3F))
                                                   : char16_t((u[0] & 0x0F) << 12 | (u[1] & 0x3F) << 6 | (u[2] & 0x3F));
    const std::string cp1251 = std::string(23, '\xC0') + std::string(2, static_cast<char>(b));
    const std::u16string text = std::u16string(23, u'А') + std::u16string(2, c);
    EXPECT_EQ(decode_input(cp1251).has_value(), decode_input("\xFE\xFF" + utf16(text, true)).has_value())
        << std::hex << b;
  }
}

TEST(Decode, Cp1251EveryByte) {
  const auto characters = cp1251_characters();
  std::string all;
  for (int b = 0; b < 0x100; ++b) {
    const std::string byte(1, static_cast<char>(b));
    EXPECT_EQ(detail::decode_cp1251(byte), characters[b]) << std::hex << b;
    all += byte;
  }
  EXPECT_EQ(detail::decode_cp1251(all), reference_cp1251(all));
  EXPECT_EQ(characters[0x98], "\xC2\x98");
  EXPECT_EQ(characters[0xB9], "№");
  EXPECT_EQ(detail::decode_cp1251(""), "");
}

// Random bytes drawn from a few alphabets, at every length around the word and block
// sizes and at some lengths well beyond, decode like the one-byte-at-a-time reference.
TEST(Decode, Cp1251MatchesReference) {
  struct Alphabet {
    const char* name;
    std::uint8_t lo, hi;  // bytes uniform in [lo, hi], or ...
    bool text;            // ... a statement-like mix of letters, ASCII and rare 0x80–0xBF
  };
  const Alphabet alphabets[] = {
      {"any byte", 0x00, 0xFF, false}, {"high bytes", 0x80, 0xFF, false},
      {"0x80-0xBF", 0x80, 0xBF, false}, {"letters", 0xC0, 0xFF, false}, {"text", 0, 0, true},
  };
  std::mt19937 rng(1251);
  auto draw = [&](const Alphabet& a) {
    if (!a.text) return static_cast<char>(std::uniform_int_distribution<int>(a.lo, a.hi)(rng));
    const int r = std::uniform_int_distribution<int>(0, 99)(rng);
    if (r < 55) return static_cast<char>(0xC0 + r % 64);
    if (r < 97) return " 0123456789=.\r\n"[r % 15];
    return static_cast<char>(r == 97 ? 0xB9 : r == 98 ? 0xAB : 0x98);
  };
  std::vector<std::size_t> lengths;
  for (std::size_t n = 0; n <= 40; ++n) lengths.push_back(n);
  for (std::size_t n : {63, 64, 65, 2015, 2016, 2017, 2049, 20'000}) lengths.push_back(n);
  std::string reused;  // decoded into again and again, as the reader's pieces are
  for (const auto& a : alphabets) {
    for (std::size_t n : lengths) {
      for (int round = 0; round < (n <= 40 ? 20 : 2); ++round) {
        std::string input;
        for (std::size_t i = 0; i < n; ++i) input += draw(a);
        const std::string out = detail::decode_cp1251(input);
        ASSERT_EQ(out, reference_cp1251(input)) << a.name << ", " << n << " bytes";
        ASSERT_EQ(detail::decode_cp1251_portable(input), out) << a.name << ", " << n << " bytes";
        detail::decode_cp1251_into(input, reused);
        ASSERT_EQ(reused, out) << a.name << ", " << n << " bytes";
      }
    }
  }
}

TEST(Decode, Cp1251BufferIsExact) {
  // Mostly three-byte characters, then mostly ASCII: the buffer fits either text.
  for (const std::string& input : {std::string(100'000, '\x85'), std::string(100'000, 'a') + "\xFF"}) {
    const std::string out = detail::decode_cp1251(input);
    EXPECT_EQ(out.size(), reference_cp1251(input).size());
    EXPECT_LE(out.capacity(), out.size() + 8);
  }
}

bool reference_valid_utf8(std::string_view s) { return reference_utf8_code_points(s).has_value(); }

// Contexts that put a sequence at every offset of the 16-byte blocks, after ASCII or
// after a two-byte letter (which may straddle the block edge before it).
// The verdict on s, once both validators (the vector path, where the machine has it, and
// the portable one) have agreed on it.
bool validated(std::string_view s) {
  const bool verdict = detail::is_valid_utf8(s);
  EXPECT_EQ(verdict, detail::is_valid_utf8_portable(s)) << testing::PrintToString(std::string(s));
  return verdict;
}

std::vector<std::string> utf8_prefixes() {
  std::vector<std::string> out;
  // Around the edges of the 16-byte blocks, and of the vector path's 64-byte ones.
  for (std::size_t pad = 0; pad < 66; pad += pad == 17 ? 30 : 1) {
    out.push_back(std::string(pad, 'a'));
    out.push_back(std::string(pad, 'a') + "Ж");
  }
  return out;
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
  // Every case at every offset of the 16-byte blocks, followed by ASCII or not.
  for (const auto& c : cases) {
    for (const std::string& prefix : utf8_prefixes()) {
      const auto pad = prefix.size();
      EXPECT_EQ(validated(prefix + c.bytes), c.valid) << pad << " " << c.bytes;
      if (c.valid) {
        EXPECT_TRUE(validated(prefix + c.bytes + "bcdefghijk"));
      }
    }
  }
  EXPECT_TRUE(validated(""));
  EXPECT_TRUE(validated(std::string(1000, 'a') + "Ж" + std::string(1000, 'b')));
  EXPECT_FALSE(validated(std::string(1000, 'a') + "\x80" + std::string(1000, 'b')));
}

TEST(Decode, Utf8EverySequenceStart) {
  // Every lead byte with second bytes around each range edge, and a third and fourth
  // byte that are continuations or not; each case alone, in letters and at block edges.
  const unsigned char seconds[] = {0x00, 0x41, 0x7F, 0x80, 0x8F, 0x90, 0x9F, 0xA0, 0xBF, 0xC0, 0xD0, 0xFF};
  const unsigned char rests[] = {0x80, 0xBF, 0x41};
  const auto prefixes = utf8_prefixes();
  for (int lead = 0x80; lead < 0x100; ++lead) {
    for (unsigned char second : seconds) {
      for (unsigned char rest : rests) {
        const std::string seq{static_cast<char>(lead), static_cast<char>(second), static_cast<char>(rest),
                              static_cast<char>(rest)};
        for (std::size_t len = 1; len <= seq.size(); ++len) {
          for (const std::string& prefix : prefixes) {
            for (std::string_view suffix : {"", "bcdefghijklmnopqrstu"}) {
              const std::string s = prefix + seq.substr(0, len) + std::string(suffix);
              ASSERT_EQ(validated(s), reference_valid_utf8(s))
                  << std::hex << lead << " " << int(second) << " " << int(rest) << " " << len;
            }
          }
        }
      }
    }
  }
}

TEST(Decode, Utf8EveryPairAndPrefix) {
  // All two-byte strings, on each side of a block edge.
  for (int pair = 0; pair < 0x10000; ++pair) {
    const std::string two{static_cast<char>(pair >> 8), static_cast<char>(pair & 0xFF)};
    for (std::size_t pad : {0, 7, 15, 62, 63}) {
      const std::string s = std::string(pad, 'a') + two + std::string(20, 'b');
      ASSERT_EQ(validated(s), reference_valid_utf8(s)) << std::hex << pair << " " << pad;
    }
  }
  // Every prefix of a text mixing one- to four-byte characters: cut sequences are invalid.
  const std::string text = repeat("Сумма=1 000.00 № 5 «ООО» € \U0001F600 " "\xED\x9F\xBF" "\xF4\x8F\xBF\xBF" "\n", 4);
  ASSERT_TRUE(validated(text));
  for (std::size_t n = 0; n <= text.size(); ++n) {
    EXPECT_EQ(validated(text.substr(0, n)), reference_valid_utf8(text.substr(0, n))) << n;
  }
}

TEST(Decode, Utf8MutatedTextMatchesReference) {
  // Valid texts of random characters, then one byte replaced, dropped or inserted.
  const char32_t edges[] = {0x7F, 0x80, 0x7FF, 0x800, 0xD7FF, 0xE000, 0xFFFD, 0xFFFF, 0x10000, 0x10FFFF};
  std::mt19937 rng(8);
  auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
  auto encode = [](char32_t c, std::string& out) {
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else if (c < 0x800) {
      out += static_cast<char>(0xC0 | c >> 6);
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      out += static_cast<char>(0xE0 | c >> 12);
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | c >> 18);
      out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    }
  };
  int invalid = 0;
  for (int round = 0; round < 20'000; ++round) {
    std::string s;
    const int chars = pick(0, 120);
    for (int i = 0; i < chars; ++i) {
      const int r = pick(0, 99);
      encode(r < 40 ? static_cast<char32_t>(pick(0x20, 0x7E))
             : r < 90 ? static_cast<char32_t>(pick(0x410, 0x44F))
             : r < 95 ? edges[pick(0, 9)]
                      : static_cast<char32_t>(pick(0x80, 0x10FFFF) & ~0x800),  // no surrogates
             s);
    }
    ASSERT_TRUE(validated(s));
    if (!s.empty()) {
      const auto at = static_cast<std::size_t>(pick(0, static_cast<int>(s.size()) - 1));
      switch (pick(0, 2)) {
        case 0: s[at] = static_cast<char>(pick(0, 255)); break;
        case 1: s.erase(at, 1); break;
        default: s.insert(at, 1, static_cast<char>(pick(0x80, 0xFF))); break;
      }
    }
    const bool expected = reference_valid_utf8(s);
    invalid += !expected;
    ASSERT_EQ(validated(s), expected) << testing::PrintToString(s);
  }
  EXPECT_GT(invalid, 5'000);  // the mutations do reach invalid forms
}

}  // namespace
}  // namespace varnok
