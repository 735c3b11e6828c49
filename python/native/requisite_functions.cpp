// Python bindings of requisites.hpp: texts in, messages out.
#include "requisite_functions.hpp"

#include <new>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "native_ref.hpp"
#include "requisites.hpp"

namespace varnok::native {
namespace {

// The UTF-8 text of a str; nullopt with an exception set when it is not one or has lone
// surrogates. Borrowed: valid while `s` lives.
std::optional<std::string_view> utf8_of(PyObject* s) noexcept {
  if (!PyUnicode_Check(s)) {
    PyErr_SetString(PyExc_TypeError, "requisite values must be str");
    return std::nullopt;
  }
  Py_ssize_t size = 0;
  const char* text = PyUnicode_AsUTF8AndSize(s, &size);
  if (text == nullptr) return std::nullopt;
  return std::string_view(text, static_cast<std::size_t>(size));
}

std::optional<Rule> rule_named(std::string_view name) noexcept {
  if (name == "inn") return Rule::Inn;
  if (name == "kpp") return Rule::Kpp;
  if (name == "bic") return Rule::Bic;
  if (name == "account") return Rule::Account;
  if (name == "correspondent_account") return Rule::CorrespondentAccount;
  if (name == "amount") return Rule::Amount;
  return std::nullopt;
}

PyObject* str_or_none(const std::optional<std::string>& text) noexcept {
  if (!text) Py_RETURN_NONE;
  return PyUnicode_FromStringAndSize(text->data(), static_cast<Py_ssize_t>(text->size()));
}

}  // namespace

PyObject* requisite_fields(PyObject*, PyObject*) noexcept {
  Ref names = Ref::steal(PyTuple_New(kRequisiteCount));
  if (!names) return nullptr;
  for (std::size_t i = 0; i < kRequisiteCount; ++i) {
    const std::string_view name = field_name(static_cast<std::size_t>(requisites()[i].field));
    PyObject* s = PyUnicode_FromStringAndSize(name.data(), static_cast<Py_ssize_t>(name.size()));
    if (s == nullptr) return nullptr;
    PyTuple_SET_ITEM(names.get(), static_cast<Py_ssize_t>(i), s);
  }
  return names.release();
}

PyObject* requisite_problem(PyObject*, PyObject* const* args, Py_ssize_t nargs) noexcept {
  if (nargs != 3) {
    PyErr_SetString(PyExc_TypeError, "requisite_problem(rule: str, value: str, bic: str)");
    return nullptr;
  }
  const auto name = utf8_of(args[0]), value = utf8_of(args[1]), bic = utf8_of(args[2]);
  if (!name || !value || !bic) return nullptr;
  const auto rule = rule_named(*name);
  if (!rule) {
    PyErr_Format(PyExc_ValueError, "no requisite rule %R", args[0]);
    return nullptr;
  }
  try {
    return str_or_none(requisite_problem(*rule, *value, *bic));
  } catch (const std::bad_alloc&) {
    return PyErr_NoMemory();
  }
}

PyObject* requisite_problems(PyObject*, PyObject* texts) noexcept {
  if (!PyTuple_Check(texts) || PyTuple_GET_SIZE(texts) != kRequisiteCount) {
    PyErr_SetString(PyExc_TypeError, "requisite_problems: a tuple of the requisites' values");
    return nullptr;
  }
  std::array<std::optional<std::string_view>, kRequisiteCount> values;
  for (std::size_t i = 0; i < kRequisiteCount; ++i) {
    PyObject* value = PyTuple_GET_ITEM(texts, static_cast<Py_ssize_t>(i));  // borrowed: the tuple holds it
    if (value == Py_None) continue;
    values[i] = utf8_of(value);
    if (!values[i]) return nullptr;
  }
  try {
    std::vector<RequisiteProblem> problems;
    requisite_problems(values, problems);
    Ref out = Ref::steal(PyList_New(0));
    if (!out) return nullptr;
    for (const RequisiteProblem& p : problems) {
      std::size_t position = 0;
      while (static_cast<std::size_t>(requisites()[position].field) != p.field) ++position;
      Ref item = Ref::steal(Py_BuildValue("(ns#)", static_cast<Py_ssize_t>(position), p.message.data(),
                                          static_cast<Py_ssize_t>(p.message.size())));
      if (!item || PyList_Append(out.get(), item.get()) < 0) return nullptr;
    }
    return out.release();
  } catch (const std::bad_alloc&) {
    return PyErr_NoMemory();
  }
}

}  // namespace varnok::native
