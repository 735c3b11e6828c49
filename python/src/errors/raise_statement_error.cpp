// The mapping from StatementError to the module's exceptions.
#include "errors/raise_statement_error.hpp"

#include <array>
#include <cstddef>
#include <new>
#include <string>
#include <type_traits>
#include <utility>
#include <variant>

#include <varnok/reader_state.hpp>

#include "errors/diagnostic_types.hpp"
#include "pyref.hpp"
#include "registry.hpp"

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

// The exception class of every StatementError kind, by its index among the alternatives:
// the seven located kinds are SyntaxError with a diagnostic of the same index as detail.
constexpr std::array<Registered, std::variant_size_v<StatementError>> kExceptionClass = {
    Registered::SyntaxError,     Registered::SyntaxError,        Registered::SyntaxError,
    Registered::SyntaxError,     Registered::SyntaxError,        Registered::SyntaxError,
    Registered::SyntaxError,     Registered::UnfinishedError,    Registered::NotStatementError,
    Registered::EmptyInputError, Registered::InternalError,
};

template <DiagnosticKind Kind, class Error>
constexpr bool located_at =
    std::is_same_v<std::variant_alternative_t<static_cast<std::size_t>(Kind), StatementError>, Error>;
static_assert(located_at<DiagnosticKind::UnexpectedSection, error::UnexpectedSection> &&
              located_at<DiagnosticKind::UnexpectedAttribute, error::UnexpectedAttribute> &&
              located_at<DiagnosticKind::UnrecognizedLine, error::UnrecognizedLine> &&
              located_at<DiagnosticKind::MissingField, error::MissingField> &&
              located_at<DiagnosticKind::AccountParseError, error::AccountParseError> &&
              located_at<DiagnosticKind::DocumentParseError, error::DocumentParseError> &&
              located_at<DiagnosticKind::HookError, error::HookError>);
static_assert(std::is_same_v<std::variant_alternative_t<kDiagnosticKindCount, StatementError>, error::Unfinished>,
              "the located kinds come first");

// The texts a diagnostic carries beside the line number, moved out of the error.
struct Texts {
  std::string first;
  std::string second;
};
Texts texts_of(error::UnexpectedSection& e) { return {std::move(e.found), std::string(name(e.context))}; }
Texts texts_of(error::UnexpectedAttribute& e) { return {std::move(e.key), std::move(e.value)}; }
Texts texts_of(error::UnrecognizedLine& e) { return {std::move(e.line), {}}; }
Texts texts_of(error::MissingField& e) { return {std::move(e.field), std::string(name(e.context))}; }
Texts texts_of(error::AccountParseError& e) { return {std::move(e.message), {}}; }
Texts texts_of(error::DocumentParseError& e) { return {std::move(e.message), {}}; }
Texts texts_of(error::HookError& e) { return {std::move(e.message), {}}; }

// The diagnostic object of a located kind.
PyRef detail_of(StatementError& error) {
  const auto kind = static_cast<DiagnosticKind>(error.index());
  return std::visit(
      [kind](auto& e) -> PyRef {
        if constexpr (requires { texts_of(e); }) {
          Texts texts = texts_of(e);
          return new_diagnostic(kind, e.lineno, std::move(texts.first), std::move(texts.second));
        } else {
          return {};
        }
      },
      error);
}

}  // namespace

void raise_statement_error(StatementError&& error) noexcept {
  try {
    // Rendered before the fields are moved into the detail object.
    const std::string text = message(error);
    PyRef exception = new_exception(registered(kExceptionClass[error.index()]), text);
    if (!lineno(error)) {
      raise(std::move(exception));
      return;
    }
    if (!exception) return;
    PyRef detail = detail_of(error);
    if (!detail || PyObject_SetAttrString(exception.get(), "detail", detail.get()) < 0) return;
    raise(std::move(exception));
  } catch (const std::bad_alloc&) {
    PyErr_NoMemory();
  }
}

}  // namespace varnok::py
