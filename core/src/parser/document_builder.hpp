// Document sections: key-value pairs and the kind to a Document through the field table.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <expected>
#include <string>
#include <string_view>

#include <varnok/attributes.hpp>
#include <varnok/document.hpp>
#include <varnok/fields.hpp>

namespace varnok {

// Builds one document at a time from borrowed pairs, so that a hook-free read can feed
// lines straight in without first storing them in an attribute map. Reusable: start()
// forgets the previous document.
//
// A known key given again replaces its value but keeps its first position, as in an
// attribute map. finish() converts the typed values in order of first position (the
// first bad one wins), then rejects a "СекцияДокумент" given as a key ("duplicate field
// `СекцияДокумент`"), then looks for the first missing required field ("missing field
// `KEY`"), then for texts over 4 GiB ("document is too large"). Never throws on bad input.
class DocumentBuilder {
 public:
  // The largest text total whose offsets fit 32 bits.
  static constexpr std::size_t kMaxTextBytes = Document::kMaxTextBytes;

  // Begins a document; `kind` is the value of its "СекцияДокумент=" line, borrowed.
  void start(std::string_view kind) noexcept;
  // One pair, borrowed until finish(). Unknown keys are dropped.
  void add(std::string_view key, std::string_view value) noexcept;
  // The same for a key already looked up (Attributes::field_at).
  void add(DocumentField field, std::string_view value) noexcept;
  [[nodiscard]] std::expected<Document, std::string> finish(std::size_t max_text_bytes = kMaxTextBytes);
  // finish() into a default-constructed document, which is left unspecified on failure;
  // spares the moves of a returned one.
  [[nodiscard]] std::expected<void, std::string> finish_into(Document& doc, std::size_t max_text_bytes = kMaxTextBytes);

 private:
  static constexpr std::size_t kTypedFieldCount = [] {
    std::size_t n = 0;
    for (const FieldInfo& f : kDocumentFields) n += f.kind != FieldKind::Text;
    return n;
  }();

  std::array<std::string_view, kDocumentFieldCount> values_;  // valid where filled_ has the bit
  std::uint64_t filled_ = 0;
  std::array<DocumentField, kTypedFieldCount> typed_order_{};  // typed fields by first position
  std::uint8_t typed_count_ = 0;
  std::size_t text_bytes_ = 0;
  std::string_view kind_;
};

}  // namespace varnok
