// The Document class: a core document record with its date and amount fields as texts;
// each attribute's str is made only when it is read.
#include <array>
#include <cstddef>

#include "convert/convert.hpp"
#include "convert/object_support.hpp"
#include "convert/result_objects.hpp"

namespace varnok::py::detail {

namespace {

struct DocumentAttribute {
  const char* name;
  DocumentField field;
};

// The Python attribute order, which differs from the field declaration order.
constexpr std::array<DocumentAttribute, kDocumentFieldCount> kDocumentAttributes{{
    {"doc_number", DocumentField::DocNumber},
    {"doc_type", DocumentField::DocType},
    {"doc_date", DocumentField::DocDate},
    {"amount", DocumentField::Amount},
    {"purpose", DocumentField::Purpose},
    {"payment_type", DocumentField::PaymentType},
    {"ordering", DocumentField::Ordering},
    {"counterparty_inn", DocumentField::CounterpartyInn},
    {"counterparty_kpp", DocumentField::CounterpartyKpp},
    {"counterparty_bic", DocumentField::CounterpartyBic},
    {"counterparty_bank1", DocumentField::CounterpartyBank1},
    {"counterparty_account", DocumentField::CounterpartyAccount},
    {"counterparty", DocumentField::Counterparty},
    {"counterparty_1", DocumentField::Counterparty1},
    {"counterparty_ras_account", DocumentField::CounterpartyRasAccount},
    {"counterparty_cor_account", DocumentField::CounterpartyCorAccount},
    {"outcome_date", DocumentField::OutcomeDate},
    {"payee_inn", DocumentField::PayeeInn},
    {"payee", DocumentField::Payee},
    {"payee_account", DocumentField::PayeeAccount},
    {"payee_kpp", DocumentField::PayeeKpp},
    {"payee_bic", DocumentField::PayeeBic},
    {"payee_bank1", DocumentField::PayeeBank1},
    {"payee_ras_account", DocumentField::PayeeRasAccount},
    {"payee_cor_account", DocumentField::PayeeCorAccount},
    {"income_date", DocumentField::IncomeDate},
    {"counterparty_2", DocumentField::Counterparty2},
    {"counterparty_3", DocumentField::Counterparty3},
    {"counterparty_4", DocumentField::Counterparty4},
    {"counterparty_bank2", DocumentField::CounterpartyBank2},
    {"payee_1", DocumentField::Payee1},
    {"payee_2", DocumentField::Payee2},
    {"payee_3", DocumentField::Payee3},
    {"payee_4", DocumentField::Payee4},
    {"payee_bank2", DocumentField::PayeeBank2},
    {"payment_kind", DocumentField::PaymentKind},
    {"payment_deadline", DocumentField::PaymentDeadline},
    {"uin", DocumentField::Uin},
    {"purpose_code", DocumentField::PurposeCode},
    {"purpose_1", DocumentField::Purpose1},
    {"purpose_2", DocumentField::Purpose2},
    {"purpose_3", DocumentField::Purpose3},
    {"purpose_4", DocumentField::Purpose4},
    {"purpose_5", DocumentField::Purpose5},
    {"purpose_6", DocumentField::Purpose6},
    {"compiler_status", DocumentField::CompilerStatus},
    {"kbk", DocumentField::Kbk},
    {"okato", DocumentField::Okato},
    {"tax_basis", DocumentField::TaxBasis},
    {"tax_period", DocumentField::TaxPeriod},
    {"tax_number", DocumentField::TaxNumber},
    {"tax_date", DocumentField::TaxDate},
    {"tax_type", DocumentField::TaxType},
}};

std::optional<std::string_view> view(const std::optional<ShortText>& text) noexcept {
  if (!text) return std::nullopt;
  return text->view();
}

std::optional<ShortText> optional_date(const std::optional<Date>& d) noexcept {
  if (!d) return std::nullopt;
  return format_date(*d);
}

// The closure of each getter points at its entry of kDocumentAttributes.
PyObject* document_get(PyObject* self, void* closure) noexcept {
  const auto* attribute = static_cast<const DocumentAttribute*>(closure);
  return str_or_none(payload_of<DocumentPayload>(self).field(attribute->field));
}

PyObject* document_repr(PyObject* self) noexcept {
  const DocumentPayload& d = payload_of<DocumentPayload>(self);
  return catching_bad_alloc([&] {
    std::string out = "Document(doc_number=";
    append_quoted(out, d.field(DocumentField::DocNumber).value_or(""));
    out += ", doc_type=";
    append_quoted(out, d.field(DocumentField::DocType).value_or(""));
    out += ", doc_date=";
    append_quoted(out, d.field(DocumentField::DocDate).value_or(""));
    out += ", amount=";
    append_quoted(out, d.field(DocumentField::Amount).value_or(""));
    out += ')';
    return new_str(out).release();
  });
}

// Static storage: the class refers to this table for the life of the process.
std::array<PyGetSetDef, kDocumentFieldCount + 1> document_getset = [] {
  std::array<PyGetSetDef, kDocumentFieldCount + 1> defs{};
  for (std::size_t i = 0; i < kDocumentFieldCount; ++i) {
    defs[i] = {kDocumentAttributes[i].name, document_get, nullptr, nullptr,
               const_cast<DocumentAttribute*>(&kDocumentAttributes[i])};
  }
  return defs;
}();

PyType_Slot document_slots[] = {
    {Py_tp_dealloc, reinterpret_cast<void*>(result_object_dealloc<DocumentPayload>)},
    {Py_tp_repr, reinterpret_cast<void*>(document_repr)},
    {Py_tp_richcompare, reinterpret_cast<void*>(result_object_richcompare<DocumentPayload>)},
    {Py_tp_hash, reinterpret_cast<void*>(PyObject_HashNotImplemented)},
    {Py_tp_getset, document_getset.data()},
    {0, nullptr},
};

PyType_Spec document_spec = {
    "builtins.Document", sizeof(ResultObject<DocumentPayload>), 0, kResultClassFlags, document_slots,
};

}  // namespace

DocumentPayload::DocumentPayload(Document&& document) noexcept
    : document_(std::move(document)),
      doc_date_(format_date(document_.doc_date())),
      amount_(format_amount(document_.amount())),
      outcome_date_(optional_date(document_.outcome_date())),
      income_date_(optional_date(document_.income_date())) {}

std::optional<std::string_view> DocumentPayload::field(DocumentField f) const noexcept {
  switch (f) {
    case DocumentField::DocDate: return doc_date_.view();
    case DocumentField::Amount: return amount_.view();
    case DocumentField::OutcomeDate: return view(outcome_date_);
    case DocumentField::IncomeDate: return view(income_date_);
    default: return document_.text(f);
  }
}

bool operator==(const DocumentPayload& a, const DocumentPayload& b) noexcept {
  for (std::size_t i = 0; i < kDocumentFieldCount; ++i) {
    auto f = static_cast<DocumentField>(i);
    if (a.field(f) != b.field(f)) return false;
  }
  return true;
}

PyRef new_document_class() noexcept { return new_result_class(document_spec, "Document"); }

PyRef new_document(Document&& document) noexcept {
  return new_result_object(document_type(), DocumentPayload(std::move(document)));
}

}  // namespace varnok::py::detail
