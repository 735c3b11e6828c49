// varnok._native: the varnok package's fast paths over the core's C++ API (never over
// varnok_py's internals). Multi-phase initialisation, no module state (its one type is an
// attribute), no GIL needed.
#include <Python.h>

#include "methods.hpp"
#include "output_pieces.hpp"

namespace {

PyModuleDef_Slot native_slots[] = {
    {Py_mod_exec, reinterpret_cast<void*>(varnok::native::add_output_piece_type)},
    {Py_mod_multiple_interpreters, Py_MOD_PER_INTERPRETER_GIL_SUPPORTED},
    {Py_mod_gil, Py_MOD_GIL_NOT_USED},
    {0, nullptr},
};

PyModuleDef native_module = {
    PyModuleDef_HEAD_INIT,
    "varnok._native",
    "Fast paths of the varnok package over the statement reader's C++ core.",
    0,
    varnok::native::kMethods,
    native_slots,
    nullptr,
    nullptr,
    nullptr,
};

}  // namespace

PyMODINIT_FUNC PyInit__native() { return PyModuleDef_Init(&native_module); }
