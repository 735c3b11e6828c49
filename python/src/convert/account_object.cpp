// The Account class: an account number and its intervals, kept as native texts;
// `intervals` makes a new list of new Interval objects on every access.
#include "convert/convert.hpp"
#include "convert/object_support.hpp"
#include "convert/result_objects.hpp"

namespace varnok::py::detail {

namespace {

PyObject* account_number(PyObject* self, void*) noexcept {
  return new_str(payload_of<AccountPayload>(self).number).release();
}

PyObject* account_intervals(PyObject* self, void*) noexcept {
  const auto& intervals = payload_of<AccountPayload>(self).intervals;
  PyRef list = PyRef::steal(PyList_New(static_cast<Py_ssize_t>(intervals.size())));
  if (!list) return nullptr;
  for (std::size_t i = 0; i < intervals.size(); ++i) {
    PyRef item = new_interval(intervals[i]);
    if (!item) return nullptr;
    PyList_SET_ITEM(list.get(), static_cast<Py_ssize_t>(i), item.release());
  }
  return list.release();
}

PyObject* account_repr(PyObject* self) noexcept {
  const AccountPayload& a = payload_of<AccountPayload>(self);
  return catching_bad_alloc([&] {
    std::string out = "Account(number=";
    append_quoted(out, a.number);
    out += ", intervals=[...";
    append_decimal(out, a.intervals.size());
    out += "])";
    return new_str(out).release();
  });
}

PyGetSetDef account_getset[] = {
    {"number", account_number, nullptr, nullptr, nullptr},
    {"intervals", account_intervals, nullptr, nullptr, nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

PyType_Slot account_slots[] = {
    {Py_tp_dealloc, reinterpret_cast<void*>(result_object_dealloc<AccountPayload>)},
    {Py_tp_repr, reinterpret_cast<void*>(account_repr)},
    {Py_tp_richcompare, reinterpret_cast<void*>(result_object_richcompare<AccountPayload>)},
    {Py_tp_hash, reinterpret_cast<void*>(PyObject_HashNotImplemented)},
    {Py_tp_getset, account_getset},
    {0, nullptr},
};

PyType_Spec account_spec = {
    "builtins.Account", sizeof(ResultObject<AccountPayload>), 0, kResultClassFlags, account_slots,
};

}  // namespace

PyRef new_account_class() noexcept { return new_result_class(account_spec, "Account"); }

PyRef new_account(AccountPayload&& payload) noexcept {
  return new_result_object(registered(Registered::Account), std::move(payload));
}

}  // namespace varnok::py::detail
