// Reading a document's text fields back out of its one buffer, and its equality.
#include <varnok/document.hpp>

#include <cstddef>

namespace varnok {

std::optional<std::string_view> Document::text(DocumentField f) const noexcept {
  const auto i = static_cast<std::size_t>(f);
  // Typed fields are never marked present, so they read as absent here.
  if ((present_ >> i & 1) == 0) return std::nullopt;
  return std::string_view(storage_.data() + starts_[i], starts_[i + 1] - starts_[i]);
}

bool operator==(const Document& a, const Document& b) noexcept {
  // The buffers may be laid out differently, so texts compare through their spans.
  for (std::size_t i = 0; i < kDocumentFieldCount; ++i) {
    const auto f = static_cast<DocumentField>(i);
    if (a.text(f) != b.text(f)) return false;
  }
  return a.dates_ == b.dates_ && a.amount_ == b.amount_;
}

}  // namespace varnok
