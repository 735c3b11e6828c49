// OutputPiece: a read-only buffer object over a std::string, whose room is kept (see
// keep_room) when the piece is freed.
#include "output_pieces.hpp"

#include <new>
#include <utility>

#include "file_read.hpp"

namespace varnok::native {
namespace {

struct OutputPiece {
  PyObject_HEAD
  std::string* text;  // owned
};

void piece_dealloc(PyObject* self) {
  auto* piece = reinterpret_cast<OutputPiece*>(self);
  PyTypeObject* type = Py_TYPE(self);
  if (piece->text != nullptr) keep_room(std::move(*piece->text));
  delete piece->text;
  type->tp_free(self);
  Py_DECREF(type);
}

int piece_getbuffer(PyObject* self, Py_buffer* view, int flags) {
  std::string& text = *reinterpret_cast<OutputPiece*>(self)->text;
  return PyBuffer_FillInfo(view, self, text.data(), static_cast<Py_ssize_t>(text.size()), 1, flags);
}

Py_ssize_t piece_length(PyObject* self) { return static_cast<Py_ssize_t>(reinterpret_cast<OutputPiece*>(self)->text->size()); }

PyType_Slot piece_slots[] = {
    {Py_tp_doc, const_cast<char*>("A piece of an export's output: bytes-like (read-only buffer), immutable.")},
    {Py_tp_dealloc, reinterpret_cast<void*>(piece_dealloc)},
    {Py_bf_getbuffer, reinterpret_cast<void*>(piece_getbuffer)},
    {Py_sq_length, reinterpret_cast<void*>(piece_length)},
    {0, nullptr},
};

PyType_Spec piece_spec = {"varnok._native.OutputPiece", sizeof(OutputPiece), 0,
                          Py_TPFLAGS_DEFAULT | Py_TPFLAGS_DISALLOW_INSTANTIATION | Py_TPFLAGS_IMMUTABLETYPE, piece_slots};

constexpr const char* kTypeName = "OutputPiece";

}  // namespace

int add_output_piece_type(PyObject* module) noexcept {
  PyObject* type = PyType_FromModuleAndSpec(module, &piece_spec, nullptr);
  if (type == nullptr) return -1;
  return PyModule_Add(module, kTypeName, type);
}

PyObject* output_piece(PyObject* module, std::string&& text) noexcept {
  PyObject* type = PyObject_GetAttrString(module, kTypeName);
  if (type == nullptr) return nullptr;
  auto* piece = PyObject_New(OutputPiece, reinterpret_cast<PyTypeObject*>(type));
  Py_DECREF(type);
  if (piece == nullptr) return nullptr;
  piece->text = new (std::nothrow) std::string(std::move(text));
  if (piece->text == nullptr) {
    Py_DECREF(piece);
    return PyErr_NoMemory();
  }
  return reinterpret_cast<PyObject*>(piece);
}

}  // namespace varnok::native
