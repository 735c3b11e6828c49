// field_names(): lets the Python package check its field list against the core's.
#include "fields.hpp"

#include "core_api.hpp"
#include "native_ref.hpp"

namespace varnok::native {

PyObject* field_names(PyObject*, PyObject*) noexcept {
  static constexpr const char* kKindNames[] = {"text", "date", "amount"};
  Ref result = Ref::steal(PyTuple_New(kFieldCount));
  if (!result) return nullptr;
  for (std::size_t i = 0; i < kFieldCount; ++i) {
    const std::string_view key = field_key(i), name = field_name(i);
    PyObject* row = Py_BuildValue("(s#s#sO)", key.data(), static_cast<Py_ssize_t>(key.size()), name.data(),
                                  static_cast<Py_ssize_t>(name.size()), kKindNames[static_cast<int>(field_kind(i))],
                                  field_required(i) ? Py_True : Py_False);
    if (row == nullptr) return nullptr;
    PyTuple_SET_ITEM(result.get(), static_cast<Py_ssize_t>(i), row);
  }
  return result.release();
}

}  // namespace varnok::native
