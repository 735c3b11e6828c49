// The Interval class: one account section as six read-only texts.
#include <array>
#include <cstdint>

#include "convert/convert.hpp"
#include "convert/object_support.hpp"
#include "convert/result_objects.hpp"

#include <varnok/fields.hpp>

namespace varnok::py::detail {

namespace {

std::optional<ShortText> optional_amount(const std::optional<Amount>& a) noexcept {
  if (!a) return std::nullopt;
  return format_amount(*a);
}

std::optional<std::string_view> view(const std::optional<ShortText>& text) noexcept {
  if (!text) return std::nullopt;
  return text->view();
}

std::optional<std::string_view> attribute(const IntervalTexts& t, IntervalField a) noexcept {
  switch (a) {
    case IntervalField::DateStart: return t.date_start.view();
    case IntervalField::DateEnd: return view(t.date_end);
    case IntervalField::StartAmount: return t.start_amount.view();
    case IntervalField::EndAmount: return view(t.end_amount);
    case IntervalField::TotalIncome: return view(t.total_income);
    case IntervalField::TotalExpense: return view(t.total_expense);
  }
  return std::nullopt;
}

// The closure of each getter is the attribute it reads, stored in the pointer's value.
void* closure_of(IntervalField a) noexcept {
  return reinterpret_cast<void*>(static_cast<std::uintptr_t>(a));
}

PyObject* interval_get(PyObject* self, void* closure) noexcept {
  auto a = static_cast<IntervalField>(reinterpret_cast<std::uintptr_t>(closure));
  return str_or_none(attribute(payload_of<IntervalTexts>(self), a));
}

PyObject* interval_repr(PyObject* self) noexcept {
  const IntervalTexts& t = payload_of<IntervalTexts>(self);
  return catching_bad_alloc([&] {
    std::string out = "Interval(date_start=";
    append_quoted(out, t.date_start.view());
    out += ", date_end=";
    append_optional_quoted(out, view(t.date_end));
    out += ", start_amount=";
    append_quoted(out, t.start_amount.view());
    out += ", end_amount=";
    append_optional_quoted(out, view(t.end_amount));
    out += ')';
    return new_str(out).release();
  });
}

// Names from the core's interval table; getters in the order the repr shows them.
PyGetSetDef getter(IntervalField f) noexcept {
  return {field_info(f).name.data(), interval_get, nullptr, nullptr, closure_of(f)};
}

PyGetSetDef interval_getset[] = {
    getter(IntervalField::DateStart), getter(IntervalField::DateEnd),
    getter(IntervalField::StartAmount), getter(IntervalField::EndAmount),
    getter(IntervalField::TotalIncome), getter(IntervalField::TotalExpense),
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

PyType_Slot interval_slots[] = {
    {Py_tp_dealloc, reinterpret_cast<void*>(result_object_dealloc<IntervalTexts>)},
    {Py_tp_repr, reinterpret_cast<void*>(interval_repr)},
    {Py_tp_richcompare, reinterpret_cast<void*>(result_object_richcompare<IntervalTexts>)},
    {Py_tp_hash, reinterpret_cast<void*>(PyObject_HashNotImplemented)},
    {Py_tp_getset, interval_getset},
    {0, nullptr},
};

PyType_Spec interval_spec = {
    "builtins.Interval", sizeof(ResultObject<IntervalTexts>), 0, kResultClassFlags, interval_slots,
};

}  // namespace

IntervalTexts interval_texts(const Interval& interval) noexcept {
  IntervalTexts t;
  t.date_start = format_date(interval.date_start);
  if (interval.date_end) t.date_end = format_date(*interval.date_end);
  t.start_amount = format_amount(interval.start_amount);
  t.end_amount = optional_amount(interval.end_amount);
  t.total_income = optional_amount(interval.total_income);
  t.total_expense = optional_amount(interval.total_expense);
  return t;
}

PyRef new_interval_class() noexcept { return new_result_class(interval_spec, "Interval"); }

PyRef new_interval(const IntervalTexts& texts) noexcept {
  return new_result_object(registered(Registered::Interval), IntervalTexts(texts));
}

}  // namespace varnok::py::detail
