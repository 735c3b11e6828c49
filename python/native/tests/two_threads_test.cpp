// The native exports' ways of using a second thread: every item done once, the helper's
// work beside the caller's, and a failure of either side raised once both are done.
#include "two_threads.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <new>
#include <vector>

namespace varnok::native {
namespace {

TEST(OnTwoThreads, EveryItemOnceAndTheHelpersFailureRaisedHere) {
  for (const bool large : {false, true}) {
    std::vector<std::atomic<int>> done(1000);
    on_two_threads(done.size(), [&](std::size_t first, std::size_t last) {
      for (std::size_t i = first; i < last; ++i) ++done[i];
    }, large);
    EXPECT_TRUE(std::all_of(done.begin(), done.end(), [](const auto& n) { return n == 1; }));
  }
  EXPECT_THROW(on_two_threads(1000, [](std::size_t first, std::size_t) { if (first != 0) throw std::bad_alloc(); },
                              true),
               std::bad_alloc);
}

TEST(BesideHelper, AheadBesideFirstThenBothShare) {
  for (const bool large : {false, true}) {
    std::atomic<int> ahead{0}, sharers{0};
    std::atomic<std::size_t> next{0};
    std::vector<std::atomic<int>> done(1000);
    beside_helper(
        large, [&] { ++ahead; }, [] { return true; },
        [&] {
          ++sharers;
          for (std::size_t i; (i = next.fetch_add(1)) < done.size();) ++done[i];
        });
    EXPECT_EQ(ahead, 1);
    EXPECT_EQ(sharers, large && two_cpus() ? 2 : 1);
    EXPECT_TRUE(std::all_of(done.begin(), done.end(), [](const auto& n) { return n == 1; }));
  }
}

TEST(BesideHelper, NothingIsSharedWhenFirstSaysNo) {
  for (const bool large : {false, true}) {
    std::atomic<int> ahead{0}, sharers{0};
    beside_helper(large, [&] { ++ahead; }, [] { return false; }, [&] { ++sharers; });
    EXPECT_EQ(sharers, 0);
    EXPECT_EQ(ahead, large && two_cpus() ? 1 : 0);  // alone, ahead waits for first's yes
  }
}

TEST(BesideHelper, AFailureOfEitherSideIsRaisedOnceBothAreDone) {
  // first fails: the helper is told to stop and joined, not left waiting.
  std::atomic<bool> ahead_done{false};
  EXPECT_THROW(beside_helper(true, [&] { ahead_done = true; }, []() -> bool { throw std::bad_alloc(); }, [] {}),
               std::bad_alloc);
  EXPECT_EQ(ahead_done, two_cpus());
  // ahead fails on the helper: this thread does all of the shared work, then it is raised.
  std::atomic<std::size_t> next{0};
  std::vector<int> done(100);
  EXPECT_THROW(beside_helper(
                   true, [] { throw std::bad_alloc(); }, [] { return true; },
                   [&] {
                     for (std::size_t i; (i = next.fetch_add(1)) < done.size();) ++done[i];
                   }),
               std::bad_alloc);
  EXPECT_EQ(std::count(done.begin(), done.end(), 1), two_cpus() ? 100 : 0);
}

}  // namespace
}  // namespace varnok::native
