// The module's exception classes: ParseError and its four subclasses.
#pragma once

#include <Python.h>

#include "pyref.hpp"
#include "registry.hpp"

namespace varnok::py {

// A new exception class "varnok_py.<public name of id>" deriving from `base` (borrowed), or
// from Exception when `base` is null (ParseError). Null with ImportError("Failed to
// initialize new exception type."), whose cause is the original failure.
[[nodiscard]] PyRef new_exception_class(Registered id, PyObject* base) noexcept;

}  // namespace varnok::py
