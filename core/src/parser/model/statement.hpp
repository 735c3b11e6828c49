// The record a successful read returns.
#pragma once

#include <vector>

#include "parser/decode.hpp"
#include "parser/diagnostics.hpp"
#include "parser/model/account.hpp"
#include "parser/model/attributes.hpp"
#include "parser/model/document.hpp"

namespace varnok {

struct Statement {
  Encoding encoding = Encoding::Utf8;
  Attributes header;               // key=value lines before the first section
  AccountMap accounts;             // by number, in order of first appearance
  std::vector<Document> documents; // built document sections, in input order
  std::vector<Warning> warnings;   // dropped document sections, in input order
};

}  // namespace varnok
