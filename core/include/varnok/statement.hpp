// The record a successful read returns.
#pragma once

#include <vector>

#include <varnok/account.hpp>
#include <varnok/attributes.hpp>
#include <varnok/diagnostics.hpp>
#include <varnok/document.hpp>
#include <varnok/encoding.hpp>

namespace varnok {

struct Statement {
  Encoding encoding = Encoding::Utf8;
  Attributes header;               // key=value lines before the first section
  AccountMap accounts;             // by number, in order of first appearance
  std::vector<Document> documents; // built document sections, in input order
  std::vector<Warning> warnings;   // dropped document sections, in input order
};

}  // namespace varnok
