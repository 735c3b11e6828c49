// The function table of varnok._native (methods.cpp): one line per function.
#pragma once

#include <Python.h>

namespace varnok::native {

// Null-terminated; the module definition points at it.
extern PyMethodDef kMethods[];

}  // namespace varnok::native
