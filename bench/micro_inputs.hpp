// Inputs shared by the microbenchmarks: generated statements named by the environment
// (VARNOK_BENCH_CP1251, VARNOK_BENCH_UTF8; tools/bench sets them), loaded once, and the
// sections cut from them.
#pragma once

#include <benchmark/benchmark.h>

#include <cstddef>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace varnok::bench {

enum class InputEncoding { Cp1251, Utf8 };

// The statement's raw bytes; empty (and the benchmark skipped with a message) when the
// variable is unset or the file cannot be read.
const std::string& input_bytes(InputEncoding e, benchmark::State& state);

// The statement as UTF-8 text (decoded once, outside any timing).
const std::string& input_text(InputEncoding e, benchmark::State& state);

// One section of the statement: its kind (empty for an account section) and its
// key/value pairs as read, trimmed; views into input_text.
struct SectionLines {
  bool is_document = false;
  std::string_view kind;
  std::vector<std::pair<std::string_view, std::string_view>> attributes;
};
const std::vector<SectionLines>& input_sections(InputEncoding e, benchmark::State& state);

// Counts `n` things per iteration as a time per thing ("ns/line" shows seconds per line).
inline benchmark::Counter per_item(double n) {
  return benchmark::Counter(n, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

}  // namespace varnok::bench
