// The four result classes, created once per process and kept for its life.
#include "convert/convert.hpp"
#include "convert/result_objects.hpp"

namespace varnok::py {

namespace {

OnceGuard result_types_once;
// Strong references owned by the process; written once under the guard.
PyObject* interval_class = nullptr;
PyObject* account_class = nullptr;
PyObject* document_class = nullptr;
PyObject* statement_class = nullptr;

int create_result_types() noexcept {
  PyRef interval = detail::new_interval_class();
  if (!interval) return -1;
  PyRef account = detail::new_account_class();
  if (!account) return -1;
  PyRef document = detail::new_document_class();
  if (!document) return -1;
  PyRef statement = detail::new_statement_class();
  if (!statement) return -1;
  interval_class = interval.release();
  account_class = account.release();
  document_class = document.release();
  statement_class = statement.release();
  return 0;
}

}  // namespace

int init_result_types() noexcept { return result_types_once.run(create_result_types); }

PyObject* interval_type() noexcept { return interval_class; }
PyObject* account_type() noexcept { return account_class; }
PyObject* document_type() noexcept { return document_class; }
PyObject* statement_type() noexcept { return statement_class; }

}  // namespace varnok::py
