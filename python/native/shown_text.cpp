// shown_utf8: control characters of UTF-8 text as \xNN, the text itself when it has none.
#include "shown_text.hpp"

#include <array>
#include <cstddef>
#include <string>
#include <string_view>

#include "native_ref.hpp"

namespace varnok::native {
namespace {

// C0 controls but TAB and LF, DEL, and 0xC2, the first byte of a C1 control (U+0080..U+009F)
// and of other characters, which the loop then tells apart.
constexpr std::array<bool, 256> kMaybeControl = [] {
  std::array<bool, 256> table{};
  for (int c = 0; c < 0x20; ++c) table[c] = c != '\t' && c != '\n';
  table[0x7F] = table[0xC2] = true;
  return table;
}();

// The code of the control character at `i`, its length in `length`; -1 when there is none.
int control_at(std::string_view text, std::size_t i, std::size_t& length) noexcept {
  const auto c = static_cast<unsigned char>(text[i]);
  if (c != 0xC2) return length = 1, c;
  const auto next = i + 1 < text.size() ? static_cast<unsigned char>(text[i + 1]) : 0u;
  if (next < 0x80 || next > 0x9F) return -1;
  return length = 2, static_cast<int>(next);
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
      shown += "\\x";
      shown += kHex[code >> 4];
      shown += kHex[code & 15];
      i += length;
    }
    return PyBytes_FromStringAndSize(shown.data(), static_cast<Py_ssize_t>(shown.size()));
  } catch (const std::bad_alloc&) {
    return PyErr_NoMemory();
  }
}

}  // namespace varnok::native
