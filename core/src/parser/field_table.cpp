// The lookup of a document key in the field table: a perfect hash found at compile time.
#include <varnok/fields.hpp>

#include <cstdint>
#include <cstring>

namespace varnok {

namespace {

// The shortest key is "Код" (6 bytes); the probe below reads byte 3 and the last three.
constexpr std::size_t kMinKeyBytes = [] {
  std::size_t n = SIZE_MAX;
  for (const auto& f : kDocumentFields) n = f.key.size() < n ? f.key.size() : n;
  return n;
}();
constexpr std::size_t kMaxKeyBytes = [] {
  std::size_t n = 0;
  for (const auto& f : kDocumentFields) n = f.key.size() > n ? f.key.size() : n;
  return n;
}();
static_assert(kMinKeyBytes >= 4);

// Length, byte 3 and the last and third-to-last bytes tell all 53 keys apart (the keys
// share long prefixes such as Плательщик/Получатель and end in digits 1 … 6). A candidate
// found through them is then compared in full, so any other text misses.
constexpr std::uint64_t probe(std::string_view key) noexcept {
  const auto byte = [key](std::size_t i) { return std::uint64_t{static_cast<unsigned char>(key[i])}; };
  const std::size_t n = key.size();
  return n | byte(3) << 8 | byte(n - 1) << 16 | byte(n - 3) << 24;
}

constexpr unsigned kSlotBits = 8;
constexpr std::size_t kSlotCount = std::size_t{1} << kSlotBits;

constexpr std::size_t slot_of(std::string_view key, std::uint64_t seed) noexcept {
  return static_cast<std::size_t>((probe(key) * seed) >> (64 - kSlotBits));
}

struct KeyIndex {
  std::uint64_t seed = 0;                     // 0: no collision-free seed was found
  std::array<std::uint8_t, kSlotCount> slot{}; // 0 empty, else field index + 1
};

// Tries odd multipliers until every key lands in its own slot.
constexpr KeyIndex make_key_index() {
  std::uint64_t seed = 0x9E3779B97F4A7C15u;
  for (int attempt = 0; attempt < 10000; ++attempt, seed += 0x3C6EF372FE94F82Au) {
    KeyIndex index{seed, {}};
    bool collision = false;
    for (std::size_t f = 0; f < kDocumentFieldCount && !collision; ++f) {
      auto& s = index.slot[slot_of(kDocumentFields[f].key, seed)];
      collision = s != 0;
      s = static_cast<std::uint8_t>(f + 1);
    }
    if (!collision) return index;
  }
  return {};
}

constexpr KeyIndex kKeyIndex = make_key_index();

template <class Word>
Word load(const char* p) noexcept {
  Word w;
  std::memcpy(&w, p, sizeof w);
  return w;
}

// Equality of two texts of the same length n >= 4, a word at a time: keys are 6 to 38
// bytes, and a library compare of so few bytes costs more in its call and its branches
// on the length. The last word overlaps the previous one instead of a byte loop.
bool same_bytes(const char* a, const char* b, std::size_t n) noexcept {
  if (n < 8) return load<std::uint32_t>(a) == load<std::uint32_t>(b) &&
                    load<std::uint32_t>(a + n - 4) == load<std::uint32_t>(b + n - 4);
  std::uint64_t diff = 0;
  for (std::size_t i = 0; i + 8 < n; i += 8) diff |= load<std::uint64_t>(a + i) ^ load<std::uint64_t>(b + i);
  return (diff | (load<std::uint64_t>(a + n - 8) ^ load<std::uint64_t>(b + n - 8))) == 0;
}
static_assert(kKeyIndex.seed != 0, "no perfect hash seed for the document keys");

}  // namespace

std::optional<DocumentField> find_document_field(std::string_view key) noexcept {
  if (key.size() < kMinKeyBytes || key.size() > kMaxKeyBytes) return std::nullopt;
  const std::uint8_t entry = kKeyIndex.slot[slot_of(key, kKeyIndex.seed)];
  if (entry == 0) return std::nullopt;
  const std::string_view known = kDocumentFields[entry - 1].key;
  if (known.size() != key.size() || !same_bytes(known.data(), key.data(), key.size())) return std::nullopt;
  return static_cast<DocumentField>(entry - 1);
}

}  // namespace varnok
