// Microbenchmarks of whole reads in the core: read on decoded text, parse_statement on the
// raw bytes, and a read with one hook that does nothing. Throughput counts input bytes,
// comparable with bench.py's table.
#include <benchmark/benchmark.h>

#include <varnok/hooks.hpp>
#include <varnok/varnok.hpp>

#include "micro_inputs.hpp"
#include "parser/reader.hpp"

namespace varnok::bench {
namespace {

const char* label(InputEncoding e) { return e == InputEncoding::Cp1251 ? "cp1251" : "utf-8"; }

void BM_Read(benchmark::State& state) {
  const auto e = static_cast<InputEncoding>(state.range(0));
  const std::string& text = input_text(e, state);
  const std::string& bytes = input_bytes(e, state);
  const Encoding enc = e == InputEncoding::Cp1251 ? Encoding::Cp1251 : Encoding::Utf8;
  for (auto _ : state) {
    auto result = read(text, enc);
    if (!result) state.SkipWithError("the statement does not read");
    benchmark::DoNotOptimize(result);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes.size()));
  state.SetLabel(label(e));
}
BENCHMARK(BM_Read)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

void BM_ParseStatement(benchmark::State& state) {
  const auto e = static_cast<InputEncoding>(state.range(0));
  const std::string& bytes = input_bytes(e, state);
  for (auto _ : state) {
    auto result = parse_statement(bytes);
    if (!result) state.SkipWithError("the statement does not read");
    benchmark::DoNotOptimize(result);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes.size()));
  state.SetLabel(label(e));
}
BENCHMARK(BM_ParseStatement)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
// Two reads at once in one process: shows contention inside the process (the allocator,
// page faults) apart from the interpreter. Bytes per second are the aggregate.
BENCHMARK(BM_ParseStatement)->Arg(0)->Arg(1)->Threads(1)->Threads(2)->UseRealTime()->Unit(benchmark::kMillisecond);

class NoopHook final : public SectionHook {
 public:
  HookOutcome call(SectionType, Attributes&, const Attributes&) override { return HookOutcome::Continue(); }
};

void BM_ParseStatementNoopHook(benchmark::State& state) {
  const auto e = static_cast<InputEncoding>(state.range(0));
  const std::string& bytes = input_bytes(e, state);
  NoopHook hook;
  SectionHook* const hooks[] = {&hook};
  for (auto _ : state) {
    auto result = parse_statement(bytes, hooks);
    benchmark::DoNotOptimize(result);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes.size()));
  state.SetLabel(label(e));
}
BENCHMARK(BM_ParseStatementNoopHook)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace varnok::bench
