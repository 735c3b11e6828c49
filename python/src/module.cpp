// The varnok_py module: multi-phase initialisation, no per-module state; the execution
// step creates the registry's objects (once per process) and adds the 18 public names in
// order.
#include <Python.h>

#include <cstddef>

#include "parse.hpp"
#include "pyref.hpp"
#include "registry.hpp"

namespace varnok::py {
namespace {

PyRef name_of_function(PyObject* function) noexcept {
  PyRef name = PyRef::steal(PyObject_GetAttrString(function, "__name__"));
  if (name && !PyUnicode_Check(name.get())) {
    PyErr_SetString(PyExc_TypeError, "__name__ must be a str");
    return {};
  }
  return name;
}

// Appends `name` to the module's __all__, creating the list if it is missing.
int append_to_all(PyObject* module, PyObject* name) noexcept {
  PyObject* raw = nullptr;
  int found = PyObject_GetOptionalAttrString(module, "__all__", &raw);
  PyRef all = PyRef::steal(raw);
  if (found < 0) return -1;
  if (found == 0) {
    all = PyRef::steal(PyList_New(0));
    if (!all || PyObject_SetAttrString(module, "__all__", all.get()) < 0) return -1;
  } else if (!PyList_Check(all.get())) {
    PyErr_SetString(PyExc_TypeError, "__all__ must be a list");
    return -1;
  }
  return PyList_Append(all.get(), name);
}

// Adds one public name, in order, to the module and its __all__.
int add_public(PyObject* module, PyObject* name, PyObject* object) noexcept {
  if (append_to_all(module, name) < 0) return -1;
  return PyObject_SetAttr(module, name, object);
}

int add_parse(PyObject* module) noexcept {
  PyRef function = new_parse_function(module);
  if (!function) return -1;
  PyRef name = name_of_function(function.get());
  if (!name) return -1;
  return add_public(module, name.get(), function.get());
}

int module_exec(PyObject* module) noexcept {
  if (!PyModule_Check(module)) {
    PyErr_BadArgument();
    return -1;
  }
  if (init_registry() < 0) return -1;
  for (std::size_t i = 0; i < kPublicClassCount; ++i) {
    const auto id = static_cast<Registered>(i);
    // parse stands between the diagnostics and the exceptions.
    if (id == Registered::ParseError && add_parse(module) < 0) return -1;
    PyRef name = PyRef::steal(PyUnicode_FromString(public_name(id)));
    if (!name || add_public(module, name.get(), registered(id)) < 0) return -1;
  }
  return 0;
}

PyModuleDef_Slot module_slots[] = {
    {Py_mod_exec, reinterpret_cast<void*>(module_exec)},
    {Py_mod_gil, Py_MOD_GIL_NOT_USED},
    // The classes are process-wide objects, which another interpreter must not share.
    {Py_mod_multiple_interpreters, Py_MOD_MULTIPLE_INTERPRETERS_NOT_SUPPORTED},
    {0, nullptr},
};

PyModuleDef module_def = {
    PyModuleDef_HEAD_INIT, "varnok_py", "", 0, nullptr, module_slots, nullptr, nullptr, nullptr,
};

}  // namespace
}  // namespace varnok::py

PyMODINIT_FUNC PyInit_varnok_py(void) { return PyModuleDef_Init(&varnok::py::module_def); }
