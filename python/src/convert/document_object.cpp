// The Document class: a core document record; each attribute's str is made only when it
// is read (or found in the statement's TextCache), its dates and amount formatted then.
#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>

#include "convert/convert.hpp"
#include "convert/object_support.hpp"
#include "convert/recycled_blocks.hpp"
#include "convert/result_objects.hpp"

namespace varnok::py::detail {

namespace {

// The closure of each getter is its field's index in the field table.
PyObject* document_get(PyObject* self, void* closure) noexcept {
  const auto field = static_cast<DocumentField>(reinterpret_cast<std::uintptr_t>(closure));
  const DocumentPayload& payload = payload_of<DocumentPayload>(self);
  ShortText scratch;
  const std::optional<std::string_view> text =
      field_info(field).kind == FieldKind::Text ? payload.text(field) : payload.field(field, scratch);
  if (!text) Py_RETURN_NONE;
  return cached_str(payload.cache(), field, *text);
}

// The attribute names as the interpreter interns them, found by identity: operator.attrgetter
// and compiled attribute access pass interned names, so a read goes straight to its getter
// instead of through the class's attribute lookup and the descriptor. The class is
// immutable and cannot be subclassed, so its getters are what that lookup would find; any
// other name object takes the ordinary way.
class NameIndex {
 public:
  // False with an exception set. Called once, while the class is made.
  bool fill() noexcept {
    for (std::size_t i = 0; i < kDocumentFieldCount; ++i) {
      const DocumentField field = kAttributeOrder[i];
      PyObject* name = PyUnicode_InternFromString(field_info(field).name.data());  // kept for good
      if (name == nullptr) return false;
      std::size_t at = slot_of(name);
      while (names_[at] != nullptr && names_[at] != name) at = (at + 1) % kSlots;
      names_[at] = name;
      fields_[at] = static_cast<std::uint8_t>(field);
    }
    return true;
  }

  // The field named by `name`, or -1.
  [[nodiscard]] int field_of(PyObject* name) const noexcept {
    for (std::size_t at = slot_of(name);; at = (at + 1) % kSlots) {
      if (names_[at] == name) return fields_[at];
      if (names_[at] == nullptr) return -1;
    }
  }

 private:
  static constexpr std::size_t kSlots = 128;  // a power of two, well above the 53 names
  static_assert(kDocumentFieldCount < kSlots / 2);
  static std::size_t slot_of(PyObject* name) noexcept {
    return static_cast<std::size_t>((reinterpret_cast<std::uintptr_t>(name) >> 4) * 0x9E3779B97F4A7C15ULL >> 57);
  }
  std::array<PyObject*, kSlots> names_{};
  std::array<std::uint8_t, kSlots> fields_{};
};
static_assert(kDocumentFieldCount <= 255);

NameIndex document_names;

PyObject* document_getattro(PyObject* self, PyObject* name) noexcept {
  if (const int field = document_names.field_of(name); field >= 0) {
    return document_get(self, reinterpret_cast<void*>(static_cast<std::uintptr_t>(field)));
  }
  return PyObject_GenericGetAttr(self, name);
}

// Document(NAME="…", …): the number, kind, date and amount under their attribute names.
PyObject* document_repr(PyObject* self) noexcept {
  constexpr DocumentField kShown[] = {DocumentField::DocNumber, DocumentField::DocType, DocumentField::DocDate,
                                      DocumentField::Amount};
  const DocumentPayload& d = payload_of<DocumentPayload>(self);
  return catching_bad_alloc([&] {
    std::string out = "Document(";
    for (const DocumentField f : kShown) {
      if (f != kShown[0]) out += ", ";
      out.append(field_info(f).name).append("=");
      ShortText scratch;
      append_quoted(out, d.field(f, scratch).value_or(""));
    }
    out += ')';
    return new_str(out).release();
  });
}

// One getter per field, in the attribute order. The names are the table's literals, so
// they end in NUL.
static_assert(std::ranges::all_of(kDocumentFields,
                                  [](const FieldInfo& f) { return f.name.data()[f.name.size()] == '\0'; }));

// Static storage: the class refers to this table for the life of the process.
std::array<PyGetSetDef, kDocumentFieldCount + 1> document_getset = [] {
  std::array<PyGetSetDef, kDocumentFieldCount + 1> defs{};
  for (std::size_t i = 0; i < kDocumentFieldCount; ++i) {
    const DocumentField field = kAttributeOrder[i];
    defs[i] = {field_info(field).name.data(), document_get, nullptr, nullptr,
               reinterpret_cast<void*>(static_cast<std::uintptr_t>(field))};
  }
  return defs;
}();

PyType_Slot document_slots[] = {
    {Py_tp_dealloc, reinterpret_cast<void*>(result_object_dealloc<DocumentPayload>)},
    {Py_tp_repr, reinterpret_cast<void*>(document_repr)},
    {Py_tp_richcompare, reinterpret_cast<void*>(result_object_richcompare<DocumentPayload>)},
    {Py_tp_hash, reinterpret_cast<void*>(PyObject_HashNotImplemented)},
    {Py_tp_getset, document_getset.data()},
    {Py_tp_getattro, reinterpret_cast<void*>(document_getattro)},
#ifndef Py_GIL_DISABLED
    {Py_tp_alloc, reinterpret_cast<void*>(recycled_alloc)},
    {Py_tp_free, reinterpret_cast<void*>(recycled_free)},
#endif
    {0, nullptr},
};

PyType_Spec document_spec = {
    "builtins.Document", sizeof(ResultObject<DocumentPayload>), 0, kResultClassFlags, document_slots,
};

}  // namespace

std::optional<std::string_view> DocumentPayload::field(DocumentField f, ShortText& scratch) const noexcept {
  switch (field_info(f).kind) {
    case FieldKind::Text: return document_.text(f);
    case FieldKind::Date: {
      const std::optional<Date> date = document_.date(f);
      if (!date) return std::nullopt;
      scratch = format_date(*date);
      return scratch.view();
    }
    case FieldKind::Amount:
      scratch = format_amount(document_.amount());
      return scratch.view();
  }
  return std::nullopt;
}

bool operator==(const DocumentPayload& a, const DocumentPayload& b) noexcept {
  ShortText a_scratch;
  ShortText b_scratch;
  for (std::size_t i = 0; i < kDocumentFieldCount; ++i) {
    auto f = static_cast<DocumentField>(i);
    if (a.field(f, a_scratch) != b.field(f, b_scratch)) return false;
  }
  return true;
}

PyRef new_document_class() noexcept {
  if (!document_names.fill()) return {};
  return new_result_class(document_spec, "Document");
}

PyRef new_document(Document&& document, std::shared_ptr<TextCache> cache) noexcept {
  return new_result_object(registered(Registered::Document), DocumentPayload(std::move(document), std::move(cache)));
}

}  // namespace varnok::py::detail
