// shown_utf8: the escaping of control characters in the command line's text reports.
#pragma once

#include <Python.h>

namespace varnok::native {

// shown_utf8(data) -> data itself when its UTF-8 holds no control character but LF and TAB,
// else bytes with each shown as \xNN (a C1 character, two bytes, by its code) or, for the
// marks and overrides of bidirectional text, \uNNNN. What a regex
// over the report would do, at the speed of a byte loop: reports run to tens of megabytes.
PyObject* shown_utf8(PyObject* module, PyObject* data) noexcept;

}  // namespace varnok::native
