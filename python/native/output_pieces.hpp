// Export output handed to Python without a fresh bytes object: a piece owns its buffer and
// exposes it through the buffer protocol (file.write takes it as it takes bytes); when the
// piece goes, its buffer's room is kept for the next export. A bytes object of a large
// export is fresh memory on every call (the allocator maps and unmaps blocks of that
// size), and faulting it in cost about a third of the export of 1 MB.
#pragma once

#include <Python.h>

#include <string>

namespace varnok::native {

// Adds the type of the pieces to `module` (from its exec slot); -1 with an error set.
int add_output_piece_type(PyObject* module) noexcept;

// A new piece owning `text` (the module's type), or null with an error set.
PyObject* output_piece(PyObject* module, std::string&& text) noexcept;

}  // namespace varnok::native
