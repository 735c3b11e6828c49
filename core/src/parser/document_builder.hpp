// Document sections: attributes and the kind to a Document through the field table.
#pragma once

#include <cstddef>
#include <expected>
#include <string>
#include <string_view>

#include "parser/model/attributes.hpp"
#include "parser/model/document.hpp"

namespace varnok {

// Walks the attributes in order, then the entry ("СекцияДокумент", kind). Unknown keys are
// dropped; a value failure ends the build with its text; a field met twice gives
// "duplicate field `KEY`"; then the first missing required field gives
// "missing field `KEY`"; a document whose texts exceed 4 GiB gives "document is too
// large". Never throws on bad input.
[[nodiscard]] std::expected<Document, std::string> build_document(const Attributes& attrs,
                                                                   std::string_view kind);

namespace detail {
// build_document with a ceiling on the total size of a document's texts: a document
// whose texts exceed it fails with "document is too large". build_document uses the
// largest size its 32-bit text spans can address.
[[nodiscard]] std::expected<Document, std::string> build_document(const Attributes& attrs,
                                                                   std::string_view kind,
                                                                   std::size_t max_text_bytes);
}  // namespace detail

}  // namespace varnok
