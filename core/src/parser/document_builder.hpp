// Document sections: attributes and the kind to a Document through the field table.
#pragma once

#include <expected>
#include <string>
#include <string_view>

#include "parser/model/attributes.hpp"
#include "parser/model/document.hpp"

namespace varnok {

// Walks the attributes in order, then the entry ("СекцияДокумент", kind). Unknown keys are
// dropped; a value failure ends the build with its text; a field met twice gives
// "duplicate field `KEY`"; then the first missing required field gives
// "missing field `KEY`". Never throws on bad input.
[[nodiscard]] std::expected<Document, std::string> build_document(const Attributes& attrs,
                                                                   std::string_view kind);

}  // namespace varnok
