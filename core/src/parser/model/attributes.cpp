// The insertion-ordered attribute map: entries in a vector, looked up by a linear scan
// while small and through an open-addressing index of entry numbers beyond that.
#include <varnok/attributes.hpp>

#include <algorithm>
#include <bit>
#include <cstring>

#include "parser/model/hash.hpp"

namespace varnok {

namespace {

// Up to this many entries a scan beats hashing, and the index is left untouched.
constexpr std::size_t kLinearLimit = 8;

}  // namespace

Attributes::Attributes(std::initializer_list<std::pair<std::string_view, std::string_view>> items) {
  for (const auto& [key, value] : items) set(key, value);
}

// Copies only the live entries: a reused section map may carry much spare storage.
Attributes::Attributes(const Attributes& other)
    : entries_(other.entries_.begin(), other.entries_.begin() + static_cast<std::ptrdiff_t>(other.size_)),
      size_(other.size_) {
  if (size_ > kLinearLimit) rebuild_index(std::bit_ceil(size_ * 2));
}

Attributes& Attributes::operator=(const Attributes& other) {
  if (this != &other) {
    clear();
    for (const Entry& e : other) set(e.key, e.value);
  }
  return *this;
}

Attributes::Attributes(Attributes&& other) noexcept
    : entries_(std::move(other.entries_)), size_(other.size_), index_(std::move(other.index_)) {
  other.entries_.clear();
  other.index_.clear();
  other.size_ = 0;
}

Attributes& Attributes::operator=(Attributes&& other) noexcept {
  if (this != &other) {
    entries_ = std::move(other.entries_);
    index_ = std::move(other.index_);
    size_ = other.size_;
    other.entries_.clear();
    other.index_.clear();
    other.size_ = 0;
  }
  return *this;
}

std::size_t Attributes::slot_of(std::string_view key) const noexcept {
  const std::size_t mask = index_.size() - 1;
  std::size_t slot = static_cast<std::size_t>(detail::hash_text(key)) & mask;
  while (index_[slot] != 0 && entries_[index_[slot] - 1].key != key) slot = (slot + 1) & mask;
  return slot;
}

void Attributes::rebuild_index(std::size_t capacity) {
  index_.assign(capacity, 0);
  index_live_entries();
}

void Attributes::index_live_entries() noexcept {
  for (std::size_t i = 0; i < size_; ++i) index_[slot_of(entries_[i].key)] = static_cast<std::uint32_t>(i + 1);
}

const std::string* Attributes::find(std::string_view key) const noexcept {
  if (size_ <= kLinearLimit) {
    for (std::size_t i = 0; i < size_; ++i)
      if (entries_[i].key == key) return &entries_[i].value;
    return nullptr;
  }
  const std::uint32_t at = index_[slot_of(key)];
  return at == 0 ? nullptr : &entries_[at - 1].value;
}

void Attributes::set(std::string_view key, std::string_view value) {
  std::size_t slot = 0;
  if (size_ <= kLinearLimit) {
    for (std::size_t i = 0; i < size_; ++i) {
      if (entries_[i].key == key) {
        entries_[i].value.assign(value);
        return;
      }
    }
  } else {
    slot = slot_of(key);
    if (index_[slot] != 0) {
      entries_[index_[slot] - 1].value.assign(value);
      return;
    }
  }

  // A new key: reuse a spare entry left by an earlier section, so its strings keep
  // their capacity and assign() does not allocate.
  if (size_ < entries_.size()) {
    entries_[size_].key.assign(key);
    entries_[size_].value.assign(value);
  } else {
    entries_.push_back(Entry{std::string(key), std::string(value)});
  }
  ++size_;

  if (size_ <= kLinearLimit) return;
  if (size_ * 2 > index_.size()) {
    // Load factor at most 1/2.
    rebuild_index(std::bit_ceil(std::max<std::size_t>(size_ * 2, 32)));
  } else if (size_ == kLinearLimit + 1) {
    // An index kept from a bigger earlier section: all zeros, big enough.
    index_live_entries();
  } else {
    index_[slot] = static_cast<std::uint32_t>(size_);
  }
}

void Attributes::clear() noexcept {
  // Empty only the slots in use: zeroing the whole index would cost the size of the
  // largest section for every later one. Newest first, so that the probe path of each
  // entry (slots of older entries only) is still intact when it is removed.
  if (size_ > kLinearLimit) {
    const std::size_t mask = index_.size() - 1;
    for (std::size_t i = size_; i-- > 0;) {
      std::size_t slot = static_cast<std::size_t>(detail::hash_text(entries_[i].key)) & mask;
      while (index_[slot] != i + 1) slot = (slot + 1) & mask;
      index_[slot] = 0;
    }
  }
  size_ = 0;
}

bool operator==(const Attributes& a, const Attributes& b) noexcept {
  return std::ranges::equal(a.entries(), b.entries());
}

}  // namespace varnok
