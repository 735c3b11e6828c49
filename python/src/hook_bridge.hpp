// PythonHook: a Python callable acting as a section hook.
#pragma once

#include <Python.h>

#include <string>

#include "parser/hooks.hpp"
#include "pyref.hpp"

namespace varnok::py {

// Holds one strong reference to the hook object. call() builds fresh attrs/header dicts,
// calls the object, and reads attrs back; a Python exception becomes Fail("Type: str").
// A dict mutated by another thread during read-back abandons the read: call() returns
// Fail and internal_failure() gives the text, which parse raises as internal_error_type().
class PythonHook final : public SectionHook {
 public:
  explicit PythonHook(PyObject* hook) noexcept;  // borrowed; a reference is added
  HookOutcome call(SectionType type, Attributes& attrs, const Attributes& header) override;

  // Empty, or "dictionary changed size during iteration" /
  // "dictionary keys changed during iteration".
  [[nodiscard]] const std::string& internal_failure() const noexcept { return internal_failure_; }

 private:
  PyRef hook_;
  std::string internal_failure_;
};

// Creates the internal-error class (derived directly from BaseException) once per
// process; 0, or -1 with an exception.
[[nodiscard]] int init_hook_bridge_types() noexcept;
// The internal-error class (borrowed); valid after init_hook_bridge_types() succeeded.
[[nodiscard]] PyObject* internal_error_type() noexcept;

}  // namespace varnok::py
