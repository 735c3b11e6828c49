// SectionType: the enumeration passed to hooks, with its two process-wide members.
#pragma once

#include <Python.h>

#include <varnok/hooks.hpp>

#include "pyref.hpp"
#include "registry.hpp"

namespace varnok::py {

// Makes the class and its members Document (0) and Account (1), for the registry; 0, or
// -1 with an exception.
[[nodiscard]] int new_section_type_class(PyRef& type, PyRef& document, PyRef& account) noexcept;

// The shared member for a section type (borrowed, lives for the process); valid after
// init_registry() succeeded.
[[nodiscard]] inline PyObject* section_type_member(SectionType type) noexcept {
  return registered(type == SectionType::Document ? Registered::DocumentMember : Registered::AccountMember);
}

}  // namespace varnok::py
