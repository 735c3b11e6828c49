// str objects made straight from the core's UTF-8 texts, at their final kind in one go.
#pragma once

#include <Python.h>

#include <string_view>

namespace varnok::py {

// A new str of `text`, which must be well-formed UTF-8 (every text the core gives is):
// ASCII, one byte or two bytes per character as its largest character asks, allocated
// once at its final size, without the interpreter's general decoder (which starts
// narrow and widens). Text with characters beyond U+FFFF goes through the interpreter's
// decoder, and so does text whose bytes do not make whole characters (which then raises
// UnicodeDecodeError); overlong forms and surrogates are not looked for.
// A new reference, or null with an exception.
[[nodiscard]] PyObject* new_str_from_utf8(std::string_view text) noexcept;

}  // namespace varnok::py
