// The statement writer's hot loop (see writer.hpp). It reads the documents only through
// Python's public API and gives up, returning None, on anything it would have to explain.
#include "writer.hpp"

#include <sys/mman.h>

#include <algorithm>
#include <cstring>
#include <cstdint>
#include <new>
#include <string>
#include <string_view>
#include <vector>

#include "native_ref.hpp"

namespace varnok::native {
namespace {

// The reader takes windows-1251 bytes for text only when at least 96 % of the first 20,480
// characters are plain: printable ASCII, TAB, LF, FF, CR, space, or U+0400 and above.
constexpr std::size_t kPlausibleSpan = 20480;
constexpr std::size_t kPlausiblePercent = 96;

constexpr bool is_plain(Py_UCS4 c) noexcept {
  return (c >= 0x20 && c <= 0x7E) || c == 0x09 || c == 0x0A || c == 0x0C || c == 0x0D || c >= 0x400;
}

enum class Kind : long { Text = 0, Date = 1, Amount = 2 };

// A fixed text of plain characters, in the output encoding.
struct Piece {
  std::string bytes;
  std::size_t chars = 0;
};

// What the loop looks up per character, built once per call.
struct Tables {
  static constexpr std::uint16_t kNoByte = 0x100;
  // windows-1251 output: the byte of each BMP code point, kNoByte where there is none.
  // Empty for UTF-8 output.
  std::vector<std::uint16_t> cp1251;
  // The characters the reader trims (all below U+3001).
  std::vector<bool> white_space;

  [[nodiscard]] bool is_white_space(Py_UCS4 c) const noexcept { return c < white_space.size() && white_space[c]; }
};

// glibc's largest size for blocks it keeps in its heap; larger ones are mapped afresh.
constexpr std::size_t kKeptByTheHeap = std::size_t{32} << 20;

// Rooms from this size on are backed by huge pages where the kernel has them.
constexpr std::size_t kHugePagesFrom = std::size_t{4} << 20;

// Asks the kernel to back the whole 2 MiB pages of a room with huge pages where it does so
// only when asked (transparent huge pages in "madvise" mode): a 50 MB output then faults in
// some 500 times instead of 12,800 (a write of 50 MB windows-1251: 256 -> 112 ms; on the
// free-threaded build, whose allocator maps rooms of 10 MB afresh too, 40 -> 30 ms there).
void ask_for_huge_pages([[maybe_unused]] char* data, [[maybe_unused]] std::size_t size) noexcept {
#ifdef MADV_HUGEPAGE
  constexpr std::uintptr_t kHuge = std::uintptr_t{2} << 20;
  const auto start = reinterpret_cast<std::uintptr_t>(data);
  const std::uintptr_t begin = (start + kHuge - 1) & ~(kHuge - 1);
  const std::uintptr_t end = (start + size) & ~(kHuge - 1);
  if (end > begin) static_cast<void>(madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE));
#endif
}

// A bytes object grown in place, so that the result needs no copy at the end. Running out
// of memory throws std::bad_alloc.
class BytesBuffer {
 public:
  // Room for `extra` more bytes at the end; valid until the next call.
  [[nodiscard]] char* room(std::size_t extra) {
    if (size_ + extra > capacity_) grow(size_ + extra);
    return PyBytes_AS_STRING(bytes_.get()) + size_;
  }
  void commit(std::size_t written) noexcept { size_ += written; }
  void append(std::string_view s) {
    std::memcpy(room(s.size()), s.data(), s.size());
    size_ += s.size();
  }
  void reserve(std::size_t bytes) {
    if (bytes > capacity_) grow(bytes);
  }
  [[nodiscard]] std::string_view view() const noexcept {
    return bytes_ ? std::string_view(PyBytes_AS_STRING(bytes_.get()), size_) : std::string_view();
  }
  // The bytes written, as the object itself (null with an exception set on failure). Up to
  // kKeptByTheHeap, a copy of their size rather than the room shrunk in place: glibc maps
  // a large room afresh, and one it frees teaches it to keep rooms of that size in its
  // heap, so that the next write's room and result are pages it has; shrunk, every write
  // faulted in its whole output anew (1 MB: 257 faults, 5.3 -> 2.3 ms a write).
  [[nodiscard]] Ref take() {
    if (!bytes_ || capacity_ <= kKeptByTheHeap) {
      Ref copy = Ref::steal(PyBytes_FromStringAndSize(bytes_ ? PyBytes_AS_STRING(bytes_.get()) : "",
                                                      static_cast<Py_ssize_t>(size_)));
      bytes_ = Ref();
      return copy;
    }
    PyObject* bytes = bytes_.release();
    if (_PyBytes_Resize(&bytes, static_cast<Py_ssize_t>(size_)) < 0) return Ref();
    return Ref::steal(bytes);
  }

