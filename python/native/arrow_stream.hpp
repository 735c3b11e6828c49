// The documents of many parsed files as one Arrow C stream (the Arrow C data interface):
// columns built straight from the core's records, no Python object per value.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "parsed_file.hpp"

extern "C" {
// The Arrow C data interface's ABI-stable structs, as published by the Arrow project.
struct ArrowSchema {
  const char* format;
  const char* name;
  const char* metadata;
  std::int64_t flags;
  std::int64_t n_children;
  ArrowSchema** children;
  ArrowSchema* dictionary;
  void (*release)(ArrowSchema*);
  void* private_data;
};

struct ArrowArray {
  std::int64_t length;
  std::int64_t null_count;
  std::int64_t offset;
  std::int64_t n_buffers;
  std::int64_t n_children;
  const void** buffers;
  ArrowArray** children;
  ArrowArray* dictionary;
  void (*release)(ArrowArray*);
  void* private_data;
};

struct ArrowArrayStream {
  int (*get_schema)(ArrowArrayStream*, ArrowSchema* out);
  int (*get_next)(ArrowArrayStream*, ArrowArray* out);
  const char* (*get_last_error)(ArrowArrayStream*);
  void (*release)(ArrowArrayStream*);
  void* private_data;
};
}

namespace varnok::native {

using SharedFile = std::shared_ptr<const ParsedFile>;

// Fills `out` with a stream of one record batch of every document of `files`, in order:
// file, line (int64), the 53 fields (large utf8; dates as date32; the amount as
// decimal128(38, s), s the largest scale among them), direction, fingerprint. Returns an
// empty string, or the reason it cannot (an amount too large for decimal128(38, s)).
[[nodiscard]] std::string make_document_stream(std::vector<SharedFile> files, ArrowArrayStream* out);

}  // namespace varnok::native
