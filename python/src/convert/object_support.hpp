// Small helpers shared by the result classes: str creation, repr pieces, instance
// allocation and the creation of a read-only class with a bare type name.
#pragma once

#include <Python.h>

#include <charconv>
#include <cstdint>
#include <new>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>

#include "parser/values.hpp"
#include "pyref.hpp"
#include "utf8_str.hpp"

namespace varnok::py::detail {

[[nodiscard]] inline PyRef new_str(std::string_view text) noexcept { return PyRef::steal(new_str_from_utf8(text)); }

// A new str, or None for an absent text; a new reference, null with an exception.
[[nodiscard]] inline PyObject* str_or_none(std::optional<std::string_view> text) noexcept {
  if (!text) Py_RETURN_NONE;
  return new_str(*text).release();
}

// None, or Some("…") around the quoted form.
inline void append_optional_quoted(std::string& out, std::optional<std::string_view> text) {
  if (!text) {
    out += "None";
    return;
  }
  out += "Some(";
  append_quoted(out, *text);
  out += ')';
}

inline void append_decimal(std::string& out, std::uint64_t n) {
  char digits[20];
  auto end = std::to_chars(digits, digits + sizeof digits, n).ptr;
  out.append(digits, end);
}

// Runs a callback body that builds C++ strings; std::bad_alloc becomes MemoryError.
template <class F>
[[nodiscard]] PyObject* catching_bad_alloc(F&& body) noexcept {
  try {
    return std::forward<F>(body)();
  } catch (const std::bad_alloc&) {
    return PyErr_NoMemory();
  }
}

// A result object: the object header followed by one C++ payload, constructed in place
// after allocation and destroyed in the dealloc slot.
template <class Payload>
struct ResultObject {
  PyObject_HEAD
  Payload payload;
};

template <class Payload>
[[nodiscard]] Payload& payload_of(PyObject* self) noexcept {
  return reinterpret_cast<ResultObject<Payload>*>(self)->payload;
}

// Allocates an instance of `type` through its class's alloc slot (zeroed; tracked by the
// collector if the class is) and moves `payload` into it.
template <class Payload>
[[nodiscard]] PyRef new_result_object(PyObject* type, Payload&& payload) noexcept {
  auto* cls = reinterpret_cast<PyTypeObject*>(type);
  PyObject* self = cls->tp_alloc(cls, 0);
  if (self == nullptr) return {};
  new (&payload_of<std::remove_cvref_t<Payload>>(self)) std::remove_cvref_t<Payload>(std::forward<Payload>(payload));
  return PyRef::steal(self);
}

// The dealloc slot of a class without collector support.
template <class Payload>
void result_object_dealloc(PyObject* self) noexcept {
  PyTypeObject* type = Py_TYPE(self);
  payload_of<Payload>(self).~Payload();
  type->tp_free(self);
  Py_DECREF(type);  // instances of heap classes own a reference to their class
}

// Creates a class from `spec`, whose name must be "builtins." + `bare_name`. The class
// gets the bare type name: without a dotted name the interpreter warns at creation
// (an error under -W error), so the class is made under the builtins prefix, which
// gives __module__ "builtins", and its type name is then shortened before anyone
// sees the class.
[[nodiscard]] inline PyRef new_result_class(PyType_Spec& spec, const char* bare_name) noexcept {
  PyRef type = PyRef::steal(PyType_FromSpec(&spec));
  if (type) reinterpret_cast<PyTypeObject*>(type.get())->tp_name = bare_name;
  return type;
}

// Value equality within one class; NotImplemented for ordering and foreign objects.
template <class Payload>
[[nodiscard]] PyObject* result_object_richcompare(PyObject* self, PyObject* other, int op) noexcept {
  if ((op != Py_EQ && op != Py_NE) || !Py_IS_TYPE(other, Py_TYPE(self))) Py_RETURN_NOTIMPLEMENTED;
  bool equal = payload_of<Payload>(self) == payload_of<Payload>(other);
  return PyBool_FromLong(equal == (op == Py_EQ));
}

inline constexpr unsigned kResultClassFlags =
    Py_TPFLAGS_DEFAULT | Py_TPFLAGS_IMMUTABLETYPE | Py_TPFLAGS_DISALLOW_INSTANTIATION;

}  // namespace varnok::py::detail
