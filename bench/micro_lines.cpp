// Microbenchmarks of line reading: cutting lines, trimming them, classifying them.
#include <benchmark/benchmark.h>

#include "micro_inputs.hpp"
#include "parser/lines.hpp"

namespace varnok::bench {
namespace {

enum class Stage { Cut, Trim, Classify };

// Each stage does the work of the ones before it, so the differences are the stage's cost.
template <Stage kStage>
void BM_Lines(benchmark::State& state) {
  const auto e = static_cast<InputEncoding>(state.range(0));
  const std::string& text = input_text(e, state);
  std::uint64_t lines = 0;
  for (auto _ : state) {
    LineCursor cursor(text);
    std::string_view raw;
    std::size_t sum = 0;
    lines = 0;
    while (cursor.next(raw)) {
      ++lines;
      if constexpr (kStage == Stage::Cut) {
        sum += raw.size();
      } else {
        const std::string_view line = trim(raw);
        if constexpr (kStage == Stage::Trim) {
          sum += line.size();
        } else if (!line.empty()) {
          const auto c = classify(line);
          sum += c ? c->key.size() + c->value.size() : 0;
        }
      }
    }
    benchmark::DoNotOptimize(sum);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
  state.counters["line"] = per_item(static_cast<double>(lines));
  state.SetLabel(e == InputEncoding::Cp1251 ? "cp1251 (decoded)" : "utf-8");
}
BENCHMARK(BM_Lines<Stage::Cut>)->Name("BM_LinesCut")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Lines<Stage::Trim>)->Name("BM_LinesTrimmed")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Lines<Stage::Classify>)->Name("BM_LinesClassified")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace varnok::bench
