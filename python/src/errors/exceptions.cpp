// The module's exception classes, made for the registry.
#include "errors/exceptions.hpp"

namespace varnok::py {
namespace {

// Replaces the pending error by ImportError with the fixed text; the original stays
// reachable as its cause.
PyRef fail_exception_creation() noexcept {
  PyRef cause = PyRef::steal(PyErr_GetRaisedException());
  PyErr_SetString(PyExc_ImportError, "Failed to initialize new exception type.");
  if (cause) {
    PyRef error = PyRef::steal(PyErr_GetRaisedException());
    PyException_SetCause(error.get(), cause.release());
    PyErr_SetRaisedException(error.release());
  }
  return {};
}

}  // namespace

PyRef new_exception_class(Registered id, PyObject* base) noexcept {
  char name[64];
  PyOS_snprintf(name, sizeof name, "varnok_py.%s", public_name(id));
  PyRef type = PyRef::steal(PyErr_NewException(name, base != nullptr ? base : PyExc_Exception, nullptr));
  if (!type) return fail_exception_creation();
  return type;
}

}  // namespace varnok::py
