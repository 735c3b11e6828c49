// The insertion-ordered attribute map: entries in a vector; document keys looked up through
// the field table, other keys by a linear scan while few and through an open-addressing
// index of entry numbers beyond that.
#include <varnok/attributes.hpp>

#include <algorithm>
#include <bit>
#include <cstring>

#include "parser/model/hash.hpp"

namespace varnok {

namespace {

// Up to this many entries whose key names no document field a scan beats hashing, and
// the index is left untouched.
constexpr std::size_t kLinearLimit = 8;

// Blocks of copied texts: the first small, then doubling up to a few sections' worth.
constexpr std::size_t kFirstBlockBytes = 256;
constexpr std::size_t kBlockBytes = 16 * 1024;

}  // namespace

Attributes::Attributes(std::initializer_list<std::pair<std::string_view, std::string_view>> items) {
  for (const auto& [key, value] : items) set(key, value);
}

// Copies only the live entries, with their texts: a reused section map may carry much
// spare storage, and the texts of set_kept() belong to the source's owner.
Attributes::Attributes(const Attributes& other) {
  for (const Entry& e : other) set(e.key, e.value);
}

Attributes& Attributes::operator=(const Attributes& other) {
  if (this == &other) return *this;
  // clear() would hand the room of such texts to the copies being made of them.
  if (other.views_texts_of(*this)) return *this = Attributes(other);
  clear();
  for (const Entry& e : other) set(e.key, e.value);
  return *this;
}

Attributes::Attributes(Attributes&& other) noexcept
    : entries_(std::move(other.entries_)),
      store_(std::move(other.store_)),
      fields_(std::move(other.fields_)),
      size_(other.size_),
      others_(other.others_),
      by_field_(other.by_field_),
      index_(std::move(other.index_)),
      generation_(other.generation_) {
  other.entries_.clear();
  other.store_ = TextStore();
  other.fields_.clear();
  other.index_.clear();
  other.clear();  // empty, and a new generation: none of the source's field slots is in use
}

Attributes& Attributes::operator=(Attributes&& other) {
  if (this != &other && other.views_texts_of(*this)) {
    // Our store, which those texts are in, goes: they are copied first.
    Attributes copy(other);
    Attributes gone(std::move(other));
    return *this = std::move(copy);
  }
  if (this != &other) {
    entries_ = std::move(other.entries_);
    store_ = std::move(other.store_);
    fields_ = std::move(other.fields_);
    index_ = std::move(other.index_);
    size_ = other.size_;
    others_ = other.others_;
    by_field_ = other.by_field_;
    generation_ = other.generation_;
    other.entries_.clear();
    other.store_ = TextStore();
    other.fields_.clear();
    other.index_.clear();
    other.clear();
  }
  return *this;
}

std::string_view Attributes::TextStore::keep(std::string_view text) {
  if (text.empty()) return {"", 0};  // not null: some callers hand the data on to memcpy
  // A block too small for the text is passed over until the next clear().
  while (block_ < blocks_.size() && blocks_[block_].size - used_ < text.size()) {
    ++block_;
    used_ = 0;
  }
  if (block_ == blocks_.size()) {
    // Small for a map of a few entries, growing for a section's worth.
    const std::size_t grown = blocks_.empty() ? kFirstBlockBytes : std::min(2 * blocks_.back().size, kBlockBytes);
    const std::size_t size = std::max(grown, text.size());
    blocks_.push_back(Block{std::make_unique_for_overwrite<char[]>(size), size});
    used_ = 0;
  }
  char* at = blocks_[block_].bytes.get() + used_;
  std::memmove(at, text.data(), text.size());  // the text may be the one replace() gave up
  used_ += text.size();
  return {at, text.size()};
}

bool Attributes::TextStore::holds(std::string_view text) const noexcept {
  const auto at = reinterpret_cast<std::uintptr_t>(text.data());
  return std::ranges::any_of(blocks_, [at](const Block& b) {
    const auto start = reinterpret_cast<std::uintptr_t>(b.bytes.get());
    return at >= start && at < start + b.size;
  });
}

bool Attributes::views_texts_of(const Attributes& owner) const noexcept {
  if (owner.store_.empty()) return false;
  return std::ranges::any_of(entries(), [&](const Entry& e) {
    return owner.store_.holds(e.key) || owner.store_.holds(e.value);
  });
}

std::string_view Attributes::TextStore::replace(std::string_view old, std::string_view text) {
  if (!old.empty() && block_ < blocks_.size() && old.data() + old.size() == blocks_[block_].bytes.get() + used_) {
    used_ -= old.size();
  }
  return keep(text);
}

std::size_t Attributes::slot_of(std::string_view key) const noexcept {
  const std::size_t mask = index_.size() - 1;
  std::size_t slot = static_cast<std::size_t>(detail::hash_text(key)) & mask;
  while (in_use(index_[slot]) && entries_[entry_of(index_[slot])].key != key) slot = (slot + 1) & mask;
  return slot;
}

void Attributes::rebuild_index(std::size_t capacity) {
  index_.assign(capacity, 0);
  index_live_entries();
}

void Attributes::index_live_entries() noexcept {
  for (std::size_t i = 0; i < size_; ++i)
    if (fields_[i] == kNoField) index_[slot_of(entries_[i].key)] = slot_value(i);
}

const std::string_view* Attributes::find(std::string_view key) const noexcept {
  if (const auto field = find_document_field(key)) {
    const std::uint64_t at = by_field_[static_cast<std::size_t>(*field)];
    return in_use(at) ? &entries_[entry_of(at)].value : nullptr;
  }
  if (others_ <= kLinearLimit) {
    for (std::size_t i = 0; i < size_; ++i)
      if (entries_[i].key == key) return &entries_[i].value;
    return nullptr;
  }
  const std::uint64_t at = index_[slot_of(key)];
  return in_use(at) ? &entries_[entry_of(at)].value : nullptr;
}

std::size_t Attributes::append(std::string_view key, std::string_view value, std::uint8_t field) {
  if (size_ < entries_.size()) {
    entries_[size_] = Entry{key, value};
    fields_[size_] = field;
  } else {
    entries_.push_back(Entry{key, value});
    fields_.push_back(field);
  }
  return size_++;
}

void Attributes::set(std::string_view key, std::string_view value) { insert<true>(key, value); }

void Attributes::set_kept(std::string_view key, std::string_view value) { insert<false>(key, value); }

template <bool kCopy>
void Attributes::insert(std::string_view key, std::string_view value) {
  const auto stored = [this](std::string_view text) { return kCopy ? store_.keep(text) : text; };
  const auto replace = [this, value](std::string_view& old) { old = kCopy ? store_.replace(old, value) : value; };
  if (const auto field = find_document_field(key)) {
    std::uint64_t& at = by_field_[static_cast<std::size_t>(*field)];
    if (in_use(at)) {
      replace(entries_[entry_of(at)].value);
    } else {
      // The field table's key is the same bytes and outlives every map.
      at = slot_value(append(field_info(*field).key, stored(value), static_cast<std::uint8_t>(*field)));
    }
    return;
  }
  std::size_t slot = 0;
  if (others_ <= kLinearLimit) {
    for (std::size_t i = 0; i < size_; ++i) {
      if (entries_[i].key == key) {
        replace(entries_[i].value);
        return;
      }
    }
  } else {
    slot = slot_of(key);
    if (in_use(index_[slot])) {
      replace(entries_[entry_of(index_[slot])].value);
      return;
    }
  }
  const std::size_t entry = append(stored(key), stored(value), kNoField);
  ++others_;

  if (others_ <= kLinearLimit) return;
  if (others_ * 2 > index_.size()) {
    // Load factor at most 1/2.
    rebuild_index(std::bit_ceil(std::max<std::size_t>(others_ * 2, 32)));
  } else if (others_ == kLinearLimit + 1) {
    // An index kept from a bigger earlier section: no slot in use, big enough.
    index_live_entries();
  } else {
    index_[slot] = slot_value(entry);
  }
}

void Attributes::clear() noexcept {
  // A new generation empties every slot at once; only when the counter wraps are the
  // slots zeroed.
  if (++generation_ == 0) {
    std::ranges::fill(index_, 0);
    by_field_.fill(0);
    generation_ = 1;
  }
  size_ = 0;
  others_ = 0;
  store_.clear();
}

bool operator==(const Attributes& a, const Attributes& b) noexcept {
  return std::ranges::equal(a.entries(), b.entries());
}

}  // namespace varnok
