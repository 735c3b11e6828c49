// Splitting a long loop over two threads, for the work on one large statement.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <exception>
#include <mutex>
#include <system_error>
#include <thread>

namespace varnok::native {

// Below this many items (or bytes of input) a second thread costs more than it saves.
inline constexpr std::size_t kTwoThreadsMinimum = 256;
inline constexpr std::size_t kTwoThreadsMinimumBytes = 256 * 1024;

// Whether the machine has a second CPU (asked once: the library asks the kernel).
inline bool two_cpus() {
  static const bool two = std::thread::hardware_concurrency() >= 2;
  return two;
}

// Runs work(first, last) over [0, n): the second half on a helper thread when the work is
// `large` (by default, n is at least kTwoThreadsMinimum) and the machine has two CPUs, else
// all of it here. An exception of either half (only std::bad_alloc) is raised here once
// both are done.
template <class Work>
void on_two_threads(std::size_t n, Work work, bool large) {
  if (!large || n < 2 || !two_cpus()) return work(std::size_t{0}, n);
  std::exception_ptr helper_failure;
  {
    // A plain std::thread joined by hand: std::jthread's stop token needs a libstdc++
    // newer than the wheels' manylinux policy allows.
    std::thread helper;
    try {
      helper = std::thread([&] {
        try {
          work(n / 2, n);
        } catch (...) {
          helper_failure = std::current_exception();
        }
      });
    } catch (const std::system_error&) {
      return work(std::size_t{0}, n);  // no thread to be had: all of it here
    }
    struct Join {
      std::thread& t;
      ~Join() { t.join(); }
    } join{helper};  // joins the helper, also when this half throws
    work(std::size_t{0}, n / 2);
  }
  if (helper_failure) std::rethrow_exception(helper_failure);
}

template <class Work>
void on_two_threads(std::size_t n, Work work) {
  on_two_threads(n, work, n >= kTwoThreadsMinimum);
}

// Runs ahead() on a helper thread while this thread runs first(); when first() returns
// true, both then run shared() (work that each takes in pieces until none is left), else
// the helper stops. On one thread (work not `large`, one CPU, no thread to be had):
// first(), then ahead() and shared() when it returned true. An exception of either side
// (only std::bad_alloc) is raised here once both are done.
template <class Ahead, class First, class Shared>
void beside_helper(bool large, Ahead ahead, First first, Shared shared) {
  const auto alone = [&] {
    if (!first()) return;
    ahead();
    shared();
  };
  if (!large || !two_cpus()) return alone();
  enum class Next { Wait, Share, Stop };
  Next next = Next::Wait;
  std::mutex mutex;
  std::condition_variable changed;
  std::exception_ptr helper_failure;
  {
    std::thread helper;
    try {
      helper = std::thread([&] {
        try {
          ahead();
          std::unique_lock lock(mutex);
          changed.wait(lock, [&] { return next != Next::Wait; });
          const bool share = next == Next::Share;
          lock.unlock();
          if (share) shared();
        } catch (...) {
          helper_failure = std::current_exception();
        }
      });
    } catch (const std::system_error&) {
      return alone();
    }
    const auto tell = [&](Next what) {
      {
        const std::lock_guard lock(mutex);
        if (next != Next::Wait) return;
        next = what;
      }
      changed.notify_one();
    };
    struct Finish {
      std::thread& t;
      decltype(tell)& stop;
      ~Finish() {
        stop(Next::Stop);  // when first() threw
        t.join();
      }
    } finish{helper, tell};
    const bool share = first();
    tell(share ? Next::Share : Next::Stop);
    if (share) shared();
  }
  if (helper_failure) std::rethrow_exception(helper_failure);
}

}  // namespace varnok::native
