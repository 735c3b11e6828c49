// Microbenchmarks of input decoding: UTF-8 validation, windows-1251 decoding, decode_input.
#include <benchmark/benchmark.h>

#include "micro_inputs.hpp"
#include "parser/codecs.hpp"
#include "parser/cp1251_lines.hpp"
#include "parser/decode.hpp"
#include "testing.hpp"

namespace varnok::bench {
namespace {

void BM_ValidateUtf8(benchmark::State& state) {
  const std::string& bytes = input_bytes(InputEncoding::Utf8, state);
  for (auto _ : state) benchmark::DoNotOptimize(detail::is_valid_utf8(bytes));
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes.size()));
}
BENCHMARK(BM_ValidateUtf8)->Unit(benchmark::kMillisecond);

void BM_DecodeCp1251(benchmark::State& state) {
  const std::string& bytes = input_bytes(InputEncoding::Cp1251, state);
  for (auto _ : state) benchmark::DoNotOptimize(detail::decode_cp1251(bytes));
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes.size()));
}
BENCHMARK(BM_DecodeCp1251)->Unit(benchmark::kMillisecond);

// As a read decodes: pieces of the reader's size into one reused buffer; Arg 1 forces the
// portable path.
void BM_DecodeCp1251Pieces(benchmark::State& state) {
  const std::string& bytes = input_bytes(InputEncoding::Cp1251, state);
  constexpr std::size_t kPiece = Cp1251Lines::kPieceBytes;
  std::string out;
  for (auto _ : state) {
    for (std::size_t at = 0; at < bytes.size(); at += kPiece) {
      const std::string_view piece = std::string_view(bytes).substr(at, kPiece);
      if (state.range(0) == 0) {
        detail::decode_cp1251_into(piece, out);
      } else {
        out = detail::decode_cp1251_portable(piece);
      }
      benchmark::DoNotOptimize(out.data());
    }
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes.size()));
  state.SetLabel(state.range(0) == 0 ? "best" : "portable");
}
BENCHMARK(BM_DecodeCp1251Pieces)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

// The whole step: the UTF-8 test, and for windows-1251 the failed test, the decoding and
// the plausibility check.
void BM_DecodeInput(benchmark::State& state) {
  const auto e = static_cast<InputEncoding>(state.range(0));
  const std::string& bytes = input_bytes(e, state);
  for (auto _ : state) {
    auto decoded = decode_input(bytes);
    benchmark::DoNotOptimize(decoded);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes.size()));
  state.SetLabel(e == InputEncoding::Cp1251 ? "cp1251" : "utf-8");
}
BENCHMARK(BM_DecodeInput)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace varnok::bench
