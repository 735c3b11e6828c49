// shown_utf8: control characters of UTF-8 text as \xNN (bidirectional marks as \uNNNN), the
// text itself when it has none.
#include "shown_text.hpp"

#include <array>
#include <cstddef>
#include <string>
#include <string_view>

namespace varnok::native {
namespace {

// C0 controls but TAB and LF, DEL, and the first bytes of C1 controls (0xC2: U+0080..U+009F)
// and of the bidirectional marks and overrides (0xD8: U+061C; 0xE2: U+200E, U+200F,
// U+202A..U+202E, U+2066..U+2069), which also begin other characters: the loop tells them
// apart.
constexpr std::array<bool, 256> kMaybeControl = [] {
  std::array<bool, 256> table{};
  for (int c = 0; c < 0x20; ++c) table[c] = c != '\t' && c != '\n';
  table[0x7F] = table[0xC2] = table[0xD8] = table[0xE2] = true;
  return table;
}();

// The code of the control character at `i`, its length in `length`; -1 when there is none.
int control_at(std::string_view text, std::size_t i, std::size_t& length) noexcept {
  const auto byte = [&](std::size_t at) { return at < text.size() ? static_cast<unsigned char>(text[at]) : 0u; };
  const unsigned c = byte(i);
  if (c < 0x80) return length = 1, static_cast<int>(c);
  const unsigned next = byte(i + 1);
  if (c == 0xC2) return next >= 0x80 && next <= 0x9F ? (length = 2, static_cast<int>(next)) : -1;
  if (c == 0xD8) return next == 0x9C ? (length = 2, 0x061C) : -1;
  const unsigned code = 0x2000 | (next & 0x3F) << 6 | (byte(i + 2) & 0x3F);  // (c is 0xE2)
  const bool bidi = (next == 0x80 || next == 0x81) && (byte(i + 2) & 0xC0) == 0x80 &&
                    (code == 0x200E || code == 0x200F || (code >= 0x202A && code <= 0x202E) ||
                     (code >= 0x2066 && code <= 0x2069));
  return bidi ? (length = 3, static_cast<int>(code)) : -1;
}

}  // namespace

PyObject* shown_utf8(PyObject*, PyObject* data) noexcept {
  if (!PyBytes_Check(data)) {
    PyErr_SetString(PyExc_TypeError, "shown_utf8(data: bytes)");
    return nullptr;
  }
  const std::string_view text(PyBytes_AS_STRING(data), static_cast<std::size_t>(PyBytes_GET_SIZE(data)));
  std::size_t i = 0;
  std::size_t length = 0;
  for (; i < text.size(); ++i) {
    if (kMaybeControl[static_cast<unsigned char>(text[i])] && control_at(text, i, length) >= 0) break;
  }
  if (i == text.size()) return Py_NewRef(data);
  try {
    constexpr char kHex[] = "0123456789abcdef";
    std::string shown(text.substr(0, i));
    while (i < text.size()) {
      const int code = kMaybeControl[static_cast<unsigned char>(text[i])] ? control_at(text, i, length) : -1;
      if (code < 0) {
        shown += text[i++];
        continue;
      }
      if (code > 0xFF) {
        shown += "\\u";
        shown += kHex[code >> 12];
        shown += kHex[code >> 8 & 15];
      } else {
        shown += "\\x";
      }
      shown += kHex[code >> 4 & 15];
      shown += kHex[code & 15];
      i += length;
    }
    return PyBytes_FromStringAndSize(shown.data(), static_cast<Py_ssize_t>(shown.size()));
  } catch (const std::bad_alloc&) {
    return PyErr_NoMemory();
  }
}

}  // namespace varnok::native
