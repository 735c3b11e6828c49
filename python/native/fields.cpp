// field_names(): lets the Python package check its field list against the core's.
#include "fields.hpp"

#include "core_api.hpp"
#include "native_ref.hpp"

namespace varnok::native {
namespace {

const char* kind_name(FieldType type) noexcept {
  switch (type) {
    case FieldType::RequiredDate:
    case FieldType::OptionalDate:
      return "date";
    case FieldType::Amount:
      return "amount";
    case FieldType::Text:
    case FieldType::OptionalText:
      break;
  }
  return "text";
}

bool is_required(FieldType type) noexcept {
  return type != FieldType::OptionalText && type != FieldType::OptionalDate;
}

}  // namespace

PyObject* field_names(PyObject*, PyObject*) noexcept {
  Ref result = Ref::steal(PyTuple_New(kDocumentFieldCount));
  if (!result) return nullptr;
  for (std::size_t i = 0; i < kDocumentFieldCount; ++i) {
    const FieldInfo& f = kDocumentFields[i];
    PyObject* row = Py_BuildValue("(s#s#sO)", f.key.data(), static_cast<Py_ssize_t>(f.key.size()),
                                  f.name.data(), static_cast<Py_ssize_t>(f.name.size()),
                                  kind_name(f.type), is_required(f.type) ? Py_True : Py_False);
    if (row == nullptr) return nullptr;
    PyTuple_SET_ITEM(result.get(), static_cast<Py_ssize_t>(i), row);
  }
  return result.release();
}

}  // namespace varnok::native
