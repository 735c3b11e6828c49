// PythonHook: a Python callable acting as a section hook.
#pragma once

#include <Python.h>

#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include <varnok/fields.hpp>
#include <varnok/hooks.hpp>

#include "pyref.hpp"
#include "text_cache.hpp"

namespace varnok::py {

// Holds one strong reference to the hook object. call() builds fresh attrs/header dicts,
// calls the object, and reads attrs back; a Python exception becomes Fail("Type: str").
// One PythonHook serves one read: the header, which does not change during a read, is
// converted once and copied for the calls (a copy no call changed or kept serves again).
// A dict mutated by another thread during read-back abandons the read: call() returns
// Abandon with the text, which parse raises as the internal error.
class PythonHook final : public SectionHook {
 public:
  explicit PythonHook(PyObject* hook) noexcept;  // borrowed; a reference is added
  // Sizes the cache of the values given to the hook for a read of `input_bytes` (a
  // section is about a kilobyte); without it, values are made afresh.
  void expect_input(std::size_t input_bytes) noexcept { values_ = TextCache::for_documents(input_bytes / 1024); }
  HookOutcome call(SectionType type, Attributes& attrs, const Attributes& header) override;

 private:
  // A new exact dict of str -> str in the attributes' order (null with an exception);
  // `objects` gets the str objects it was built from in entry order (key, value, key,
  // value, ...), in room for them reserved by the caller. Kept alive, they let an object
  // the hook left in place be recognised by identity and its text taken from the entry
  // instead of re-encoded.
  PyRef attributes_dict(const Attributes& attrs, std::vector<PyRef>& objects) noexcept;
  HookOutcome read_back(PyObject* dict, Attributes& attrs);
  // Puts the first `count` original entries into scratch_, which it empties first.
  void copy_unchanged(std::span<const Attributes::Entry> original, std::size_t count);

  // The str for a key (`field` when it is a document field's): keys repeat from section
  // to section, and a reused str also keeps its hash for the dict.
  PyRef key_object(std::string_view key, std::optional<DocumentField> field) noexcept;

  struct TextHash {
    using is_transparent = void;
    [[nodiscard]] std::size_t operator()(std::string_view s) const noexcept { return std::hash<std::string_view>{}(s); }
  };

  PyRef hook_;
  std::shared_ptr<TextCache> values_;  // document fields' values; may be null
  std::unordered_map<std::string, PyRef, TextHash, std::equal_to<>> keys_;  // at most kMaxKeys
  PyRef header_;                // the header as a dict, built at the first call
  PyRef header_given_;          // the copy of it the next call gives, when there is one
  bool header_watched_ = false;  // whether header_given_'s changes are counted
  std::vector<PyRef> given_;    // the objects of the current call's attrs dict
  Attributes scratch_;          // read-back target, swapped with attrs; keeps its storage
};

}  // namespace varnok::py
