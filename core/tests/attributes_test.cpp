// The attribute map: first position and last value for a repeated key, exact keys, clear, copies
// and equality.
#include <varnok/attributes.hpp>

#include <algorithm>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace varnok {
namespace {

std::vector<std::string> keys_of(const Attributes& a) {
  std::vector<std::string> out;
  for (const auto& e : a) out.emplace_back(e.key);
  return out;
}

std::string key(std::size_t i) { return "Ключ" + std::to_string(i); }

// Sizes on both sides of the switch from scanning to the hashed index.
class AttributesAtSize : public ::testing::TestWithParam<std::size_t> {};

TEST_P(AttributesAtSize, RepeatedKeyKeepsFirstPositionAndLastValue) {
  const std::size_t n = GetParam();
  Attributes a;
  for (std::size_t i = 0; i < n; ++i) a.set(key(i), "first");
  for (std::size_t i = n; i-- > 0;) a.set(key(i), "v" + std::to_string(i));

  ASSERT_EQ(a.size(), n);
  for (std::size_t i = 0; i < n; ++i) {
    EXPECT_EQ(a.entries()[i].key, key(i));
    ASSERT_NE(a.find(key(i)), nullptr) << i;
    EXPECT_EQ(*a.find(key(i)), "v" + std::to_string(i));
  }
  EXPECT_EQ(a.find(key(n)), nullptr);
  EXPECT_EQ(a.find("ключ0"), nullptr);
}

TEST_P(AttributesAtSize, ClearForgetsEveryKeyAndReuseWorks) {
  const std::size_t n = GetParam();
  Attributes a;
  // A big section first, then sections of every smaller size: stale index slots would
  // show up as false hits or lost keys.
  for (std::size_t i = 0; i < 3 * n + 20; ++i) a.set(key(i), "old");
  for (std::size_t round = 0; round < 3; ++round) {
    a.clear();
    EXPECT_TRUE(a.empty());
    for (std::size_t i = 0; i < 3 * n + 20; ++i) ASSERT_EQ(a.find(key(i)), nullptr) << i;
    for (std::size_t i = 0; i < n; ++i) a.set(key(1000 + i + round), "new");
    ASSERT_EQ(a.size(), n);
    for (std::size_t i = 0; i < n; ++i) {
      ASSERT_NE(a.find(key(1000 + i + round)), nullptr) << i;
      EXPECT_EQ(*a.find(key(1000 + i + round)), "new");
    }
    EXPECT_EQ(a.find(key(0)), nullptr);
  }
}

INSTANTIATE_TEST_SUITE_P(Attributes, AttributesAtSize, ::testing::Values(1, 2, 8, 9, 10, 17, 33, 1000));

// Keys that name document fields (found through the field table) among other keys (hashed
// once there are more than a few): whatever the mix, a map reused for sections of every
// size finds each key, keeps first positions and last values, and tells each entry's field.
TEST(Attributes, DocumentKeysAmongOtherKeys) {
  const auto mixed = [](std::size_t i) {
    return i % 3 == 2 ? key(i) : std::string(kDocumentFields[(i * 7) % kDocumentFieldCount].key);
  };
  Attributes a;
  for (const std::size_t size : {40u, 3u, 30u, 12u, 0u, 26u, 100u, 9u}) {
    a.clear();
    std::vector<std::string> expected_keys;
    for (std::size_t i = 0; i < size; ++i) {
      a.set(mixed(i), "first");
      if (std::ranges::find(expected_keys, mixed(i)) == expected_keys.end()) expected_keys.push_back(mixed(i));
    }
    for (std::size_t i = 0; i < size; ++i) a.set(mixed(i), "last" + mixed(i));
    ASSERT_EQ(keys_of(a), expected_keys) << size;
    for (std::size_t i = 0; i < a.size(); ++i) {
      const std::string k(a.entries()[i].key);
      ASSERT_NE(a.find(k), nullptr) << size << " " << k;
      EXPECT_EQ(*a.find(k), "last" + k);
      EXPECT_EQ(a.field_at(i), find_document_field(k)) << k;
    }
    EXPECT_EQ(a.find(key(1000)), nullptr);
    if (size < 3) {
      EXPECT_EQ(a.find(mixed(size)), nullptr);
    }
    const Attributes copy = a;
    EXPECT_EQ(copy, a);
    for (std::size_t i = 0; i < copy.size(); ++i) EXPECT_EQ(copy.field_at(i), a.field_at(i));
  }
  Attributes moved = std::move(a);
  EXPECT_EQ(a.find(std::string(kDocumentFields[0].key)), nullptr);  // NOLINT(bugprone-use-after-move)
  a.set(kDocumentFields[0].key, "x");
  EXPECT_EQ(a.size(), 1u);
  EXPECT_EQ(a.field_at(0), DocumentField::DocNumber);
  EXPECT_NE(moved.find(mixed(0)), nullptr);
}

TEST(Attributes, KeysAreExactBytes) {
  Attributes a;
  a.set("Номер", "1");
  a.set("номер", "2");
  a.set("Номер ", "3");
  a.set("", "4");
  EXPECT_THAT(keys_of(a), ::testing::ElementsAre("Номер", "номер", "Номер ", ""));
  ASSERT_NE(a.find(""), nullptr);
  EXPECT_EQ(*a.find(""), "4");
}

TEST(Attributes, ManyDistinctKeysAndOneKeyRepeated) {
  // Both must stay linear: a quadratic path would not finish in reasonable time.
  constexpr std::size_t kCount = 200'000;
  Attributes a;
  for (std::size_t i = 0; i < kCount; ++i) a.set(key(i), key(i));
  ASSERT_EQ(a.size(), kCount);
  for (std::size_t i = 0; i < kCount; i += 997) EXPECT_EQ(*a.find(key(i)), key(i));

  Attributes b;
  for (std::size_t i = 0; i < kCount; ++i) b.set("Сумма", key(i));
  ASSERT_EQ(b.size(), 1u);
  EXPECT_EQ(*b.find("Сумма"), key(kCount - 1));

  // A large section followed by very many small ones.
  for (std::size_t i = 0; i < kCount; ++i) {
    a.clear();
    a.set("Дата", "01.01.2024");
  }
  EXPECT_EQ(a.size(), 1u);
}

// One map reused for sections of sizes on both sides of the linear-scan limit: after each
// clear, the keys of earlier sections are gone, and lookups and replacements are right.
TEST(Attributes, ReuseAcrossSectionSizesForgetsEarlierKeys) {
  Attributes a;
  std::size_t first = 0;
  for (const std::size_t size : {3u, 40u, 9u, 0u, 100u, 8u, 12u, 1u, 33u}) {
    a.clear();
    for (std::size_t i = 0; i < size; ++i) a.set(key(first + i), "old");
    for (std::size_t i = 0; i < size; i += 2) a.set(key(first + i), key(i));
    ASSERT_EQ(a.size(), size);
    for (std::size_t i = 0; i < size; ++i) {
      ASSERT_NE(a.find(key(first + i)), nullptr) << size << " " << i;
      EXPECT_EQ(*a.find(key(first + i)), i % 2 == 0 ? key(i) : "old");
    }
    // The previous section's keys started 50 lower and are not found.
    if (first >= 50) {
      EXPECT_EQ(a.find(key(first - 50)), nullptr);
    }
    first += 50;
  }
}

TEST(Attributes, ClearKeepsTextStorage) {
  Attributes a;
  a.set("НазначениеПлатежа", std::string(100, 'x'));
  const char* storage = a.entries()[0].value.data();
  a.clear();
  a.set("Сумма", std::string(90, 'y'));
  EXPECT_EQ(a.entries()[0].value.data(), storage);
  // A document field's key is the field table's own text.
  EXPECT_EQ(a.entries()[0].key.data(), field_info(DocumentField::Amount).key.data());
}

// set() copies (the source may change or go), in blocks that stay put as the map grows or
// moves, including a text larger than a block; set_kept() holds the caller's text itself.
TEST(Attributes, TextsAreCopiedOrKept) {
  Attributes a;
  std::string source;
  for (std::size_t i = 0; i < 100; ++i) {
    source.assign(1000 + i, static_cast<char>('a' + i % 26));
    a.set(key(i), source);
  }
  source.assign(40'000, 'z');
  a.set("Длинный", source);
  source.assign(10, '-');
  const std::string kept = "kept value";
  a.set_kept("Свой", kept);
  const Attributes moved = std::move(a);
  for (std::size_t i = 0; i < 100; ++i) {
    ASSERT_EQ(*moved.find(key(i)), std::string(1000 + i, static_cast<char>('a' + i % 26))) << i;
  }
  EXPECT_EQ(*moved.find("Длинный"), std::string(40'000, 'z'));
  EXPECT_EQ(moved.find("Свой")->data(), kept.data());
  const Attributes copy = moved;  // a copy owns its texts
  EXPECT_EQ(copy, moved);
  EXPECT_NE(copy.find("Свой")->data(), kept.data());
}

// Setting one key over and over reuses the room of the value it replaces.
TEST(Attributes, RepeatedSetOfOneKeyReusesItsRoom) {
  Attributes a;
  a.set("Другой", std::string(30, 'x'));
  a.set("Сумма", "1.00");
  const char* room = a.find("Сумма")->data();
  for (int i = 0; i < 1000; ++i) a.set("Сумма", std::to_string(1000 + i) + ".00");
  EXPECT_EQ(a.find("Сумма")->data(), room);
  EXPECT_EQ(*a.find("Сумма"), "1999.00");
  EXPECT_EQ(*a.find("Другой"), std::string(30, 'x'));
  // A value set from itself, or from a part of itself, whose room is reused.
  a.set("Сумма", *a.find("Сумма"));
  a.set("Сумма", a.find("Сумма")->substr(2));
  EXPECT_EQ(*a.find("Сумма"), "99.00");
  a.set("Сумма", "");
  EXPECT_NE(a.find("Сумма")->data(), nullptr);
}

TEST(Attributes, CopyHoldsLiveEntriesAndMoveEmptiesTheSource) {
  Attributes a;
  for (std::size_t i = 0; i < 50; ++i) a.set(key(i), "v");
  a.clear();
  for (std::size_t i = 0; i < 12; ++i) a.set(key(i), "w");

  Attributes copy = a;
  EXPECT_EQ(copy, a);
  EXPECT_EQ(copy.size(), 12u);
  copy.set(key(40), "z");  // a key only the spare storage held
  EXPECT_EQ(copy.size(), 13u);
  EXPECT_EQ(a.find(key(40)), nullptr);

  Attributes moved = std::move(a);
  EXPECT_EQ(moved.size(), 12u);
  EXPECT_EQ(*moved.find(key(11)), "w");
  EXPECT_TRUE(a.empty());  // NOLINT(bugprone-use-after-move): a moved-from map is empty
  EXPECT_EQ(a.find(key(1)), nullptr);
  a.set("x", "y");
  EXPECT_EQ(keys_of(a), std::vector<std::string>{"x"});

  Attributes assigned;
  assigned.set("old", "1");
  assigned = moved;
  EXPECT_EQ(assigned, moved);
  EXPECT_EQ(assigned.find("old"), nullptr);
}

// A hook that drops keys builds a smaller map of views into its attributes (set_kept) and
// assigns it back: the texts it views are the target's own, and must survive either way.
TEST(Attributes, AssignedAMapOfViewsIntoItsOwnTexts) {
  for (const bool move : {false, true}) {
    Attributes a;
    a.set("first", "AAAAAAAA");
    a.set("second", "BBBBBBBB");
    a.set("third", std::string(300, 'C'));  // in a second block of the store
    Attributes known;
    known.set_kept("third", *a.find("third"));
    known.set_kept("first", *a.find("first"));
    if (move) {
      a = std::move(known);
      EXPECT_TRUE(known.empty());  // NOLINT(bugprone-use-after-move): a moved-from map is empty
    } else {
      a = known;
    }
    EXPECT_EQ(a, (Attributes{{"third", std::string(300, 'C')}, {"first", "AAAAAAAA"}})) << move;
  }
}

TEST(Attributes, EqualityIsOrderSensitive) {
  const Attributes ab{{"a", "1"}, {"b", "2"}};
  const Attributes ba{{"b", "2"}, {"a", "1"}};
  EXPECT_EQ(ab, (Attributes{{"a", "1"}, {"b", "2"}}));
  EXPECT_NE(ab, ba);
  EXPECT_NE(ab, (Attributes{{"a", "1"}, {"b", "3"}}));
  EXPECT_EQ((Attributes{{"a", "1"}, {"a", "2"}}), (Attributes{{"a", "2"}}));
}

}  // namespace
}  // namespace varnok
