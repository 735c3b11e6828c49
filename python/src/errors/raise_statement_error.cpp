// The mapping from StatementError to the module's exceptions.
#include "errors/raise_statement_error.hpp"

#include <new>
#include <string>
#include <type_traits>
#include <utility>
#include <variant>

#include <varnok/reader_state.hpp>

#include "errors/diagnostic_types.hpp"
#include "errors/exceptions.hpp"
#include "hook_bridge.hpp"
#include "pyref.hpp"

namespace varnok::py {
namespace {

PyRef new_exception(PyObject* type, const std::string& message) noexcept {
  PyRef text = PyRef::steal(
      PyUnicode_FromStringAndSize(message.data(), static_cast<Py_ssize_t>(message.size())));
  if (!text) return text;
  return PyRef::steal(PyObject_CallOneArg(type, text.get()));
}

// Raised as it is: PyErr_SetRaisedException does not attach the exception being handled
// as context, so nothing the caller sees is chained to it.
void raise(PyRef exception) noexcept {
  if (exception) PyErr_SetRaisedException(exception.release());
}

// The diagnostic object for a located kind; its texts are moved out of the error.
PyRef detail_of(StatementError& error) {
  return std::visit(
      [](auto& e) -> PyRef {
        using Kind = std::remove_cvref_t<decltype(e)>;
        if constexpr (std::is_same_v<Kind, error::UnexpectedSection>) {
          return new_diagnostic(DiagnosticKind::UnexpectedSection, e.lineno, std::move(e.found),
                                std::string(name(e.context)));
        } else if constexpr (std::is_same_v<Kind, error::UnexpectedAttribute>) {
          return new_diagnostic(DiagnosticKind::UnexpectedAttribute, e.lineno, std::move(e.key),
                                std::move(e.value));
        } else if constexpr (std::is_same_v<Kind, error::UnrecognizedLine>) {
          return new_diagnostic(DiagnosticKind::UnrecognizedLine, e.lineno, std::move(e.line));
        } else if constexpr (std::is_same_v<Kind, error::MissingField>) {
          return new_diagnostic(DiagnosticKind::MissingField, e.lineno, std::move(e.field),
                                std::string(name(e.context)));
        } else if constexpr (std::is_same_v<Kind, error::AccountParseError>) {
          return new_diagnostic(DiagnosticKind::AccountParseError, e.lineno, std::move(e.message));
        } else if constexpr (std::is_same_v<Kind, error::DocumentParseError>) {
          return new_diagnostic(DiagnosticKind::DocumentParseError, e.lineno, std::move(e.message));
        } else if constexpr (std::is_same_v<Kind, error::HookError>) {
          return new_diagnostic(DiagnosticKind::HookError, e.lineno, std::move(e.message));
        } else {
          return {};
        }
      },
      error);
}

PyObject* unlocated_type(const StatementError& error) noexcept {
  if (std::holds_alternative<error::Unfinished>(error)) return unfinished_error_type();
  if (std::holds_alternative<error::NotStatement>(error)) return not_statement_error_type();
  if (std::holds_alternative<error::HookAbandoned>(error)) return internal_error_type();
  return empty_input_error_type();
}

}  // namespace

void raise_statement_error(StatementError&& error) noexcept {
  try {
    // Rendered before the fields are moved into the detail object.
    const std::string text = message(error);
    if (!lineno(error)) {
      raise(new_exception(unlocated_type(error), text));
      return;
    }
    PyRef exception = new_exception(syntax_error_type(), text);
    if (!exception) return;
    PyRef detail = detail_of(error);
    if (!detail || PyObject_SetAttrString(exception.get(), "detail", detail.get()) < 0) return;
    raise(std::move(exception));
  } catch (const std::bad_alloc&) {
    PyErr_NoMemory();
  }
}

}  // namespace varnok::py