 private:
  void grow(std::size_t wanted) {
    const std::size_t capacity = std::max({wanted, 2 * capacity_, std::size_t{256}});
    PyObject* bytes = bytes_.release();
    if (bytes == nullptr) bytes = PyBytes_FromStringAndSize(nullptr, static_cast<Py_ssize_t>(capacity));
    else if (_PyBytes_Resize(&bytes, static_cast<Py_ssize_t>(capacity)) < 0) bytes = nullptr;
    if (bytes == nullptr) throw std::bad_alloc();
    bytes_ = Ref::steal(bytes);
    if (capacity >= kHugePagesFrom) ask_for_huge_pages(PyBytes_AS_STRING(bytes), capacity);
    capacity_ = capacity;
  }

  Ref bytes_;  // not shared with anyone until take()
  std::size_t size_ = 0;
  std::size_t capacity_ = 0;
};

// Bytes in the output encoding, with the counts of the reader's plausibility check.
class Output {
 public:
  explicit Output(const Tables& tables) : tables_(tables) {}  // tables must outlive it

  // Appends a str as it is; false when the encoding cannot hold one of its characters.
  [[nodiscard]] bool text(PyObject* str) { return append<false>(str); }

  // Appends a str that the reader must read back unchanged as one value: no LF in it and
  // no White_Space at either end.
  [[nodiscard]] bool value(PyObject* str) {
    const Py_ssize_t n = PyUnicode_GET_LENGTH(str);
    if (n > 0 && (tables_.is_white_space(PyUnicode_READ_CHAR(str, 0)) ||
                  tables_.is_white_space(PyUnicode_READ_CHAR(str, n - 1))))
      return false;
    return append<true>(str);
  }

  // Appends text already in the output encoding whose characters are all plain.
  void plain(std::string_view bytes, std::size_t chars) {
    out_.append(bytes);
    counted_ = std::min(kPlausibleSpan, counted_ + chars);
  }
  void plain(const Piece& piece) { plain(piece.bytes, piece.chars); }

  // Whether the reader would take the bytes for the text written: windows-1251 output must
  // pass its plausibility check (it is never valid UTF-8: the bytes of КонецФайла are not).
  [[nodiscard]] bool reads_back() const noexcept {
    return tables_.cp1251.empty() || (counted_ > 0 && (counted_ - odd_) * 100 / counted_ >= kPlausiblePercent);
  }

  void reserve(std::size_t bytes) { out_.reserve(bytes); }
  [[nodiscard]] bool all_plain() const noexcept { return odd_ == 0; }
  [[nodiscard]] std::string_view bytes() const noexcept { return out_.view(); }
  [[nodiscard]] Ref take() { return out_.take(); }

 private:
  template <bool NoLf>
  bool append(PyObject* str) {
    const auto n = static_cast<std::size_t>(PyUnicode_GET_LENGTH(str));
    const void* data = PyUnicode_DATA(str);
    if (PyUnicode_IS_ASCII(str)) {  // the same bytes in both encodings
      const auto* chars = static_cast<const char*>(data);
      count(reinterpret_cast<const Py_UCS1*>(chars), n);
      if (NoLf && std::memchr(chars, '\n', n) != nullptr) return false;
      out_.append({chars, n});
      return true;
    }
    switch (PyUnicode_KIND(str)) {
      case PyUnicode_1BYTE_KIND:
        return append<NoLf>(static_cast<const Py_UCS1*>(data), n);
      case PyUnicode_2BYTE_KIND:
        return append<NoLf>(static_cast<const Py_UCS2*>(data), n);
      default:
        return append<NoLf>(static_cast<const Py_UCS4*>(data), n);
    }
  }

  template <typename Char>
  void count(const Char* chars, std::size_t n) noexcept {
    for (std::size_t i = 0; i < n && counted_ < kPlausibleSpan; ++i, ++counted_) odd_ += !is_plain(chars[i]);
  }

