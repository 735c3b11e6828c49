// Placeholder module entry; replaced by the real module.
#include <Python.h>

namespace {
PyModuleDef_Slot module_slots[] = {
    {Py_mod_gil, Py_MOD_GIL_NOT_USED},
    {0, nullptr},
};
PyModuleDef module_def = {PyModuleDef_HEAD_INIT, "varnok_py", "", 0, nullptr, module_slots,
                          nullptr, nullptr, nullptr};
}  // namespace

PyMODINIT_FUNC PyInit_varnok_py(void) { return PyModuleDef_Init(&module_def); }
