// SectionType: an immutable enumeration class whose only instances are its two members.
#include "errors/section_type.hpp"

#include <string_view>

#include "pyref.hpp"

namespace varnok::py {
namespace {

struct SectionTypeObject {
  PyObject_HEAD
  SectionType value;
};

SectionType value_of(PyObject* self) noexcept { return reinterpret_cast<SectionTypeObject*>(self)->value; }

std::string_view member_name(SectionType value) noexcept {
  return value == SectionType::Document ? "SectionType.Document" : "SectionType.Account";
}

PyObject* section_type_repr(PyObject* self) noexcept {
  std::string_view name = member_name(value_of(self));
  return PyUnicode_FromStringAndSize(name.data(), static_cast<Py_ssize_t>(name.size()));
}

PyObject* section_type_int(PyObject* self) noexcept {
  return PyLong_FromLong(static_cast<long>(value_of(self)));
}

// Equal by value among members; anything else, ordering included, is NotImplemented.
PyObject* section_type_richcompare(PyObject* self, PyObject* other, int op) noexcept {
  if (!Py_IS_TYPE(other, Py_TYPE(self)) || (op != Py_EQ && op != Py_NE)) Py_RETURN_NOTIMPLEMENTED;
  bool equal = value_of(self) == value_of(other);
  return PyBool_FromLong((op == Py_EQ) == equal);
}

// Members are never freed (the class holds them for the process), but the slot keeps
// the heap-type reference count right should one ever be.
void section_type_dealloc(PyObject* self) noexcept {
  PyTypeObject* type = Py_TYPE(self);
  type->tp_free(self);
  Py_DECREF(type);
}

PyType_Slot section_type_slots[] = {
    {Py_tp_doc, const_cast<char*>("Тип секции выписки для использования в hooks.")},
    {Py_tp_repr, reinterpret_cast<void*>(section_type_repr)},
    {Py_tp_richcompare, reinterpret_cast<void*>(section_type_richcompare)},
    {Py_nb_int, reinterpret_cast<void*>(section_type_int)},
    {Py_tp_dealloc, reinterpret_cast<void*>(section_type_dealloc)},
    {0, nullptr},
};

// No BASETYPE: not subclassable; no tp_new: calling the class raises TypeError. The
// comparison without a hash leaves the members unhashable.
PyType_Spec section_type_spec = {
    "varnok_py.SectionType",
    sizeof(SectionTypeObject),
    0,
    Py_TPFLAGS_DEFAULT | Py_TPFLAGS_IMMUTABLETYPE | Py_TPFLAGS_DISALLOW_INSTANTIATION,
    section_type_slots,
};

PyRef new_member(PyTypeObject* type, SectionType value) noexcept {
  PyRef member = PyRef::steal(type->tp_alloc(type, 0));
  if (member) reinterpret_cast<SectionTypeObject*>(member.get())->value = value;
  return member;
}

}  // namespace

int new_section_type_class(PyRef& type, PyRef& document, PyRef& account) noexcept {
  type = PyRef::steal(PyType_FromSpec(&section_type_spec));
  if (!type) return -1;
  auto* type_object = reinterpret_cast<PyTypeObject*>(type.get());
  document = new_member(type_object, SectionType::Document);
  if (!document) return -1;
  account = new_member(type_object, SectionType::Account);
  if (!account) return -1;

  // The class is immutable once created, so the members go straight into its
  // namespace while nobody else can see it yet.
  PyRef dict = PyRef::steal(PyType_GetDict(type_object));
  if (!dict) return -1;
  if (PyDict_SetItemString(dict.get(), "Document", document.get()) < 0) return -1;
  if (PyDict_SetItemString(dict.get(), "Account", account.get()) < 0) return -1;
  PyType_Modified(type_object);
  return 0;
}

}  // namespace varnok::py