  template <bool NoLf, typename Char>
  bool append(const Char* chars, std::size_t n) {
    count(chars, n);
    unsigned bad = 0;  // kNoByte set by a character the output cannot take
    auto* const begin = reinterpret_cast<unsigned char*>(out_.room(4 * n));
    auto* o = begin;
    if (!tables_.cp1251.empty()) {
      const std::uint16_t* table = tables_.cp1251.data();
      for (std::size_t i = 0; i < n; ++i) {  // no branch: failures gather in bad
        const Py_UCS4 c = chars[i];
        const unsigned byte = sizeof(Char) == 4 && c > 0xFFFF ? Tables::kNoByte : table[c];
        bad |= byte | (NoLf && c == '\n' ? Tables::kNoByte : 0);
        *o++ = static_cast<unsigned char>(byte);
      }
    } else {
      for (std::size_t i = 0; i < n; ++i) {
        const Py_UCS4 c = chars[i];
        if (c < 0x80) {
          bad |= NoLf && c == '\n' ? Tables::kNoByte : 0;
          *o++ = static_cast<unsigned char>(c);
        } else if (c < 0x800) {
          *o++ = static_cast<unsigned char>(0xC0 | (c >> 6));
          *o++ = static_cast<unsigned char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
          bad |= c >= 0xD800 && c <= 0xDFFF ? Tables::kNoByte : 0;  // a lone surrogate
          *o++ = static_cast<unsigned char>(0xE0 | (c >> 12));
          *o++ = static_cast<unsigned char>(0x80 | ((c >> 6) & 0x3F));
          *o++ = static_cast<unsigned char>(0x80 | (c & 0x3F));
        } else {
          *o++ = static_cast<unsigned char>(0xF0 | (c >> 18));
          *o++ = static_cast<unsigned char>(0x80 | ((c >> 12) & 0x3F));
          *o++ = static_cast<unsigned char>(0x80 | ((c >> 6) & 0x3F));
          *o++ = static_cast<unsigned char>(0x80 | (c & 0x3F));
        }
      }
    }
    out_.commit(static_cast<std::size_t>(o - begin));
    return (bad & Tables::kNoByte) == 0;
  }

