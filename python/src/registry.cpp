// The registry: one table of what each process-wide object is called and how it is made,
// one array of the objects, one guard.
#include "registry.hpp"

#include <array>

#include "convert/convert.hpp"
#include "errors/diagnostic_types.hpp"
#include "errors/exceptions.hpp"
#include "errors/section_type.hpp"
#include "pyref.hpp"
#include "utf8_str.hpp"

namespace varnok::py {
namespace {

using Objects = std::array<PyRef, kRegisteredCount>;

PyRef& slot(Objects& made, Registered id) noexcept { return made[static_cast<std::size_t>(id)]; }

// Each maker fills its own slot (SectionType also its two members) from those before it.
struct Entry {
  Registered id;
  const char* name;
  int (*make)(Objects& made);
};

template <PyRef (*Factory)() noexcept, Registered Id>
int make_class(Objects& made) noexcept {
  slot(made, Id) = Factory();
  return slot(made, Id) ? 0 : -1;
}

template <DiagnosticKind Kind>
int make_diagnostic(Objects& made) noexcept {
  PyRef& out = slot(made, diagnostic_class_id(Kind));
  out = new_diagnostic_class(Kind);
  return out ? 0 : -1;
}

int make_section_type(Objects& made) noexcept {
  return new_section_type_class(slot(made, Registered::SectionType), slot(made, Registered::DocumentMember),
                                slot(made, Registered::AccountMember));
}

template <Registered Id>
int make_exception(Objects& made) noexcept {
  PyObject* base = slot(made, Registered::ParseError).get();  // null for ParseError itself
  slot(made, Id) = new_exception_class(Id, base);
  return slot(made, Id) ? 0 : -1;
}

int make_internal_error(Objects& made) noexcept {
  PyRef& out = slot(made, Registered::InternalError);
  out = PyRef::steal(PyErr_NewException("varnok_py.InternalError", PyExc_BaseException, nullptr));
  return out ? 0 : -1;
}

// In creation order, which is the order of Registered (the members come with their class).
constexpr std::array<Entry, kRegisteredCount - 2> kEntries = {{
    {Registered::Interval, "Interval", make_class<detail::new_interval_class, Registered::Interval>},
    {Registered::Account, "Account", make_class<detail::new_account_class, Registered::Account>},
    {Registered::Document, "Document", make_class<detail::new_document_class, Registered::Document>},
    {Registered::Statement, "Statement", make_class<detail::new_statement_class, Registered::Statement>},
    {Registered::SectionType, "SectionType", make_section_type},
    {Registered::UnexpectedSection, "UnexpectedSection", make_diagnostic<DiagnosticKind::UnexpectedSection>},
    {Registered::UnexpectedAttribute, "UnexpectedAttribute", make_diagnostic<DiagnosticKind::UnexpectedAttribute>},
    {Registered::UnrecognizedLine, "UnrecognizedLine", make_diagnostic<DiagnosticKind::UnrecognizedLine>},
    {Registered::MissingField, "MissingField", make_diagnostic<DiagnosticKind::MissingField>},
    {Registered::AccountParseError, "AccountParseError", make_diagnostic<DiagnosticKind::AccountParseError>},
    {Registered::DocumentParseError, "DocumentParseError", make_diagnostic<DiagnosticKind::DocumentParseError>},
    {Registered::HookError, "HookError", make_diagnostic<DiagnosticKind::HookError>},
    {Registered::ParseError, "ParseError", make_exception<Registered::ParseError>},
    {Registered::NotStatementError, "NotStatementError", make_exception<Registered::NotStatementError>},
    {Registered::EmptyInputError, "EmptyInputError", make_exception<Registered::EmptyInputError>},
    {Registered::UnfinishedError, "UnfinishedError", make_exception<Registered::UnfinishedError>},
    {Registered::SyntaxError, "SyntaxError", make_exception<Registered::SyntaxError>},
    {Registered::InternalError, "InternalError", make_internal_error},
}};

constexpr bool entries_in_order() {
  for (std::size_t i = 0; i < kEntries.size(); ++i)
    if (static_cast<std::size_t>(kEntries[i].id) != i) return false;
  return true;
}
static_assert(entries_in_order(), "kEntries follows Registered");

OnceGuard registry_once;
// Strong references owned by the process; written once under the guard.
std::array<PyObject*, kRegisteredCount> objects{};
std::array<PyObject*, kDocumentFieldCount> document_keys{};

int create_all() noexcept {
  Objects made;
  for (const Entry& entry : kEntries) {
    if (entry.make(made) < 0) return -1;
  }
  std::array<PyRef, kDocumentFieldCount> keys;
  for (std::size_t i = 0; i < kDocumentFieldCount; ++i) {
    PyObject* key = new_str_from_utf8(kDocumentFields[i].key);
    if (key == nullptr) return -1;
    PyUnicode_InternInPlace(&key);
    keys[i] = PyRef::steal(key);
  }
  // Published only when everything exists, so a failed attempt leaves nothing half made.
  for (std::size_t i = 0; i < kRegisteredCount; ++i) objects[i] = made[i].release();
  for (std::size_t i = 0; i < kDocumentFieldCount; ++i) document_keys[i] = keys[i].release();
  return 0;
}

}  // namespace

int init_registry() noexcept { return registry_once.run(create_all); }

PyObject* registered(Registered id) noexcept { return objects[static_cast<std::size_t>(id)]; }

PyObject* document_key(DocumentField field) noexcept { return document_keys[static_cast<std::size_t>(field)]; }

const char* public_name(Registered id) noexcept { return kEntries[static_cast<std::size_t>(id)].name; }

}  // namespace varnok::py
