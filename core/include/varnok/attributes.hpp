// An insertion-ordered string map for the header and for a section's attributes.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include <varnok/fields.hpp>

namespace varnok {

// Keys compare as exact bytes. Setting a key that is present replaces its value in
// place: the entry keeps its first position and the last value wins. Lookups are
// hashed. Entries are views: into the map's own copies of the texts set(), or into texts
// their owner keeps (set_kept()), so that a reader handing over its lines copies nothing.
// clear() keeps the storage, so one object reused for every section of a read allocates
// only when its texts outgrow what an earlier section left behind.
class Attributes {
 public:
  struct Entry {
    std::string_view key;
    std::string_view value;
    friend bool operator==(const Entry&, const Entry&) = default;
  };

  Attributes() = default;
  Attributes(std::initializer_list<std::pair<std::string_view, std::string_view>> items);
  // Copies hold the live entries only; a moved-from map is empty. A map assigned another
  // that views texts of its own (set_kept() of entries taken from it, as a hook building a
  // smaller map does) gets copies of them, so the assignment may allocate, even a move.
  Attributes(const Attributes& other);
  Attributes& operator=(const Attributes& other);
  Attributes(Attributes&& other) noexcept;
  Attributes& operator=(Attributes&& other);
  ~Attributes() = default;

  // Inserts or replaces; copies both texts (a document field's key is its table's).
  void set(std::string_view key, std::string_view value);
  // The same without copying: the caller keeps both texts alive and unchanged until the
  // map is cleared, dropped or copied (a copy holds copies).
  void set_kept(std::string_view key, std::string_view value);
  // The value stored under key, or nullptr. Valid until the next change.
  [[nodiscard]] const std::string_view* find(std::string_view key) const noexcept;
  // The document field that the key of entry i (i < size()) names, if any: looked up once,
  // when the key was set, for those who build or show a document from the entries.
  [[nodiscard]] std::optional<DocumentField> field_at(std::size_t i) const noexcept {
    if (fields_[i] == kNoField) return std::nullopt;
    return static_cast<DocumentField>(fields_[i]);
  }
  // Removes every entry; keeps capacity. Views given out before are no longer valid.
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
  static constexpr std::uint8_t kNoField = 0xFF;

  // Copies of texts, in blocks that never move: a view into one stays valid when the map
  // grows or is moved. Bounded by the bytes set since the last clear().
  class TextStore {
   public:
    [[nodiscard]] std::string_view keep(std::string_view text);
    // keep(text) for a text replacing `old`, whose room is reused when it was the last kept.
    [[nodiscard]] std::string_view replace(std::string_view old, std::string_view text);
    void clear() noexcept {
      block_ = 0;
      used_ = 0;
    }
    // Whether text lies in one of the blocks.
    [[nodiscard]] bool holds(std::string_view text) const noexcept;
    [[nodiscard]] bool empty() const noexcept { return blocks_.empty(); }

   private:
    struct Block {
      std::unique_ptr<char[]> bytes;
      std::size_t size;
    };
    std::vector<Block> blocks_;
    std::size_t block_ = 0;  // the block being filled
    std::size_t used_ = 0;   // its bytes in use
  };

  template <bool kCopy>
  void insert(std::string_view key, std::string_view value);
  // Whether an entry views a text in owner's store.
  [[nodiscard]] bool views_texts_of(const Attributes& owner) const noexcept;

  // The slot holding key, or the empty slot where it would go. Needs a non-empty index.
  [[nodiscard]] std::size_t slot_of(std::string_view key) const noexcept;
  // Appends a new entry; its index.
  std::size_t append(std::string_view key, std::string_view value, std::uint8_t field);
  void rebuild_index(std::size_t capacity);
  void index_live_entries() noexcept;
  [[nodiscard]] bool in_use(std::uint64_t slot_value) const noexcept { return slot_value >> 32 == generation_; }
  [[nodiscard]] std::uint64_t slot_value(std::size_t entry) const noexcept {
    return std::uint64_t{generation_} << 32 | (entry + 1);
  }
  [[nodiscard]] static std::size_t entry_of(std::uint64_t slot_value) noexcept {
    return static_cast<std::size_t>(slot_value & 0xFFFFFFFFu) - 1;
  }

  std::vector<Entry> entries_;   // [0, size_) live; the rest is room kept for reuse
  TextStore store_;
  std::vector<std::uint8_t> fields_;  // per entry: the document field its key names, or kNoField
  std::size_t size_ = 0;
  std::size_t others_ = 0;  // live entries whose key names no document field
  // Keys that name a document field (most keys of a document section) are found through
  // the field table's perfect hash: by_field_[f] is a slot value (see below) for the entry
  // of field f. Only the other keys are hashed into index_.
  std::array<std::uint64_t, kDocumentFieldCount> by_field_{};
  // Open addressing over the entries whose key names no document field. A slot is in use
  // when its upper half is generation_, and then its lower half is the entry index + 1:
  // clear() empties every slot (and by_field_) by a new generation.
  std::vector<std::uint64_t> index_;
  std::uint32_t generation_ = 1;
};

}  // namespace varnok
