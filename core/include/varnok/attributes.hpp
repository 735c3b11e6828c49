// An insertion-ordered string map for the header and for a section's attributes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace varnok {

// Keys compare as exact bytes. Setting a key that is present replaces its value in
// place: the entry keeps its first position and the last value wins. Lookups are
// hashed. clear() keeps the storage, so one object reused for every section of a
// read allocates only when a text outgrows what an earlier section left behind.
class Attributes {
 public:
  struct Entry {
    std::string key;
    std::string value;
    friend bool operator==(const Entry&, const Entry&) = default;
  };

  Attributes() = default;
  Attributes(std::initializer_list<std::pair<std::string_view, std::string_view>> items);
  // Copies hold the live entries only; a moved-from map is empty.
  Attributes(const Attributes& other);
  Attributes& operator=(const Attributes& other);
  Attributes(Attributes&& other) noexcept;
  Attributes& operator=(Attributes&& other) noexcept;
  ~Attributes() = default;

  // Inserts or replaces; copies both texts.
  void set(std::string_view key, std::string_view value);
  // The value stored under key, or nullptr. Valid until the next change.
  [[nodiscard]] const std::string* find(std::string_view key) const noexcept;
  // Removes every entry; keeps capacity.
  void clear() noexcept;

  [[nodiscard]] std::size_t size() const noexcept { return size_; }
  [[nodiscard]] bool empty() const noexcept { return size_ == 0; }
  // The entries in insertion order.
  [[nodiscard]] std::span<const Entry> entries() const noexcept { return {entries_.data(), size_}; }

  [[nodiscard]] const Entry* begin() const noexcept { return entries_.data(); }
  [[nodiscard]] const Entry* end() const noexcept { return entries_.data() + size_; }

  // Same entries in the same order.
  friend bool operator==(const Attributes& a, const Attributes& b) noexcept;

 private:
  // The slot holding key, or the empty slot where it would go. Needs a non-empty index.
  [[nodiscard]] std::size_t slot_of(std::string_view key) const noexcept;
  void rebuild_index(std::size_t capacity);
  void index_live_entries() noexcept;
  [[nodiscard]] bool in_use(std::uint64_t slot_value) const noexcept { return slot_value >> 32 == generation_; }
  [[nodiscard]] std::uint64_t slot_value(std::size_t entry) const noexcept {
    return std::uint64_t{generation_} << 32 | (entry + 1);
  }
  [[nodiscard]] static std::size_t entry_of(std::uint64_t slot_value) noexcept {
    return static_cast<std::size_t>(slot_value & 0xFFFFFFFFu) - 1;
  }

  std::vector<Entry> entries_;   // [0, size_) live; the rest is spare storage for reuse
  std::size_t size_ = 0;
  // Open addressing. A slot is in use when its upper half is generation_, and then its
  // lower half is the entry index + 1: clear() empties every slot by a new generation.
  std::vector<std::uint64_t> index_;
  std::uint32_t generation_ = 1;
};

}  // namespace varnok
