// A document's equality.
#include <varnok/document.hpp>

#include <cstddef>

namespace varnok {

bool operator==(const Document& a, const Document& b) noexcept {
  // The buffers may be laid out differently, so texts compare through their spans.
  for (std::size_t i = 0; i < kDocumentFieldCount; ++i) {
    const auto f = static_cast<DocumentField>(i);
    if (a.text(f) != b.text(f)) return false;
  }
  return a.dates_ == b.dates_ && a.amount_ == b.amount_;
}

}  // namespace varnok
