// PythonHook: a Python callable acting as a section hook.
#pragma once

#include <Python.h>

#include <array>
#include <cstdint>
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

// Holds one strong reference to the hook object. call() builds the attrs dict (or refills
// one an earlier call left as given), calls the object, and reads attrs back; a Python
// exception becomes Fail("Type: str"), but for one that is no Exception (Ctrl-C), which
// abandons the read and is raised by parse as it is.
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
  // The exception that is no Exception (KeyboardInterrupt, SystemExit...) a call met and
  // abandoned the read for, to be raised as it is; null when there was none.
  [[nodiscard]] PyRef take_passed_on() noexcept { return std::move(passed_on_); }

 private:
  // Puts the str objects of the attributes into `objects` in entry order (key, value, key,
  // value, ...), in room reserved by the caller; false with an exception. Kept alive, they
  // let an object the hook left in place be recognised by identity and its text taken
  // from the entry instead of re-encoded.
  bool attribute_objects(const Attributes& attrs, std::vector<PyRef>& objects) noexcept;
  // A spare dict refilled with the pairs of `objects`, when one has their keys in the same
  // order (a statement's documents come in a few shapes); null otherwise. Replacing the
  // values costs less than a new dict and the release of the old one.
  PyRef take_spare(std::span<const PyRef> objects) noexcept;
  // Keeps an attrs dict the hook neither changed nor kept, with given_, as a spare.
  void keep_spare(PyRef dict) noexcept;
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
  PyRef passed_on_;  // see take_passed_on()
  std::shared_ptr<TextCache> values_;  // document fields' values; may be null
  std::unordered_map<std::string, PyRef, TextHash, std::equal_to<>> keys_;  // at most kMaxKeys
  PyRef header_;                // the header as a dict, built at the first call
  PyRef header_given_;          // the copy of it the next call gives, when there is one
  bool header_watched_ = false;  // whether header_given_'s changes are counted
  std::vector<PyRef> given_;    // the objects of the current call's attrs dict
#ifdef Py_GIL_DISABLED
  std::vector<PyRef> read_;     // the objects read back from it (see read_back())
#endif
  struct Spare {
    PyRef dict;                  // null: the slot is free
    std::vector<PyRef> objects;  // what the dict holds, as given_ was
    std::uint64_t used = 0;      // when it was kept: the least recent is replaced first
  };
  std::array<Spare, 4> spares_;  // attrs dicts the hook neither changed nor kept
  std::uint64_t kept_ = 0;   // spares kept so far: the stamp of the next
  std::uint64_t calls_ = 0;  // counted only while spares have no credit
  int spare_credit_ = 8;     // see call()
  Attributes scratch_;          // read-back target, swapped with attrs; keeps its storage
};

}  // namespace varnok::py
