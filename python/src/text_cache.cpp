// TextCache: per field, a two-way set-associative table of (text, str) pairs.
#include "text_cache.hpp"

#include <algorithm>
#include <bit>
#include <cstring>
#include <new>

#include "utf8_str.hpp"

namespace varnok::py {

namespace {

// Only picks a slot, whose text is then compared: the first, middle and last eight bytes
// (all of a text up to 24 bytes) and the length, mixed once. Texts that differ elsewhere
// share a slot and only miss; so does an input crafted to collide, at an uncached cost.
std::uint32_t hash_of(std::string_view text) noexcept {
  const char* p = text.data();
  const std::size_t n = text.size();
  std::uint64_t a = 0;
  std::uint64_t b = 0;
  std::uint64_t c = 0;
  if (n >= 8) {
    std::memcpy(&a, p, 8);
    std::memcpy(&b, p + (n - 8) / 2, 8);
    std::memcpy(&c, p + n - 8, 8);
  } else {
    std::memcpy(&a, p, n);
  }
  std::uint64_t h = (a * 0x9E3779B97F4A7C15ULL) ^ std::rotl(b * 0xFF51AFD7ED558CCDULL, 21) ^
                    std::rotl(c * 0xC4CEB9FE1A85EC53ULL, 42) ^ n;
  h ^= h >> 29;
  return static_cast<std::uint32_t>((h * 0x94D049BB133111EBULL) >> 32);
}

}  // namespace

std::shared_ptr<TextCache> TextCache::for_documents(std::size_t documents) noexcept {
  // A set (two slots) per field for every 64 documents, at most 8, so that the table
  // stays a small share of what the documents hold: at most 108 KB, from 512 documents.
  if (documents < 4) return nullptr;
  const std::size_t sets = std::bit_ceil(std::clamp(documents / 64, std::size_t{1}, std::size_t{8}));
  try {
    return std::make_shared<TextCache>(sets, documents);
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

TextCache::TextCache(std::size_t sets_per_field, std::size_t documents) noexcept
    : sets_(sets_per_field), documents_(documents) {}

TextCache::~TextCache() { release_table(); }

void TextCache::release_table() noexcept {
  if (table_ == nullptr) return;
  for (std::size_t i = 0; i < sets_ * kDocumentFieldCount; ++i) {
    for (Slot& slot : table_[i].ways) Py_XDECREF(slot.str);
  }
  table_.reset();
}

void TextCache::document_gone(long documents_left) noexcept {
#ifdef Py_GIL_DISABLED
  if (current_thread() != owner_) return;  // (the table is the owner's alone)
#endif
  // A sixteenth: a statement's own list of documents, kept whole, never gets there.
  if (table_ == nullptr || documents_left < 0 || static_cast<std::size_t>(documents_left) > documents_ / 16) return;
  release_table();
  retired_ = true;
}

PyObject* TextCache::find_or_make(Set& set, std::uint32_t hash, std::string_view utf8) noexcept {
  std::uint8_t& recent = set.ways[0].recent;
  for (std::uint8_t way = 0; way < 2; ++way) {
    const Slot& slot = set.ways[way];
    if (slot.str != nullptr && slot.hash == hash && slot.size == utf8.size() &&
        std::memcmp(slot.text, utf8.data(), utf8.size()) == 0) {
      recent = way;
      return Py_NewRef(slot.str);
    }
  }
  PyObject* made = new_str_from_utf8(utf8);
  if (made == nullptr) return nullptr;
  recent ^= 1;  // the way used less lately takes the new value
  Slot& slot = set.ways[recent];
  PyObject* old = slot.str;
  slot.str = Py_NewRef(made);
  slot.hash = hash;
  slot.size = static_cast<std::uint8_t>(utf8.size());
  std::memcpy(slot.text, utf8.data(), utf8.size());
  Py_XDECREF(old);  // a str: its release runs no Python code
  return made;
}

PyObject* TextCache::str(DocumentField field, std::string_view utf8) noexcept {
  if (utf8.size() > kMaxBytes) return new_str_from_utf8(utf8);
#ifdef Py_GIL_DISABLED
  if (current_thread() != owner_) return new_str_from_utf8(utf8);
#endif
  if (table_ == nullptr) {
    if (retired_) return new_str_from_utf8(utf8);
    // Made at the first value read, not with the documents: a read whose values are never
    // asked for keeps no table.
    table_.reset(new (std::nothrow) Set[sets_ * kDocumentFieldCount]);
    if (table_ == nullptr) return new_str_from_utf8(utf8);  // only a cache
  }
  const std::uint32_t hash = hash_of(utf8);
  const std::size_t index = static_cast<std::size_t>(field) * sets_ + (hash & (sets_ - 1));
  return find_or_make(table_[index], hash, utf8);
}

PyObject* cached_str(TextCache* cache, DocumentField field, std::string_view utf8) noexcept {
  return cache != nullptr ? cache->str(field, utf8) : new_str_from_utf8(utf8);
}

}  // namespace varnok::py
