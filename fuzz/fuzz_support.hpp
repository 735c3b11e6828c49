// Small helpers for the fuzz targets: failing loudly with a reason, and a byte stream
// that drives choices without taking bytes away from the input itself.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string_view>

namespace varnok::fuzz {

// An invariant did not hold: say which, then abort so libFuzzer keeps the input.
[[noreturn]] inline void fail(std::string_view what) {
  std::fprintf(stderr, "invariant violated: %.*s\n", static_cast<int>(what.size()), what.data());
  std::abort();
}

inline void require(bool ok, std::string_view what) {
  if (!ok) fail(what);
}

// Reads the input's bytes from its end backwards, wrapping around, so the same input both
// is the statement and decides what the hooks do; an empty input gives zeros.
class ChoiceStream {
 public:
  explicit ChoiceStream(std::string_view data) noexcept : data_(data) {}

  [[nodiscard]] std::uint8_t byte() noexcept {
    if (data_.empty()) return 0;
    const auto b = static_cast<std::uint8_t>(data_[data_.size() - 1 - pos_ % data_.size()]);
    ++pos_;
    return b;
  }
  // A number in [0, n), n > 0.
  [[nodiscard]] std::size_t below(std::size_t n) noexcept {
    const std::size_t v = (static_cast<std::size_t>(byte()) << 8) | byte();
    return v % n;
  }
  // A slice of the input of at most max_len bytes.
  [[nodiscard]] std::string_view slice(std::size_t max_len) noexcept {
    if (data_.empty()) return {};
    const std::size_t start = below(data_.size());
    return data_.substr(start, below(max_len + 1));
  }

 private:
  std::string_view data_;
  std::size_t pos_ = 0;
};

}  // namespace varnok::fuzz
