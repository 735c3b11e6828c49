// str objects made straight from the core's UTF-8 texts, at their final kind in one go.
#pragma once

#include <Python.h>

#include <string_view>

namespace varnok::py {

// A new str of `text`, which should be well-formed UTF-8 (every text the core gives is):
// ASCII, one byte or two bytes per character as its largest character asks, allocated
// once at its final size, without the interpreter's general decoder (which starts
// narrow and widens). Text with characters beyond U+FFFF, and any malformed text, go
// through the interpreter's decoder, which raises UnicodeDecodeError for the latter.
// A new reference, or null with an exception.
[[nodiscard]] PyObject* new_str_from_utf8(std::string_view text) noexcept;

}  // namespace varnok::py
