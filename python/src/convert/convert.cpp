// The conversion of a core Statement record into the Python result objects.
#include "convert/convert.hpp"

#include <memory>
#include <new>
#include <utility>
#include <vector>

#include "convert/object_support.hpp"
#include "convert/result_objects.hpp"
#include "text_cache.hpp"

namespace varnok::py {

namespace {

using detail::new_str;

PyRef convert_header(const Attributes& header) noexcept {
  PyRef dict = PyRef::steal(PyDict_New());
  if (!dict) return {};
  for (const Attributes::Entry& entry : header.entries()) {
    PyRef key = new_str(entry.key);
    if (!key) return {};
    PyRef value = new_str(entry.value);
    if (!value) return {};
    if (PyDict_SetItem(dict.get(), key.get(), value.get()) < 0) return {};
  }
  return dict;
}

// May throw std::bad_alloc (the interval texts of an account).
PyRef convert_accounts(AccountMap& accounts) {
  PyRef dict = PyRef::steal(PyDict_New());
  if (!dict) return {};
  for (Account& account : accounts.release()) {
    std::vector<detail::IntervalTexts> intervals;
    intervals.reserve(account.intervals.size());
    for (const Interval& interval : account.intervals) intervals.push_back(detail::interval_texts(interval));
    PyRef key = new_str(account.number);
    if (!key) return {};
    PyRef value = detail::new_account({std::move(account.number), std::move(intervals)});
    if (!value) return {};
    if (PyDict_SetItem(dict.get(), key.get(), value.get()) < 0) return {};
  }
  return dict;
}

// Created at final length and filled by position; a slot left empty by a failure is
// released safely with the list.
PyRef convert_documents(std::vector<Document>& documents) noexcept {
  PyRef list = PyRef::steal(PyList_New(static_cast<Py_ssize_t>(documents.size())));
  if (!list) return {};
  const std::shared_ptr<TextCache> cache = TextCache::for_documents(documents.size());
  for (std::size_t i = 0; i < documents.size(); ++i) {
    PyRef item = detail::new_document(std::move(documents[i]), cache);
    if (!item) return {};
    PyList_SET_ITEM(list.get(), static_cast<Py_ssize_t>(i), item.release());
  }
  return list;
}

PyRef convert_warnings(const std::vector<Warning>& warnings) noexcept {
  PyRef list = PyRef::steal(PyList_New(static_cast<Py_ssize_t>(warnings.size())));
  if (!list) return {};
  for (std::size_t i = 0; i < warnings.size(); ++i) {
    PyRef lineno = PyRef::steal(PyLong_FromUnsignedLongLong(warnings[i].lineno));
    if (!lineno) return {};
    PyRef message = new_str(warnings[i].message);
    if (!message) return {};
    PyRef pair = PyRef::steal(PyTuple_New(2));
    if (!pair) return {};
    PyTuple_SET_ITEM(pair.get(), 0, lineno.release());
    PyTuple_SET_ITEM(pair.get(), 1, message.release());
    PyList_SET_ITEM(list.get(), static_cast<Py_ssize_t>(i), pair.release());
  }
  return list;
}

PyRef convert_consumed(Statement& record) {
  detail::StatementPayload payload;
  payload.encoding = record.encoding;
  payload.document_count = record.documents.size();
  payload.warning_count = record.warnings.size();
  payload.header = convert_header(record.header);
  if (!payload.header) return {};
  payload.accounts = convert_accounts(record.accounts);
  if (!payload.accounts) return {};
  payload.documents = convert_documents(record.documents);
  if (!payload.documents) return {};
  payload.warnings = convert_warnings(record.warnings);
  if (!payload.warnings) return {};
  return detail::new_statement(std::move(payload));
}

}  // namespace

PyRef convert_statement(Statement&& statement) noexcept {
  try {
    // Owned here, so the record's memory goes as soon as its objects exist.
    Statement record = std::move(statement);
    return convert_consumed(record);
  } catch (const std::bad_alloc&) {
    PyErr_NoMemory();
    return {};
  }
}

}  // namespace varnok::py
