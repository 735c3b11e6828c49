// The core's document field table as Python data.
#pragma once

#include <Python.h>

namespace varnok::native {

// field_names() -> tuple of (key, name, kind, required), in the core's order.
PyObject* field_names(PyObject* module, PyObject* unused) noexcept;

}  // namespace varnok::native
