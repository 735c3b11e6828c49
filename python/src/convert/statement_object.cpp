// The Statement class: the encoding, the four containers of a read and the two counts
// its repr shows.
#include "convert/convert.hpp"
#include "convert/object_support.hpp"
#include "convert/result_objects.hpp"

namespace varnok::py::detail {

namespace {

StatementPayload& statement_of(PyObject* self) noexcept { return payload_of<StatementPayload>(self); }

PyObject* statement_encoding(PyObject* self, void*) noexcept {
  return new_str(name(statement_of(self).encoding)).release();
}
PyObject* statement_header(PyObject* self, void*) noexcept {
  return Py_NewRef(statement_of(self).header.get());
}
PyObject* statement_accounts(PyObject* self, void*) noexcept {
  return Py_NewRef(statement_of(self).accounts.get());
}
PyObject* statement_documents(PyObject* self, void*) noexcept {
  return Py_NewRef(statement_of(self).documents.get());
}
PyObject* statement_warnings(PyObject* self, void*) noexcept {
  return Py_NewRef(statement_of(self).warnings.get());
}

PyObject* statement_repr(PyObject* self) noexcept {
  const StatementPayload& s = statement_of(self);
  return catching_bad_alloc([&] {
    std::string out = "Statement(encoding=";
    append_quoted(out, name(s.encoding));
    out += ", documents=[...";
    append_decimal(out, s.document_count);
    out += "], warnings=[...";
    append_decimal(out, s.warning_count);
    out += "])";
    return new_str(out).release();
  });
}

// The containers are mutable and may come to hold the statement itself, so the class
// takes part in collection. No clear slot: every cycle through a statement passes
// through one of its dicts or lists, which the collector can clear; the statement's
// own references thus stay non-null for its whole life.
int statement_traverse(PyObject* self, visitproc visit, void* arg) noexcept {
  Py_VISIT(Py_TYPE(self));
  const StatementPayload& s = statement_of(self);
  Py_VISIT(s.header.get());
  Py_VISIT(s.accounts.get());
  Py_VISIT(s.documents.get());
  Py_VISIT(s.warnings.get());
  return 0;
}

void statement_dealloc(PyObject* self) noexcept {
  PyTypeObject* type = Py_TYPE(self);
  PyObject_GC_UnTrack(self);
  statement_of(self).~StatementPayload();
  type->tp_free(self);
  Py_DECREF(type);
}

PyGetSetDef statement_getset[] = {
    {"encoding", statement_encoding, nullptr, nullptr, nullptr},
    {"header", statement_header, nullptr, nullptr, nullptr},
    {"accounts", statement_accounts, nullptr, nullptr, nullptr},
    {"documents", statement_documents, nullptr, nullptr, nullptr},
    {"warnings", statement_warnings, nullptr, nullptr, nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

PyType_Slot statement_slots[] = {
    {Py_tp_dealloc, reinterpret_cast<void*>(statement_dealloc)},
    {Py_tp_traverse, reinterpret_cast<void*>(statement_traverse)},
    {Py_tp_repr, reinterpret_cast<void*>(statement_repr)},
    {Py_tp_getset, statement_getset},
    {0, nullptr},
};

PyType_Spec statement_spec = {
    "builtins.Statement", sizeof(ResultObject<StatementPayload>), 0,
    kResultClassFlags | Py_TPFLAGS_HAVE_GC, statement_slots,
};

}  // namespace

PyRef new_statement_class() noexcept { return new_result_class(statement_spec, "Statement"); }

PyRef new_statement(StatementPayload&& payload) noexcept {
  return new_result_object(registered(Registered::Statement), std::move(payload));
}

}  // namespace varnok::py::detail
