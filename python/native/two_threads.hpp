// Splitting a long loop over two threads, for the work on one large statement.
#pragma once

#include <cstddef>
#include <exception>
#include <system_error>
#include <thread>

namespace varnok::native {

// Below this many items a second thread costs more than it saves.
inline constexpr std::size_t kTwoThreadsMinimum = 256;

// Runs work(first, last) over [0, n): the second half on a helper thread when the work is
// `large` (by default, n is at least kTwoThreadsMinimum) and the machine has two CPUs, else
// all of it here. An exception of either half (only std::bad_alloc) is raised here once
// both are done.
template <class Work>
void on_two_threads(std::size_t n, Work work, bool large) {
  if (!large || n < 2 || std::thread::hardware_concurrency() < 2) return work(std::size_t{0}, n);
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

}  // namespace varnok::native
