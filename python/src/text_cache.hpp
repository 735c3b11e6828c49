// TextCache: the str objects lately made for each document field, found again by text.
#pragma once

#include <Python.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>

#include <varnok/fields.hpp>

namespace varnok::py {

// A statement repeats most of its values from document to document (its own account and
// bank, the counterparties, the dates): a value found here costs a hash and a compare
// instead of an allocation and a decode, and every row that holds it shares one object.
// Per field, a small two-way set-associative table: its size stays fixed whatever the
// input, a field whose values never repeat (numbers, amounts) only churns its own slots,
// and two frequent values that pick the same set (the own bank beside another) both stay.
// Shared by the documents of one statement. With the interpreter lock nothing in here can
// let another thread run. On the free-threaded build only the thread that made the cache
// uses it (the one that parsed, which is nearly always the one that reads) and others make
// their values afresh: no lock on the path every value takes, and no contention. A thread's
// identity (its id or thread pointer) is reused only once it is gone, so two threads never
// both pass as the owner.
// Destroyed, like made, with an attached thread state (it drops its references).
class TextCache {
 public:
  // A cache for a statement of `documents` documents; null when so few that it would
  // not pay (or on memory failure: it is only a cache).
  [[nodiscard]] static std::shared_ptr<TextCache> for_documents(std::size_t documents) noexcept;

  TextCache(std::size_t sets_per_field, std::size_t documents) noexcept;
  ~TextCache();
  TextCache(const TextCache&) = delete;
  TextCache& operator=(const TextCache&) = delete;

  // The str of `utf8` as a value of `field`: a new reference, null with an exception.
  [[nodiscard]] PyObject* str(DocumentField field, std::string_view utf8) noexcept;

  // Told by each document that goes, with the number of documents still holding the cache:
  // when few of those it was made for are left (a program keeps some documents of a big
  // statement and drops the rest), the table and its str objects go, and the values of
  // those documents are made afresh from then on.
  void document_gone(long documents_left) noexcept;

 private:
  // Texts longer than this are made each time (purposes): they rarely repeat. Bank and
  // company names, which do, often take 50 to 100 bytes in UTF-8.
  static constexpr std::size_t kMaxBytes = 112;  // a slot of 128 bytes
  struct Slot {
    PyObject* str = nullptr;  // owned; null while empty
    std::uint32_t hash = 0;
    std::uint8_t size = 0;  // at most kMaxBytes
    std::uint8_t recent = 0;  // in a set's first slot: the way found or filled last
    char text[kMaxBytes];
  };
  static_assert(kMaxBytes <= 255);
  struct Set {
    Slot ways[2];
  };

  [[nodiscard]] PyObject* find_or_make(Set& set, std::uint32_t hash, std::string_view utf8) noexcept;

  void release_table() noexcept;

  std::size_t sets_;  // per field, a power of two
  std::size_t documents_;  // those it was made for
  std::unique_ptr<Set[]> table_;  // made at the first value (see str())
  bool retired_ = false;  // the table went for good (see document_gone())
#ifdef Py_GIL_DISABLED
  // The calling thread, asked for every value: on x86-64 Linux the thread pointer, which
  // the ABI makes the first word of the thread's own control block (one load, where the
  // interpreter's thread id costs two calls); elsewhere that id.
  static std::uintptr_t current_thread() noexcept {
#if defined(__x86_64__) && defined(__linux__)
    std::uintptr_t self;
    asm("mov %%fs:0, %0" : "=r"(self));
    return self;
#else
    return PyThread_get_thread_ident();
#endif
  }
  std::uintptr_t owner_ = current_thread();
#endif
};

// The str for a document field's value through `cache`, or made afresh when there is none.
[[nodiscard]] PyObject* cached_str(TextCache* cache, DocumentField field, std::string_view utf8) noexcept;

}  // namespace varnok::py
