// PythonHook: one section end becomes one call of a Python object, whose attribute
// dict is read back into the section's attributes; a Python failure becomes its text.
#include "hook_bridge.hpp"

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <new>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>

#include <varnok/fields.hpp>

#include "errors/section_type.hpp"
#include "registry.hpp"
#include "text_cache.hpp"
#include "utf8_str.hpp"

namespace varnok::py {

namespace {

// Attaches the calling thread to the interpreter for the guard's lifetime, unless it
// is attached already (the normal case: parse keeps the lock during a read with hooks).
class EnsureGil {
 public:
  EnsureGil() noexcept : held_(PyGILState_Check() != 0) {
    if (!held_) state_ = PyGILState_Ensure();
  }
  ~EnsureGil() {
    if (!held_) PyGILState_Release(state_);
  }
  EnsureGil(const EnsureGil&) = delete;
  EnsureGil& operator=(const EnsureGil&) = delete;

 private:
  bool held_;
  PyGILState_STATE state_{};
};

PyRef new_str(std::string_view text) noexcept { return PyRef::steal(new_str_from_utf8(text)); }

// The UTF-8 text of a key or value read back from attrs: only str (or a subclass) is
// taken, as it is. Nullopt with TypeError or UnicodeEncodeError (lone surrogate).
// The view lives as long as `obj`.
std::optional<std::string_view> attribute_text(PyObject* obj) noexcept {
  if (!PyUnicode_Check(obj)) {
    if (obj == Py_None) {
      PyErr_SetString(PyExc_TypeError, "'None' is not an instance of 'str'");
    } else if (PyRef qualname = PyRef::steal(PyType_GetQualName(Py_TYPE(obj)))) {
      PyErr_Format(PyExc_TypeError, "'%U' object is not an instance of 'str'", qualname.get());
    }
    return std::nullopt;
  }
  Py_ssize_t size = 0;
  const char* data = PyUnicode_AsUTF8AndSize(obj, &size);
  if (data == nullptr) return std::nullopt;
  return std::string_view(data, static_cast<std::size_t>(size));
}

// Appends the UTF-8 form of a str, lossily: the text is encoded with surrogatepass and
// decoded with replacement, so a lone surrogate becomes three U+FFFD. False with an
// exception set if even that fails (memory).
bool append_lossy_utf8(std::string& out, PyObject* text) {
  Py_ssize_t size = 0;
  if (const char* data = PyUnicode_AsUTF8AndSize(text, &size)) {
    out.append(data, static_cast<std::size_t>(size));
    return true;
  }
  PyErr_Clear();
  PyRef bytes = PyRef::steal(PyUnicode_AsEncodedString(text, "utf-8", "surrogatepass"));
  if (!bytes) return false;
  PyRef repaired = PyRef::steal(
      PyUnicode_DecodeUTF8(PyBytes_AS_STRING(bytes.get()), PyBytes_GET_SIZE(bytes.get()), "replace"));
  if (!repaired) return false;
  const char* data = PyUnicode_AsUTF8AndSize(repaired.get(), &size);
  if (data == nullptr) return false;
  out.append(data, static_cast<std::size_t>(size));
  return true;
}

// "{qualified type name}: {str(exc)}", or "...: <exception str() failed>" when str()
// raises. Leaves no exception set.
std::string failure_text(PyObject* exc) {
  std::string text;
  PyRef qualname = PyRef::steal(PyType_GetQualName(Py_TYPE(exc)));
  if (!qualname || !append_lossy_utf8(text, qualname.get())) {
    PyErr_Clear();
    text = Py_TYPE(exc)->tp_name;
  }
  text += ": ";
  PyRef str = PyRef::steal(PyObject_Str(exc));
  if (!str || !append_lossy_utf8(text, str.get())) {
    PyErr_Clear();
    text += "<exception str() failed>";
  }
  return text;
}

// Takes the pending exception (it goes no further: not chained, traceback dropped)
// and returns Fail with its text.
HookOutcome fail_with_raised_exception() {
  PyRef exc = PyRef::steal(PyErr_GetRaisedException());
  if (!exc) return HookOutcome::Fail("SystemError: error return without exception set");
  return HookOutcome::Fail(failure_text(exc.get()));
}

// Changes to the dicts given to hooks, made by any thread (counted by a dict watcher before
// each change): a call across which the count stayed put left its dicts as they were given,
// so there is nothing to read back, and its header copy serves the next call if not kept.
std::atomic<std::uint64_t> g_attrs_changes{0};

int count_attrs_change(PyDict_WatchEvent event, PyObject*, PyObject*, PyObject*) noexcept {
  if (event != PyDict_EVENT_DEALLOCATED) g_attrs_changes.fetch_add(1);
  return 0;
}

// The id of the watcher that counts the changes; negative when the interpreter had none
// left to give.
int attrs_watcher() noexcept {
  static const int watcher = [] {
    const int added = PyDict_AddWatcher(count_attrs_change);
    if (added < 0) PyErr_Clear();
    return added;
  }();
  return watcher;
}

// Has the watcher count the changes of `dict`: false (and no exception set) when the
// interpreter had no watcher left to give.
bool watch_changes(PyObject* dict) noexcept {
  const int watcher = attrs_watcher();
  if (watcher < 0) return false;
  if (PyDict_Watch(watcher, dict) == 0) return true;
  PyErr_Clear();
  return false;
}

// Puts the values of `objects` into `dict`, which holds `held` (the same keys in the same
// order); false when that failed, leaving no exception set.
bool refill(PyObject* dict, std::span<const PyRef> held, std::span<const PyRef> objects) noexcept {
  // Refilling is no change a hook made: the watcher looks away meanwhile.
  const int watcher = attrs_watcher();
  bool refilled = PyDict_Unwatch(watcher, dict) == 0;
  for (std::size_t i = 1; refilled && i < objects.size(); i += 2) {
    // An existing str key: its value is replaced in place, nothing is allocated.
    if (objects[i].get() != held[i].get()) refilled = PyDict_SetItem(dict, objects[i - 1].get(), objects[i].get()) == 0;
  }
  refilled = refilled && PyDict_Watch(watcher, dict) == 0;
  if (!refilled) PyErr_Clear();
  return refilled;
}

#if PY_VERSION_HEX >= 0x030E0000 && PY_VERSION_HEX < 0x03100000
// The interpreter's own constructor of a dict literal: the dict sized at once and filled
// without taking its lock for every item (on the free-threaded build each PyDict_SetItem
// locks and unlocks the dict). Exported by the interpreter but declared only in its
// internal headers, so declared here for the versions whose signature was checked.
extern "C" PyObject* _PyDict_FromItems(PyObject* const* keys, Py_ssize_t keys_offset, PyObject* const* values,
                                       Py_ssize_t values_offset, Py_ssize_t length);
#define VARNOK_DICT_FROM_ITEMS 1
#endif

// A new dict of the pairs in `objects`: key, value, key, value, ... Null with an exception.
PyRef dict_of_pairs(std::span<const PyRef> objects) noexcept {
  const auto pairs = static_cast<Py_ssize_t>(objects.size() / 2);
#ifdef VARNOK_DICT_FROM_ITEMS
  if (pairs == 0) return PyRef::steal(PyDict_New());  // (an empty vector's data may be null)
  // A PyRef is its pointer (checked below), so the references read as an array of objects.
  const auto* items = reinterpret_cast<PyObject* const*>(objects.data());
  return PyRef::steal(_PyDict_FromItems(items, 2, items + 1, 2, pairs));
#else
  // Sized for its entries at once, instead of growing three times on the way to ~30.
  PyRef dict = PyRef::steal(_PyDict_NewPresized(pairs));
  if (!dict) return {};
  for (std::size_t i = 0; i + 1 < objects.size(); i += 2) {
    if (PyDict_SetItem(dict.get(), objects[i].get(), objects[i + 1].get()) < 0) return {};
  }
  return dict;
#endif
}
static_assert(sizeof(PyRef) == sizeof(PyObject*) && std::is_standard_layout_v<PyRef>);

enum class WalkStep : std::uint8_t { Entry, End, ChangedSize, KeysChanged };

// One step of the read-back walk; the caller holds the dict's critical section.
WalkStep next_entry_lock_held(PyObject* dict, Py_ssize_t start_size, Py_ssize_t produced,
                              Py_ssize_t& pos, PyRef& key, PyRef& value) noexcept {
  if (PyDict_GET_SIZE(dict) != start_size) return WalkStep::ChangedSize;
  PyObject* k = nullptr;  // borrowed: valid while the critical section is held
  PyObject* v = nullptr;
  if (!PyDict_Next(dict, &pos, &k, &v)) return WalkStep::End;
  if (produced == start_size) return WalkStep::KeysChanged;
  key = PyRef::borrow(k);
  value = PyRef::borrow(v);
  return WalkStep::Entry;
}

WalkStep next_entry(PyObject* dict, Py_ssize_t start_size, Py_ssize_t produced, Py_ssize_t& pos,
                    PyRef& key, PyRef& value) noexcept {
  CriticalSection section(dict);
  return next_entry_lock_held(dict, start_size, produced, pos, key, value);
}

#ifdef Py_GIL_DISABLED
// Whether `dict` holds exactly the pairs of `read` (key, value, key, value, ...), the same
// objects in the same order, all at one moment.
bool holds_exactly(PyObject* dict, std::span<const PyRef> read) noexcept {
  CriticalSection section(dict);
  if (static_cast<std::size_t>(PyDict_GET_SIZE(dict)) * 2 != read.size()) return false;
  Py_ssize_t pos = 0;
  PyObject* key = nullptr;
  PyObject* value = nullptr;
  for (std::size_t i = 0; PyDict_Next(dict, &pos, &key, &value); i += 2) {
    if (key != read[i].get() || value != read[i + 1].get()) return false;
  }
  return true;
}
#endif

}  // namespace

PythonHook::PythonHook(PyObject* hook) noexcept : hook_(PyRef::borrow(hook)) {}

PyRef PythonHook::key_object(std::string_view key, std::optional<DocumentField> field) noexcept {
  if (field) return PyRef::borrow(document_key(*field));
  // Bounded, so that a statement of ever new keys does not grow it without end.
  constexpr std::size_t kMaxKeys = 256;
  if (const auto it = keys_.find(key); it != keys_.end()) return PyRef::borrow(it->second.get());
  PyRef object = new_str(key);
  if (object && keys_.size() < kMaxKeys) {
    try {
      keys_.emplace(std::string(key), PyRef::borrow(object.get()));
    } catch (const std::bad_alloc&) {
      // Only a cache: the key is still given, just not kept.
    }
  }
  return object;
}

bool PythonHook::attribute_objects(const Attributes& attrs, std::vector<PyRef>& objects) noexcept {
  objects.clear();
  for (std::size_t i = 0; i < attrs.size(); ++i) {
    const Attributes::Entry& entry = attrs.entries()[i];
    const std::optional<DocumentField> field = attrs.field_at(i);
    PyRef key = key_object(entry.key, field);
    if (!key) return false;
    PyRef value = PyRef::steal(field ? cached_str(values_.get(), *field, entry.value) : new_str_from_utf8(entry.value));
    if (!value) return false;
    objects.push_back(std::move(key));  // (room reserved by the caller)
    objects.push_back(std::move(value));
  }
  return true;
}

PyRef PythonHook::take_spare(std::span<const PyRef> objects) noexcept {
  const auto same_keys = [objects](const std::vector<PyRef>& held) {
    if (held.size() != objects.size()) return false;
    // From the end: shapes that differ share their first keys more often than their last.
    for (std::size_t i = objects.size(); i >= 2; i -= 2)
      if (objects[i - 2].get() != held[i - 2].get()) return false;
    return true;
  };
  for (Spare& spare : spares_) {
    if (!spare.dict || !same_keys(spare.objects)) continue;
    PyRef dict = std::move(spare.dict);
    const bool refilled = refill(dict.get(), spare.objects, objects);
    spare.objects.clear();
    return refilled ? std::move(dict) : PyRef();
  }
  return {};
}

void PythonHook::keep_spare(PyRef dict) noexcept {
  Spare* slot = &spares_.front();
  for (Spare& spare : spares_) {
    if (!spare.dict) {
      slot = &spare;
      break;
    }
    if (spare.used < slot->used) slot = &spare;
  }
  slot->dict = std::move(dict);  // (the least recent spare goes)
  std::swap(slot->objects, given_);
  slot->used = ++kept_;
}

HookOutcome PythonHook::call(SectionType type, Attributes& attrs, const Attributes& header) {
  EnsureGil gil;
  try {
    given_.reserve(2 * std::max(attrs.size(), header.size()));
    if (!header_) {
      if (attribute_objects(header, given_)) header_ = dict_of_pairs(given_);
      if (!header_) return fail_with_raised_exception();
    }
    if (!attribute_objects(attrs, given_)) return fail_with_raised_exception();
    // Spares pay when about one call in five or more finds one (a statement whose documents
    // each have their own set of fields would only pay for the search): a find earns four
    // calls' credit, a miss spends one, and without credit spares are looked at in only
    // two calls of every 64, to notice shapes that start repeating.
    const bool use_spares = spare_credit_ > 0 || (++calls_ & 63) < 2;
    PyRef attrs_dict = use_spares ? take_spare(given_) : PyRef();
    if (use_spares) spare_credit_ = attrs_dict ? std::min(spare_credit_ + 4, 64) : std::max(spare_credit_ - 1, 0);
    bool watched = true;  // (a spare is watched)
    if (!attrs_dict) {
      attrs_dict = dict_of_pairs(given_);
      if (!attrs_dict) return fail_with_raised_exception();
      watched = watch_changes(attrs_dict.get());
    }
    // A copy of the header for the hook, which may change or keep the dict it is given; the
    // last call's copy serves again when that call neither changed it nor kept it.
    if (!header_given_) {
      header_given_ = PyRef::steal(PyDict_Copy(header_.get()));
      if (!header_given_) return fail_with_raised_exception();
      header_watched_ = watch_changes(header_given_.get());
    }
    PyRef section_type = PyRef::borrow(section_type_member(type));

    // Slot 0 is spare so that a bound method can be called without copying the arguments.
    PyObject* args[] = {nullptr, section_type.get(), attrs_dict.get(), header_given_.get()};
    const std::uint64_t changes = g_attrs_changes.load();
    PyRef result = PyRef::steal(
        PyObject_Vectorcall(hook_.get(), args + 1, 3 | PY_VECTORCALL_ARGUMENTS_OFFSET, nullptr));
    if (!result) {
      // Ctrl-C (KeyboardInterrupt), SystemExit and the like are the program's, not a failure
      // of the hook: the read is given up and they reach parse's caller as they are.
      if (!PyErr_ExceptionMatches(PyExc_Exception)) {
        passed_on_ = PyRef::steal(PyErr_GetRaisedException());
        return HookOutcome::Abandon("interrupted");
      }
      return fail_with_raised_exception();
    }
    result = PyRef();  // (its release may run code that changes the dicts: counted too)
    const bool unchanged = g_attrs_changes.load() == changes;
    if (!(unchanged && header_watched_ && Py_REFCNT(header_given_.get()) == 1)) header_given_ = PyRef();
    if (watched && unchanged) {
      // Neither changed nor kept: a later section with the same keys gets it refilled.
      if (use_spares && Py_REFCNT(attrs_dict.get()) == 1) keep_spare(std::move(attrs_dict));
      given_.clear();
      return HookOutcome::Continue();
    }
    HookOutcome outcome = read_back(attrs_dict.get(), attrs);
    given_.clear();
    return outcome;
  } catch (const std::bad_alloc&) {
    PyErr_NoMemory();
    return fail_with_raised_exception();
  }
}

// What the dict holds now is the section; a change by another thread between two steps
// abandons the read instead of building from a half-changed dict. While every entry is
// still the object given in its place, nothing is copied: a hook that only reads leaves
// attrs as it was.
HookOutcome PythonHook::read_back(PyObject* dict, Attributes& attrs) {
  const std::span<const Attributes::Entry> original = attrs.entries();
  const Py_ssize_t start_size = PyDict_Size(dict);
  bool changed = false;
  Py_ssize_t pos = 0;
#ifdef Py_GIL_DISABLED
  // A value replaced between two steps changes no size: what was read must still be what
  // the dict holds when the walk is done.
  struct Forget {
    std::vector<PyRef>& read;
    ~Forget() { read.clear(); }
  } forget{read_};
#endif
  for (Py_ssize_t produced = 0;; ++produced) {
    PyRef key;
    PyRef value;
    switch (next_entry(dict, start_size, produced, pos, key, value)) {
      case WalkStep::End:
#ifdef Py_GIL_DISABLED
        if (!holds_exactly(dict, read_)) return HookOutcome::Abandon("dictionary changed during iteration");
#endif
        if (!changed && static_cast<std::size_t>(produced) == original.size()) return HookOutcome::Continue();
        if (!changed) copy_unchanged(original, static_cast<std::size_t>(produced));
        std::swap(attrs, scratch_);
        return HookOutcome::Continue();
      case WalkStep::ChangedSize:
        return HookOutcome::Abandon("dictionary changed size during iteration");
      case WalkStep::KeysChanged:
        return HookOutcome::Abandon("dictionary keys changed during iteration");
      case WalkStep::Entry:
        break;
    }
#ifdef Py_GIL_DISABLED
    read_.push_back(PyRef::borrow(key.get()));
    read_.push_back(PyRef::borrow(value.get()));
#endif
    // An object still in the place it was given in is the entry's own text.
    const auto at = static_cast<std::size_t>(produced);
    const bool same_place = at < original.size();
    const bool same_key = same_place && key.get() == given_[2 * at].get();
    const bool same_value = same_place && value.get() == given_[2 * at + 1].get();
    if (!changed) {
      if (same_key && same_value) continue;
      changed = true;
      copy_unchanged(original, at);
    }
    std::optional<std::string_view> key_text = same_key ? original[at].key : attribute_text(key.get());
    if (!key_text) return fail_with_raised_exception();
    std::optional<std::string_view> value_text = same_value ? original[at].value : attribute_text(value.get());
    if (!value_text) return fail_with_raised_exception();
    scratch_.set(*key_text, *value_text);
  }
}

void PythonHook::copy_unchanged(std::span<const Attributes::Entry> original, std::size_t count) {
  scratch_.clear();
  for (const Attributes::Entry& entry : original.first(count)) scratch_.set(entry.key, entry.value);
}

}  // namespace varnok::py
