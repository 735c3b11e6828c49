// Allocation slots that keep the memory of released instances for the next ones: the
// document class's, on the GIL build.
#pragma once

#include <Python.h>

namespace varnok::py::detail {

#ifndef Py_GIL_DISABLED
// A statement makes one object per document. Released together, they empty whole arenas
// of the interpreter's small-object allocator, which then hands them back to the system,
// so every large read faulted its objects' pages in afresh, with the interpreter lock
// held (1,600 to 1,800 pages for 50 MB, a fifth of the parse on the development machine).
// These slots allocate as the interpreter's own do, but keep the blocks of released
// instances, up to a bound, for the next ones: the arenas holding them stay. The
// interpreter lock, held by both, guards the kept blocks. Every instance of a class using
// them must have the same size. The free-threaded build's allocator keeps its pages.
PyObject* recycled_alloc(PyTypeObject* type, Py_ssize_t items) noexcept;
void recycled_free(void* self) noexcept;
#endif

}  // namespace varnok::py::detail
