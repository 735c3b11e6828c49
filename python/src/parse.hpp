// The module's one function, parse(statement, hooks=None).
#pragma once

#include <Python.h>

#include "pyref.hpp"

namespace varnok::py {

// A new built-in function object for parse, bound to `module` (its __self__) with the
// module's __name__ as __module__. Null with an exception on failure.
[[nodiscard]] PyRef new_parse_function(PyObject* module) noexcept;

}  // namespace varnok::py
