// The diagnostic classes, driven by one table of class names and field names: every
// class shares the same object layout, constructor, getters, repr and pickle support.
#include "errors/diagnostic_types.hpp"

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>
#include <optional>
#include <string>
#include <type_traits>
#include <utility>

#include "parser/values.hpp"

namespace varnok::py {
namespace {

constexpr std::size_t kMaxTexts = 2;

struct ClassSpec {
  const char* name;       // class name, also the repr prefix
  const char* type_name;  // "varnok_py." + name
  const char* doc;        // the signature block alone, so __doc__ stays empty
  const char* arg_format; // PyArg format: one "O" per parameter, then ":" + name
  std::size_t text_count;
  std::array<const char*, kMaxTexts + 2> keywords;  // lineno, the texts, null
};

// Indexed by DiagnosticKind.
constexpr std::array<ClassSpec, kDiagnosticKindCount> kClasses = {{
    {"UnexpectedSection", "varnok_py.UnexpectedSection",
     "UnexpectedSection(lineno, found, context)\n--\n\n", "OOO:UnexpectedSection", 2,
     {"lineno", "found", "context", nullptr}},
    {"UnexpectedAttribute", "varnok_py.UnexpectedAttribute",
     "UnexpectedAttribute(lineno, key, value)\n--\n\n", "OOO:UnexpectedAttribute", 2,
     {"lineno", "key", "value", nullptr}},
    {"UnrecognizedLine", "varnok_py.UnrecognizedLine", "UnrecognizedLine(lineno, line)\n--\n\n",
     "OO:UnrecognizedLine", 1, {"lineno", "line", nullptr, nullptr}},
    {"MissingField", "varnok_py.MissingField", "MissingField(lineno, field, context)\n--\n\n",
     "OOO:MissingField", 2, {"lineno", "field", "context", nullptr}},
    {"AccountParseError", "varnok_py.AccountParseError", "AccountParseError(lineno, message)\n--\n\n",
     "OO:AccountParseError", 1, {"lineno", "message", nullptr, nullptr}},
    {"DocumentParseError", "varnok_py.DocumentParseError",
     "DocumentParseError(lineno, message)\n--\n\n", "OO:DocumentParseError", 1,
     {"lineno", "message", nullptr, nullptr}},
    {"HookError", "varnok_py.HookError", "HookError(lineno, message)\n--\n\n", "OO:HookError", 1,
     {"lineno", "message", nullptr, nullptr}},
}};

struct DiagnosticObject {
  PyObject_HEAD
  DiagnosticKind kind;
  std::uint64_t lineno;
  // UTF-8; a lone surrogate from a Python argument is kept in its surrogatepass form.
  std::string texts[kMaxTexts];
};
static_assert(std::is_standard_layout_v<DiagnosticObject>);

PyObject* diagnostic_get_lineno(PyObject* self, void*) noexcept;
PyObject* diagnostic_get_text(PyObject* self, void* closure) noexcept;

// Static storage: each class refers to its getter table for the life of the process.
// One lineno getter, one per text (the closure is the text's index), a sentinel.
std::array<std::array<PyGetSetDef, kMaxTexts + 2>, kDiagnosticKindCount> getsets = [] {
  std::array<std::array<PyGetSetDef, kMaxTexts + 2>, kDiagnosticKindCount> all{};
  for (std::size_t k = 0; k < kDiagnosticKindCount; ++k) {
    all[k][0] = {"lineno", diagnostic_get_lineno, nullptr, nullptr, nullptr};
    for (std::size_t i = 0; i < kClasses[k].text_count; ++i) {
      all[k][i + 1] = {kClasses[k].keywords[i + 1], diagnostic_get_text, nullptr, nullptr,
                       reinterpret_cast<void*>(static_cast<std::uintptr_t>(i))};
    }
  }
  return all;
}();

DiagnosticObject* as_diagnostic(PyObject* self) noexcept {
  return reinterpret_cast<DiagnosticObject*>(self);
}

const ClassSpec& spec_of(PyObject* self) noexcept {
  return kClasses[static_cast<std::size_t>(as_diagnostic(self)->kind)];
}

std::optional<DiagnosticKind> kind_of_type(PyTypeObject* type) noexcept {
  for (std::size_t i = 0; i < kDiagnosticKindCount; ++i) {
    const auto kind = static_cast<DiagnosticKind>(i);
    if (reinterpret_cast<PyObject*>(type) == registered(diagnostic_class_id(kind))) return kind;
  }
  return std::nullopt;
}

PyObject* text_to_str(const std::string& text) noexcept {
  return PyUnicode_DecodeUTF8(text.data(), static_cast<Py_ssize_t>(text.size()), "surrogatepass");
}

// Takes over the texts; null with an exception when allocation fails.
PyRef alloc_diagnostic(PyTypeObject* type, DiagnosticKind kind, std::uint64_t lineno,
                       std::string (&texts)[kMaxTexts]) noexcept {
  PyRef self = PyRef::steal(type->tp_alloc(type, 0));
  if (!self) return self;
  DiagnosticObject* object = as_diagnostic(self.get());
  object->kind = kind;
  object->lineno = lineno;
  for (std::size_t i = 0; i < kMaxTexts; ++i) std::construct_at(&object->texts[i], std::move(texts[i]));
  return self;
}

void diagnostic_dealloc(PyObject* self) noexcept {
  PyTypeObject* type = Py_TYPE(self);
  for (std::string& text : as_diagnostic(self)->texts) std::destroy_at(&text);
  type->tp_free(self);
  Py_DECREF(type);
}

std::optional<std::uint64_t> lineno_argument(const ClassSpec& spec, PyObject* value) noexcept {
  if (!PyIndex_Check(value)) {
    PyErr_Format(PyExc_TypeError, "%s() argument 'lineno' must be int, not %T", spec.name, value);
    return std::nullopt;
  }
  PyRef index = PyRef::steal(PyNumber_Index(value));
  if (!index) return std::nullopt;
  static_assert(sizeof(unsigned long long) == sizeof(std::uint64_t));
  // Raises OverflowError for a negative or too large value.
  unsigned long long lineno = PyLong_AsUnsignedLongLong(index.get());
  if (lineno == static_cast<unsigned long long>(-1) && PyErr_Occurred()) return std::nullopt;
  return lineno;
}

std::optional<std::string> text_argument(const ClassSpec& spec, const char* param, PyObject* value) {
  if (!PyUnicode_Check(value)) {
    PyErr_Format(PyExc_TypeError, "%s() argument '%s' must be str, not %T", spec.name, param, value);
    return std::nullopt;
  }
  Py_ssize_t size = 0;
  if (const char* utf8 = PyUnicode_AsUTF8AndSize(value, &size)) {
    return std::string(utf8, static_cast<std::size_t>(size));
  }
  // Only a lone surrogate stops the strict form; keep it rather than refuse the text.
  if (!PyErr_ExceptionMatches(PyExc_UnicodeEncodeError)) return std::nullopt;
  PyErr_Clear();
  PyRef bytes = PyRef::steal(PyUnicode_AsEncodedString(value, "utf-8", "surrogatepass"));
  if (!bytes) return std::nullopt;
  return std::string(PyBytes_AS_STRING(bytes.get()), static_cast<std::size_t>(PyBytes_GET_SIZE(bytes.get())));
}

PyObject* diagnostic_new(PyTypeObject* type, PyObject* args, PyObject* kwargs) noexcept {
  std::optional<DiagnosticKind> kind = kind_of_type(type);
  if (!kind) {
    PyErr_SetString(PyExc_TypeError, "not a diagnostic class");
    return nullptr;
  }
  const ClassSpec& spec = kClasses[static_cast<std::size_t>(*kind)];
  PyObject* borrowed[kMaxTexts + 1] = {};
  if (!PyArg_ParseTupleAndKeywords(args, kwargs, spec.arg_format, spec.keywords.data(), &borrowed[0],
                                   &borrowed[1], &borrowed[2])) {
    return nullptr;
  }
  // Owned from here on: converting lineno may run Python code (__index__).
  PyRef values[kMaxTexts + 1];
  for (std::size_t i = 0; i <= spec.text_count; ++i) values[i] = PyRef::borrow(borrowed[i]);
  std::optional<std::uint64_t> lineno = lineno_argument(spec, values[0].get());
  if (!lineno) return nullptr;
  try {
    std::string texts[kMaxTexts];
    for (std::size_t i = 0; i < spec.text_count; ++i) {
      std::optional<std::string> text = text_argument(spec, spec.keywords[i + 1], values[i + 1].get());
      if (!text) return nullptr;
      texts[i] = std::move(*text);
    }
    return alloc_diagnostic(type, *kind, *lineno, texts).release();
  } catch (const std::bad_alloc&) {
    return PyErr_NoMemory();
  }
}

PyObject* diagnostic_get_lineno(PyObject* self, void*) noexcept {
  return PyLong_FromUnsignedLongLong(as_diagnostic(self)->lineno);
}

PyObject* diagnostic_get_text(PyObject* self, void* closure) noexcept {
  return text_to_str(as_diagnostic(self)->texts[reinterpret_cast<std::uintptr_t>(closure)]);
}

// ClassName(lineno=N, field="quoted", ...)
PyObject* diagnostic_repr(PyObject* self) noexcept {
  const DiagnosticObject* object = as_diagnostic(self);
  const ClassSpec& spec = spec_of(self);
  try {
    std::string text = spec.name;
    text += "(lineno=";
    text += std::to_string(object->lineno);
    for (std::size_t i = 0; i < spec.text_count; ++i) {
      text += ", ";
      text += spec.keywords[i + 1];
      text += '=';
      append_quoted(text, object->texts[i]);
    }
    text += ')';
    return PyUnicode_FromStringAndSize(text.data(), static_cast<Py_ssize_t>(text.size()));
  } catch (const std::bad_alloc&) {
    return PyErr_NoMemory();
  }
}

// The constructor's arguments, so that pickle (protocol 2+) and copy can recreate it.
PyObject* diagnostic_getnewargs(PyObject* self, PyObject*) noexcept {
  const DiagnosticObject* object = as_diagnostic(self);
  const std::size_t count = spec_of(self).text_count;
  PyRef args = PyRef::steal(PyTuple_New(static_cast<Py_ssize_t>(count + 1)));
  if (!args) return nullptr;
  PyObject* lineno = PyLong_FromUnsignedLongLong(object->lineno);
  if (!lineno) return nullptr;
  PyTuple_SET_ITEM(args.get(), 0, lineno);
  for (std::size_t i = 0; i < count; ++i) {
    PyObject* text = text_to_str(object->texts[i]);
    if (!text) return nullptr;
    PyTuple_SET_ITEM(args.get(), static_cast<Py_ssize_t>(i + 1), text);
  }
  return args.release();
}

PyMethodDef diagnostic_methods[] = {
    {"__getnewargs__", diagnostic_getnewargs, METH_NOARGS, nullptr},
    {nullptr, nullptr, 0, nullptr},
};

// The class object leaves __doc__ as the text after the signature (empty); the
// documented form is no docstring at all.
int clear_class_doc(PyTypeObject* type) noexcept {
  PyRef dict = PyRef::steal(PyType_GetDict(type));
  if (!dict || PyDict_SetItemString(dict.get(), "__doc__", Py_None) < 0) return -1;
  PyType_Modified(type);
  return 0;
}

}  // namespace

PyRef new_diagnostic_class(DiagnosticKind kind) noexcept {
  const auto index = static_cast<std::size_t>(kind);
  const ClassSpec& spec = kClasses[index];
  auto& getset = getsets[index];

  PyType_Slot slots[] = {
      {Py_tp_doc, const_cast<char*>(spec.doc)},
      {Py_tp_new, reinterpret_cast<void*>(diagnostic_new)},
      {Py_tp_dealloc, reinterpret_cast<void*>(diagnostic_dealloc)},
      {Py_tp_repr, reinterpret_cast<void*>(diagnostic_repr)},
      {Py_tp_getset, getset.data()},
      {Py_tp_methods, diagnostic_methods},
      {0, nullptr},
  };
  // No BASETYPE: the classes cannot be subclassed; no dict, no weak references.
  PyType_Spec type_spec = {spec.type_name, sizeof(DiagnosticObject), 0,
                           Py_TPFLAGS_DEFAULT | Py_TPFLAGS_IMMUTABLETYPE, slots};
  PyRef type = PyRef::steal(PyType_FromSpec(&type_spec));
  if (!type || clear_class_doc(reinterpret_cast<PyTypeObject*>(type.get())) < 0) return {};
  return type;
}

PyRef new_diagnostic(DiagnosticKind kind, std::uint64_t lineno, std::string first,
                     std::string second) noexcept {
  std::string texts[kMaxTexts] = {std::move(first), std::move(second)};
  return alloc_diagnostic(reinterpret_cast<PyTypeObject*>(registered(diagnostic_class_id(kind))), kind, lineno,
                          texts);
}

}  // namespace varnok::py
