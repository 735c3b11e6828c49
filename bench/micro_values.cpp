// Microbenchmarks of the value parsers and formatters on the dates and amounts of a statement.
#include <benchmark/benchmark.h>

#include <string_view>
#include <vector>

#include "micro_inputs.hpp"
#include "parser/values.hpp"

namespace varnok::bench {
namespace {

// Every value of the given keys in the statement's sections, in input order.
std::vector<std::string_view> values_of(benchmark::State& state, std::initializer_list<std::string_view> keys) {
  std::vector<std::string_view> out;
  for (const SectionLines& s : input_sections(InputEncoding::Utf8, state)) {
    for (const auto& [key, value] : s.attributes) {
      for (std::string_view k : keys) {
        if (key == k) out.push_back(value);
      }
    }
  }
  return out;
}

void BM_ParseDate(benchmark::State& state) {
  const auto values = values_of(state, {"Дата", "ДатаСписано", "ДатаПоступило", "ДатаНачала", "ДатаКонца"});
  for (auto _ : state) {
    for (std::string_view v : values) benchmark::DoNotOptimize(parse_date(v));
  }
  state.counters["date"] = per_item(static_cast<double>(values.size()));
}
BENCHMARK(BM_ParseDate)->Unit(benchmark::kMicrosecond);

void BM_ParseAmount(benchmark::State& state) {
  const auto values = values_of(state, {"Сумма", "НачальныйОстаток", "КонечныйОстаток", "ВсегоПоступило",
                                        "ВсегоСписано"});
  for (auto _ : state) {
    for (std::string_view v : values) benchmark::DoNotOptimize(parse_amount(v));
  }
  state.counters["amount"] = per_item(static_cast<double>(values.size()));
}
BENCHMARK(BM_ParseAmount)->Unit(benchmark::kMicrosecond);

void BM_FormatDate(benchmark::State& state) {
  std::vector<Date> dates;
  for (std::string_view v : values_of(state, {"Дата", "ДатаСписано", "ДатаПоступило"})) {
    if (auto d = parse_date(v)) dates.push_back(*d);
  }
  for (auto _ : state) {
    for (const Date& d : dates) benchmark::DoNotOptimize(format_date(d));
  }
  state.counters["date"] = per_item(static_cast<double>(dates.size()));
}
BENCHMARK(BM_FormatDate)->Unit(benchmark::kMicrosecond);

void BM_FormatAmount(benchmark::State& state) {
  std::vector<Amount> amounts;
  for (std::string_view v : values_of(state, {"Сумма"})) {
    if (auto a = parse_amount(v)) amounts.push_back(*a);
  }
  for (auto _ : state) {
    for (const Amount& a : amounts) benchmark::DoNotOptimize(format_amount(a));
  }
  state.counters["amount"] = per_item(static_cast<double>(amounts.size()));
}
BENCHMARK(BM_FormatAmount)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace varnok::bench
