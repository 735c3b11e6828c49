// JSON Lines and CSV rows of documents, byte for byte what varnok.export writes through
// the json and csv modules (json.dumps with ensure_ascii=False; csv's minimal quoting).
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "parsed_file.hpp"

namespace varnok::native {

// Writes `s` at `out` (which has room for it) and returns the end: rows are written
// through a pointer into room made once, being some hundred small pieces each.
inline char* put(char* out, std::string_view s) noexcept {
  std::memcpy(out, s.data(), s.size());
  return out + s.size();
}

// `n` in decimal.
void append_int(std::string& out, std::int64_t n);

// `text` as a JSON string, quotes included, escaped as json.dumps escapes it.
void append_json_string(std::string& out, std::string_view text);

// One JSON object per document of `f` in [first, last), each followed by "\n".
void append_jsonl(std::string& out, const ParsedFile& f, std::size_t first, std::size_t last);

// The header row: file, line, the 53 names, direction, fingerprint.
void append_csv_header(std::string& out);
// One CSV row per document of `f` in [first, last), each ended by "\n".
void append_csv(std::string& out, const ParsedFile& f, std::size_t first, std::size_t last);

// The intervals' header row: file, account, then kIntervalColumns.
void append_csv_interval_header(std::string& out);
// One CSV row (or JSON object and "\n") per interval of every account of `f`.
void append_csv_intervals(std::string& out, const ParsedFile& f);
void append_jsonl_intervals(std::string& out, const ParsedFile& f);

}  // namespace varnok::native
