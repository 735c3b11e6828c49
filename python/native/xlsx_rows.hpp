// The sheet rows of the xlsx export of documents, byte for byte what varnok._xlsx writes
// for the typed rows: texts as inline strings, the line as a number, amounts as numbers
// written from their exact decimal text, dates as date serials.
#pragma once

#include <cstddef>
#include <string>

#include "parsed_file.hpp"

namespace varnok::native {

// One <row> per document of `f` in [first, last); the first is sheet row `row`.
void append_xlsx_rows(std::string& out, const ParsedFile& f, std::size_t first, std::size_t last, std::size_t row);

// One <row> per interval of every account of `f`, the first being sheet row `row`; returns
// the row after the last.
std::size_t append_xlsx_interval_rows(std::string& out, const ParsedFile& f, std::size_t row);

}  // namespace varnok::native
