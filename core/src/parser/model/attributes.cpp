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

}  // namespace

Attributes::Attributes(std::initializer_list<std::pair<std::string_view, std::string_view>> items) {
  for (const auto& [key, value] : items) set(key, value);
}

// Copies only the live entries: a reused section map may carry much spare storage.
Attributes::Attributes(const Attributes& other) {
  for (const Entry& e : other) set(e.key, e.value);
}

Attributes& Attributes::operator=(const Attributes& other) {
  if (this != &other) {
    clear();
    for (const Entry& e : other) set(e.key, e.value);
  }
  return *this;
}

Attributes::Attributes(Attributes&& other) noexcept
    : entries_(std::move(other.entries_)),
      fields_(std::move(other.fields_)),
      size_(other.size_),
      others_(other.others_),
      by_field_(other.by_field_),
      index_(std::move(other.index_)),
      generation_(other.generation_) {
  other.entries_.clear();
  other.fields_.clear();
  other.index_.clear();
  other.clear();  // empty, and a new generation: none of the source's field slots is in use
}

Attributes& Attributes::operator=(Attributes&& other) noexcept {
  if (this != &other) {
    entries_ = std::move(other.entries_);
    fields_ = std::move(other.fields_);
    index_ = std::move(other.index_);
    size_ = other.size_;
    others_ = other.others_;
    by_field_ = other.by_field_;
    generation_ = other.generation_;
    other.entries_.clear();
    other.fields_.clear();
    other.index_.clear();
    other.clear();
  }
  return *this;
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

const std::string* Attributes::find(std::string_view key) const noexcept {
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
  // Reuses a spare entry left by an earlier section, so its strings keep their capacity
  // and assign() does not allocate.
  if (size_ < entries_.size()) {
    entries_[size_].key.assign(key);
    entries_[size_].value.assign(value);
    fields_[size_] = field;
  } else {
    entries_.push_back(Entry{std::string(key), std::string(value)});
    fields_.push_back(field);
  }
  return size_++;
}

void Attributes::set(std::string_view key, std::string_view value) {
  if (const auto field = find_document_field(key)) {
    std::uint64_t& at = by_field_[static_cast<std::size_t>(*field)];
    if (in_use(at)) {
      entries_[entry_of(at)].value.assign(value);
    } else {
      at = slot_value(append(key, value, static_cast<std::uint8_t>(*field)));
    }
    return;
  }
  std::size_t slot = 0;
  if (others_ <= kLinearLimit) {
    for (std::size_t i = 0; i < size_; ++i) {
      if (entries_[i].key == key) {
        entries_[i].value.assign(value);
        return;
      }
    }
  } else {
    slot = slot_of(key);
    if (in_use(index_[slot])) {
      entries_[entry_of(index_[slot])].value.assign(value);
      return;
    }
  }
  const std::size_t entry = append(key, value, kNoField);
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
}

bool operator==(const Attributes& a, const Attributes& b) noexcept {
  return std::ranges::equal(a.entries(), b.entries());
}

}  // namespace varnok
