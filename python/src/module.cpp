// The varnok_py module: multi-phase initialisation, no per-module state; the execution
// step creates the process-wide classes (once) and adds the 18 public names in order.
#include <Python.h>

#include <array>

#include "convert/convert.hpp"
#include "errors/diagnostic_types.hpp"
#include "errors/exceptions.hpp"
#include "errors/section_type.hpp"
#include "hook_bridge.hpp"
#include "parse.hpp"
#include "pyref.hpp"

namespace varnok::py {
namespace {

// A public name; `make` gives a new reference to its object. For parse the name is
// taken from the function object itself.
struct ModuleEntry {
  const char* name;
  PyRef (*make)(PyObject* module);
};

template <PyObject* (*Type)() noexcept>
PyRef borrowed_class(PyObject*) {
  return PyRef::borrow(Type());
}

template <DiagnosticKind Kind>
PyRef diagnostic_class(PyObject*) {
  return PyRef::borrow(diagnostic_type(Kind));
}

PyRef section_type_class(PyObject*) { return PyRef::borrow(section_type_type()); }

PyRef parse_function(PyObject* module) { return new_parse_function(module); }

constexpr std::array<ModuleEntry, 18> kEntries = {{
    {"Interval", borrowed_class<interval_type>},
    {"Account", borrowed_class<account_type>},
    {"Document", borrowed_class<document_type>},
    {"Statement", borrowed_class<statement_type>},
    {"SectionType", section_type_class},
    {"UnexpectedSection", diagnostic_class<DiagnosticKind::UnexpectedSection>},
    {"UnexpectedAttribute", diagnostic_class<DiagnosticKind::UnexpectedAttribute>},
    {"UnrecognizedLine", diagnostic_class<DiagnosticKind::UnrecognizedLine>},
    {"MissingField", diagnostic_class<DiagnosticKind::MissingField>},
    {"AccountParseError", diagnostic_class<DiagnosticKind::AccountParseError>},
    {"DocumentParseError", diagnostic_class<DiagnosticKind::DocumentParseError>},
    {"HookError", diagnostic_class<DiagnosticKind::HookError>},
    {nullptr, parse_function},
    {"ParseError", borrowed_class<parse_error_type>},
    {"NotStatementError", borrowed_class<not_statement_error_type>},
    {"EmptyInputError", borrowed_class<empty_input_error_type>},
    {"UnfinishedError", borrowed_class<unfinished_error_type>},
    {"SyntaxError", borrowed_class<syntax_error_type>},
}};

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

int init_process_wide_types() noexcept {
  if (init_exception_types() < 0 || init_diagnostic_types() < 0 || init_section_type() < 0 ||
      init_result_types() < 0 || init_hook_bridge_types() < 0) {
    return -1;
  }
  return 0;
}

int module_exec(PyObject* module) noexcept {
  if (!PyModule_Check(module)) {
    PyErr_BadArgument();
    return -1;
  }
  if (init_process_wide_types() < 0) return -1;
  for (const ModuleEntry& entry : kEntries) {
    PyRef object = entry.make(module);
    if (!object) return -1;
    PyRef name = entry.name ? PyRef::steal(PyUnicode_FromString(entry.name)) : name_of_function(object.get());
    if (!name) return -1;
    if (append_to_all(module, name.get()) < 0) return -1;
    if (PyObject_SetAttr(module, name.get(), object.get()) < 0) return -1;
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
