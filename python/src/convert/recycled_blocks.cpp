// Recycled instance memory: a stack of released blocks, guarded by the interpreter lock.
#include "convert/recycled_blocks.hpp"

#ifndef Py_GIL_DISABLED

#include <array>
#include <cstddef>
#include <cstring>

namespace varnok::py::detail {

namespace {

// Enough for a statement of about 50 MB; kept until the process ends, 8 MB at most for
// the document class (the classes, too, live as long as the process).
constexpr std::size_t kMaxKept = 65536;

std::array<void*, kMaxKept> kept;
std::size_t kept_count = 0;

}  // namespace

PyObject* recycled_alloc(PyTypeObject* type, Py_ssize_t) noexcept {
  const auto size = static_cast<std::size_t>(type->tp_basicsize);
  void* memory = kept_count > 0 ? kept[--kept_count] : PyObject_Malloc(size);
  if (memory == nullptr) return PyErr_NoMemory();
  std::memset(memory, 0, size);
  return PyObject_Init(static_cast<PyObject*>(memory), type);
}

void recycled_free(void* self) noexcept {
  if (kept_count < kMaxKept) {
    kept[kept_count++] = self;
  } else {
    PyObject_Free(self);
  }
}

}  // namespace varnok::py::detail

#endif
