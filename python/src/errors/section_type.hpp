// SectionType: the enumeration passed to hooks, with its two process-wide members.
#pragma once

#include <Python.h>

#include <varnok/hooks.hpp>

namespace varnok::py {

// Creates the class and its members Document (0) and Account (1) once per process;
// 0, or -1 with an exception.
[[nodiscard]] int init_section_type() noexcept;
// The class (borrowed); valid after init_section_type() succeeded.
[[nodiscard]] PyObject* section_type_type() noexcept;
// The shared member for a section type (borrowed, lives for the process).
[[nodiscard]] PyObject* section_type_member(SectionType type) noexcept;

}  // namespace varnok::py