  const Tables& tables_;
  BytesBuffer out_;
  std::size_t counted_ = 0;  // characters seen of the first kPlausibleSpan
  std::size_t odd_ = 0;      // how many of them are not plain
};

// An ASCII str's characters, or an empty view for any other str.
std::string_view ascii(PyObject* str) noexcept {
  if (!PyUnicode_IS_ASCII(str)) return {};
  return {static_cast<const char*>(PyUnicode_DATA(str)), static_cast<std::size_t>(PyUnicode_GET_LENGTH(str))};
}

constexpr bool is_digit(char c) noexcept { return c >= '0' && c <= '9'; }

int two_digits(std::string_view s) noexcept { return (s[0] - '0') * 10 + (s[1] - '0'); }

// YYYY-MM-DD (a day of the calendar, year 0 to 9999) as DD.MM.YYYY; false for any other
// form, which the Python writer handles.
bool date_text(std::string_view iso, std::string& out) {
  if (iso.size() != 10 || iso[4] != '-' || iso[7] != '-') return false;
  for (std::size_t i : {0, 1, 2, 3, 5, 6, 8, 9})
    if (!is_digit(iso[i])) return false;
  const int year = two_digits(iso) * 100 + two_digits(iso.substr(2));
  const int month = two_digits(iso.substr(5));
  const int day = two_digits(iso.substr(8));
  const bool leap = year % 4 == 0 && (year % 100 != 0 || year % 400 == 0);
  constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (month < 1 || month > 12 || day < 1 || day > kDays[month - 1] + (month == 2 && leap)) return false;
  out.assign(iso.substr(8, 2)).append(".").append(iso.substr(5, 2)).append(".").append(iso.substr(0, 4));
  return true;
}

// Whether an amount text is the form the reader reads back as itself: -?(0|[1-9]d*)(.d+)?
// with at most 28 digits (so within the 96-bit mantissa and the scale), never a negative zero.
bool is_plain_amount(std::string_view s) noexcept {
  std::size_t i = s.starts_with('-') ? 1 : 0;
  const std::size_t first = i;
  while (i < s.size() && is_digit(s[i])) ++i;
  if (i == first || (s[first] == '0' && i - first > 1)) return false;
  std::size_t digits = i - first;
  if (i < s.size()) {
    if (s[i] != '.') return false;
    const std::size_t fraction = ++i;
    while (i < s.size() && is_digit(s[i])) ++i;
    if (i == fraction || i != s.size()) return false;
    digits += i - fraction;
  }
  if (digits > 28) return false;
  return first == 0 || s.find_first_of("123456789") != std::string_view::npos;
}

struct Field {
  Piece prefix;  // "Key="
  // The attribute's descriptor on the document type and its __get__: what attribute
  // access would find and call, looked up once (the type is immutable).
  Ref descriptor;
  descrgetfunc get = nullptr;
  Kind kind = Kind::Text;
  bool required = false;
};

// A str of plain characters in the output encoding; false if it is not that.
bool encode_plain(PyObject* str, const Tables& tables, Piece& out) {
  Output scratch(tables);
  if (!scratch.text(str) || !scratch.all_plain()) return false;
  out = {std::string(scratch.bytes()), static_cast<std::size_t>(PyUnicode_GET_LENGTH(str))};
  return true;
}

struct Fixed {
  Piece document_end, file_end, newline;
};

enum class Outcome { Written, GaveUp, Failed };

// A document's keys beside its fields: (key, value) pairs of str, written "key=value" after
// them. False when one is not such a pair or would not read back as itself.
bool write_extras(Output& out, PyObject* pairs, const Fixed& fixed) {
  if (!PyTuple_Check(pairs)) return false;
  for (Py_ssize_t i = 0; i < PyTuple_GET_SIZE(pairs); ++i) {
    PyObject* pair = PyTuple_GET_ITEM(pairs, i);
    if (!PyTuple_Check(pair) || PyTuple_GET_SIZE(pair) != 2) return false;
    PyObject* key = PyTuple_GET_ITEM(pair, 0);
    PyObject* value = PyTuple_GET_ITEM(pair, 1);
    if (!PyUnicode_CheckExact(key) || !PyUnicode_CheckExact(value)) return false;
    if (!out.value(key)) return false;
    out.plain("=", 1);
    if (!out.value(value)) return false;
    out.plain(fixed.newline);
  }
  return true;
}

Outcome write_all(Output& out, PyObject* head, PyObject* documents, PyObject* document_type_object,
                  const std::vector<Field>& fields, const Fixed& fixed, PyObject* extras) {
  // Room for two kilobytes per document (most take one): one allocation, not a doubling series.
  const auto count = static_cast<std::size_t>(PyTuple_GET_SIZE(documents));
  out.reserve(static_cast<std::size_t>(PyUnicode_GET_LENGTH(head)) + 2048 * count);
  if (!out.text(head)) return Outcome::GaveUp;
  auto* document_type = reinterpret_cast<PyTypeObject*>(document_type_object);
  std::string value;
  for (Py_ssize_t d = 0; d < PyTuple_GET_SIZE(documents); ++d) {
    PyObject* document = PyTuple_GET_ITEM(documents, d);  // borrowed: the tuple holds it
    if (Py_TYPE(document) != document_type) return Outcome::GaveUp;
    for (const Field& field : fields) {
      Ref attribute = Ref::steal(field.get(field.descriptor.get(), document, document_type_object));
      if (!attribute) return Outcome::Failed;
      if (attribute.get() == Py_None) {
        if (field.required) return Outcome::GaveUp;
        continue;
      }
      if (!PyUnicode_CheckExact(attribute.get())) return Outcome::GaveUp;
      out.plain(field.prefix);
      switch (field.kind) {
        case Kind::Text:
          if (!out.value(attribute.get())) return Outcome::GaveUp;
          break;
        case Kind::Date:
          if (!date_text(ascii(attribute.get()), value)) return Outcome::GaveUp;
          out.plain(value, value.size());
          break;
        case Kind::Amount:
          value = ascii(attribute.get());
          if (!is_plain_amount(value)) return Outcome::GaveUp;
          out.plain(value, value.size());
          break;
      }
      out.plain(fixed.newline);
    }
    if (PyTuple_GET_SIZE(extras) != 0 && !write_extras(out, PyTuple_GET_ITEM(extras, d), fixed)) {
      return Outcome::GaveUp;
    }
    out.plain(fixed.document_end);
    out.plain(fixed.newline);
  }
  out.plain(fixed.file_end);
  out.plain(fixed.newline);
  return out.reads_back() ? Outcome::Written : Outcome::GaveUp;
}

}  // namespace

