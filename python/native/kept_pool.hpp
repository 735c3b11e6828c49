// Buffers kept from one call to the next, for any thread: a new thread (each batch starts
// its own) then reuses memory already faulted in instead of growing and faulting in its
// own, as a thread_local would.
#pragma once

#include <cstddef>
#include <mutex>
#include <new>
#include <utility>
#include <vector>

namespace varnok::native {

template <class T, std::size_t kKept>
class KeptPool {
 public:
  // One kept earlier, or a new one.
  T take() {
    std::lock_guard lock(mutex_);
    if (items_.empty()) return T{};
    T item = std::move(items_.back());
    items_.pop_back();
    return item;
  }
  // Kept when fewer than kKept are (the caller trims it first), else dropped.
  void keep(T&& item) noexcept {
    std::lock_guard lock(mutex_);
    if (items_.size() >= kKept) return;
    try {
      items_.push_back(std::move(item));
    } catch (const std::bad_alloc&) {
    }
  }

 private:
  std::mutex mutex_;
  std::vector<T> items_;
};

}  // namespace varnok::native
