// parse: argument binding, conversion of hooks and statement, the read with the
// interpreter lock released when no Python code can run, then result or exception.
#include "parse.hpp"

#include <algorithm>
#include <cstddef>
#include <expected>
#include <new>
#include <optional>
#include <string_view>
#include <vector>

#include <varnok/varnok.hpp>

#include "convert/convert.hpp"
#include "errors/raise_statement_error.hpp"
#include "hook_bridge.hpp"

namespace varnok::py {
namespace {

constexpr char kParseDoc[] =
    "parse(statement, hooks=None)\n"
    "--\n"
    "\n"
    "Парсит выписку 1CClientBankExchange из байтов или строки.\n"
    "\n"
    "# Аргументы\n"
    "\n"
    "* `statement` - Сырые байты или строка файла выписки (поддерживает кодировки CP1251 и UTF-8)\n"
    "* `hooks` - Опциональный список callable для модификации секций во время парсинга.\n"
    "  Сигнатура hook: `(section_type: SectionType, attrs: dict, header: dict) -> None`\n"
    "  - `section_type`: тип секции (`SectionType.Document` или `SectionType.Account`)\n"
    "  - attrs: словарь атрибутов секции (можно модифицировать)\n"
    "  - header: словарь заголовка выписки (только для чтения)\n"
    "\n"
    "# Возвращает\n"
    "\n"
    "Объект Statement с атрибутами:\n"
    "- encoding: \"cp1251\" или \"utf-8\"\n"
    "- header: словарь пар ключ-значение заголовка\n"
    "- accounts: словарь номер счёта -> объект Account\n"
    "- documents: список объектов Document\n"
    "- warnings: список кортежей (lineno, message)\n"
    "\n"
    "# Ошибки\n"
    "\n"
    "* `NotStatementError` - Если входные данные не являются выпиской 1C\n"
    "* `EmptyInputError` - Если входные данные пусты\n"
    "* `UnfinishedError` - Если выписка не завершена корректно\n"
    "* `SyntaxError` - Если в выписке синтаксическая ошибка (включая ошибки hooks)\n"
    "* `ParseError` - Для прочих ошибок парсинга";

// A __len__ may report anything; the reservation is only a hint, so it is capped.
constexpr Py_ssize_t kMaxHookReservation = 1024;

// Arguments as bound; borrowed from the call, which keeps them alive throughout.
struct Arguments {
  PyObject* statement = nullptr;
  PyObject* hooks = nullptr;
};

std::optional<Arguments> bind_arguments(PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) noexcept {
  if (nargs > 2) {
    PyErr_Format(PyExc_TypeError, "parse() takes from 1 to 2 positional arguments but %zd were given", nargs);
    return std::nullopt;
  }
  Arguments bound;
  if (nargs >= 1) bound.statement = args[0];
  if (nargs >= 2) bound.hooks = args[1];
  const Py_ssize_t nkw = kwnames ? PyTuple_GET_SIZE(kwnames) : 0;
  for (Py_ssize_t i = 0; i < nkw; ++i) {
    PyObject* name = PyTuple_GET_ITEM(kwnames, i);  // borrowed from kwnames
    // Compared as text, so an equal but not interned name binds too.
    PyObject** slot = PyUnicode_EqualToUTF8(name, "statement") ? &bound.statement
                      : PyUnicode_EqualToUTF8(name, "hooks")   ? &bound.hooks
                                                               : nullptr;
    if (!slot) {
      PyErr_Format(PyExc_TypeError, "parse() got an unexpected keyword argument '%U'", name);
      return std::nullopt;
    }
    if (*slot) {
      PyErr_Format(PyExc_TypeError, "parse() got multiple values for argument '%U'", name);
      return std::nullopt;
    }
    *slot = args[nargs + i];
  }
  if (!bound.statement) {
    PyErr_SetString(PyExc_TypeError, "parse() missing 1 required positional argument: 'statement'");
    return std::nullopt;
  }
  return bound;
}

// The message names the expected type as the sequence ABC does; spelling it out
// instead of importing collections.abc keeps this error path free of imports, which
// could run arbitrary code (import hooks) in the middle of a parse call.
void raise_not_a_sequence(PyObject* hooks) noexcept {
  PyRef type_name = PyRef::steal(PyType_GetQualName(Py_TYPE(hooks)));
  if (!type_name) {
    PyErr_Clear();
    type_name = PyRef::steal(PyUnicode_FromString("<failed to extract type name>"));
    if (!type_name) return;
  }
  PyErr_Format(PyExc_TypeError, "'%U' object is not an instance of 'Sequence'", type_name.get());
}

// Adds the note to the pending exception; a failure to add it is dropped.
void note_hooks_failure() noexcept {
  PyRef exception = PyRef::steal(PyErr_GetRaisedException());
  PyRef note = PyRef::steal(PyUnicode_FromString("while processing 'hooks'"));
  PyRef add_note = PyRef::steal(PyUnicode_FromString("add_note"));
  if (exception && note && add_note) {
    PyRef result = PyRef::steal(PyObject_CallMethodOneArg(exception.get(), add_note.get(), note.get()));
  }
  PyErr_Clear();
  PyErr_SetRaisedException(exception.release());
}

// Appends every element of `hooks` to `out`, in order. False with an exception set.
bool convert_hooks_unnoted(PyObject* hooks, std::vector<PythonHook>& out) {
  if (!hooks || hooks == Py_None) return true;
  if (PyUnicode_Check(hooks)) {
    PyErr_SetString(PyExc_TypeError, "Can't extract `str` to `Vec`");
    return false;
  }
  if (!PySequence_Check(hooks)) {
    raise_not_a_sequence(hooks);
    return false;
  }
  Py_ssize_t size = PyObject_Size(hooks);
  if (size < 0) {
    // Only a hint for the room; but Ctrl-C and the like are the program's, not the length's.
    if (!PyErr_ExceptionMatches(PyExc_Exception)) return false;
    PyErr_Clear();
  }
  out.reserve(static_cast<std::size_t>(std::clamp<Py_ssize_t>(size, 0, kMaxHookReservation)));
  PyRef iterator = PyRef::steal(PyObject_GetIter(hooks));
  if (!iterator) return false;
  for (;;) {
    PyObject* raw = nullptr;
    int rc = PyIter_NextItem(iterator.get(), &raw);
    PyRef item = PyRef::steal(raw);
    if (rc < 0) return false;
    if (rc == 0) return true;
    out.emplace_back(item.get());  // PythonHook takes its own reference
  }
}

bool convert_hooks(PyObject* hooks, std::vector<PythonHook>& out) {
  if (convert_hooks_unnoted(hooks, out)) return true;
  note_hooks_failure();
  return false;
}

// The input bytes, borrowed from `statement` (immutable, kept alive by the caller) or, for
// a str that is not ASCII, from its UTF-8 form made into `utf8` for this read: the str's own
// UTF-8 copy would stay with the caller's str as long as it lives.
std::optional<std::string_view> statement_bytes(PyObject* statement, PyRef& utf8) noexcept {
  if (PyUnicode_Check(statement)) {
    if (PyUnicode_IS_ASCII(statement)) {
      return std::string_view(static_cast<const char*>(PyUnicode_DATA(statement)),
                              static_cast<std::size_t>(PyUnicode_GET_LENGTH(statement)));
    }
    utf8 = PyRef::steal(PyUnicode_AsUTF8String(statement));
    if (utf8) {
      return std::string_view(PyBytes_AS_STRING(utf8.get()), static_cast<std::size_t>(PyBytes_GET_SIZE(utf8.get())));
    }
    if (!PyErr_ExceptionMatches(PyExc_UnicodeEncodeError)) return std::nullopt;  // (memory)
    PyErr_Clear();  // a lone surrogate; the bytes check below then fails
  }
  if (PyBytes_Check(statement)) {
    return std::string_view(PyBytes_AS_STRING(statement),
                            static_cast<std::size_t>(PyBytes_GET_SIZE(statement)));
  }
  PyErr_SetString(PyExc_TypeError, "statement must be bytes or str");
  return std::nullopt;
}

PyObject* parse_bound(const Arguments& arguments) {
  std::vector<PythonHook> hooks;
  if (!convert_hooks(arguments.hooks, hooks)) return nullptr;
  PyRef utf8;  // (a str's UTF-8 form, for the read)
  std::optional<std::string_view> input = statement_bytes(arguments.statement, utf8);
  if (!input) return nullptr;

  std::vector<SectionHook*> hook_list;
  hook_list.reserve(hooks.size());
  for (PythonHook& hook : hooks) {
    hook.expect_input(input->size());
    hook_list.push_back(&hook);
  }

  std::expected<Statement, StatementError> result = [&] {
    if (!hook_list.empty()) return parse_statement(*input, hook_list);
    // No Python code can run during a hook-free read: let other threads have the lock.
    ReleaseGil released;
    return parse_statement(*input);
  }();

  if (!result) {
    for (PythonHook& hook : hooks) {
      if (PyRef passed_on = hook.take_passed_on()) {
        PyErr_SetRaisedException(passed_on.release());
        return nullptr;
      }
    }
    raise_statement_error(std::move(result.error()));
    return nullptr;
  }
  return convert_statement(std::move(*result)).release();
}

PyObject* parse_fastcall(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) noexcept {
  std::optional<Arguments> arguments = bind_arguments(args, nargs, kwnames);
  if (!arguments) return nullptr;
  try {
    return parse_bound(*arguments);
  } catch (const std::bad_alloc&) {
    return PyErr_NoMemory();
  }
}

PyMethodDef parse_method = {
    "parse",
    reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(parse_fastcall)),
    METH_FASTCALL | METH_KEYWORDS,
    kParseDoc,
};

}  // namespace

PyRef new_parse_function(PyObject* module) noexcept {
  PyRef module_name = PyRef::steal(PyModule_GetNameObject(module));
  if (!module_name) return module_name;
  return PyRef::steal(PyCFunction_NewEx(&parse_method, module, module_name.get()));
}

}  // namespace varnok::py