PyObject* write_documents(PyObject*, PyObject* const* args, Py_ssize_t nargs) noexcept {
  if (nargs != 10 || !PyUnicode_Check(args[0]) || !PyTuple_Check(args[1]) || !PyType_Check(args[2]) ||
      !PyTuple_Check(args[3]) || !PyUnicode_Check(args[4]) || !PyUnicode_Check(args[5]) ||
      !PyUnicode_Check(args[6]) || !PyUnicode_Check(args[7]) || !(args[8] == Py_None || PyUnicode_Check(args[8])) ||
      !PyTuple_Check(args[9]) ||
      (PyTuple_GET_SIZE(args[9]) != 0 && PyTuple_GET_SIZE(args[9]) != PyTuple_GET_SIZE(args[1]))) {
    PyErr_SetString(PyExc_TypeError, "write_documents(head, documents, document_type, fields, document_end, "
                                     "file_end, newline, white_space, cp1251_high | None, extras)");
    return nullptr;
  }
  try {
    Tables tables;
    if (args[8] != Py_None) {
      if (PyUnicode_GET_LENGTH(args[8]) != 128) {
        PyErr_SetString(PyExc_ValueError, "cp1251_high must hold the characters of the bytes 0x80..0xFF");
        return nullptr;
      }
      tables.cp1251.assign(0x10000, Tables::kNoByte);
      for (std::uint16_t c = 0; c < 0x80; ++c) tables.cp1251[c] = c;
      for (Py_ssize_t i = 0; i < 128; ++i) {
        const Py_UCS4 c = PyUnicode_READ_CHAR(args[8], i);
        if (c <= 0xFFFF) tables.cp1251[c] = static_cast<std::uint16_t>(0x80 + i);
      }
    }
    tables.white_space.assign(0x3001, false);
    for (Py_ssize_t i = 0; i < PyUnicode_GET_LENGTH(args[7]); ++i) {
      const Py_UCS4 c = PyUnicode_READ_CHAR(args[7], i);
      if (c >= tables.white_space.size()) {
        PyErr_SetString(PyExc_ValueError, "white_space: a character above U+3000");
        return nullptr;
      }
      tables.white_space[c] = true;
    }
    Fixed fixed;
    if (!encode_plain(args[4], tables, fixed.document_end) || !encode_plain(args[5], tables, fixed.file_end) ||
        !encode_plain(args[6], tables, fixed.newline))
      Py_RETURN_NONE;
    std::vector<Field> fields;
    for (Py_ssize_t i = 0; i < PyTuple_GET_SIZE(args[3]); ++i) {
      PyObject* prefix;
      PyObject* name;
      long kind;
      int required;
      if (!PyArg_ParseTuple(PyTuple_GET_ITEM(args[3], i), "UUlp", &prefix, &name, &kind, &required)) return nullptr;
      if (kind < 0 || kind > 2) {
        PyErr_SetString(PyExc_ValueError, "a field's kind is 0 (text), 1 (date) or 2 (amount)");
        return nullptr;
      }
      Field& field = fields.emplace_back();
      field.kind = static_cast<Kind>(kind);
      field.required = required != 0;
      if (!encode_plain(prefix, tables, field.prefix)) Py_RETURN_NONE;
      field.descriptor = Ref::steal(PyObject_GetAttr(args[2], name));
      if (!field.descriptor) return nullptr;
      field.get = reinterpret_cast<descrgetfunc>(PyType_GetSlot(Py_TYPE(field.descriptor.get()), Py_tp_descr_get));
      if (field.get == nullptr || PyType_GetSlot(Py_TYPE(field.descriptor.get()), Py_tp_descr_set) == nullptr ||
          !PyType_HasFeature(reinterpret_cast<PyTypeObject*>(args[2]), Py_TPFLAGS_IMMUTABLETYPE))
        Py_RETURN_NONE;  // not a fixed data descriptor: only attribute access itself would do
    }

    Output out(tables);
    switch (write_all(out, args[0], args[1], args[2], fields, fixed, args[9])) {
      case Outcome::Written:
        return out.take().release();
      case Outcome::GaveUp:
        Py_RETURN_NONE;
      case Outcome::Failed:
        break;
    }
    return nullptr;
  } catch (const std::bad_alloc&) {
    return PyErr_NoMemory();
  }
}

}  // namespace varnok::native
