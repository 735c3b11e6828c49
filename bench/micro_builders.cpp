// Microbenchmarks of section handling: filling the attribute map, the field-table lookup,
// building documents and account intervals.
#include <vector>

#include <benchmark/benchmark.h>

#include <varnok/attributes.hpp>
#include <varnok/fields.hpp>

#include "micro_inputs.hpp"
#include "parser/account_builder.hpp"
#include "parser/document_builder.hpp"
#include "testing.hpp"

namespace varnok::bench {
namespace {

struct Prepared {
  std::vector<Attributes> attributes;
  std::vector<std::string_view> kinds;
  std::size_t entries = 0;
};

Prepared prepare(benchmark::State& state, bool documents) {
  Prepared p;
  for (const SectionLines& s : input_sections(InputEncoding::Utf8, state)) {
    if (s.is_document != documents) continue;
    Attributes& a = p.attributes.emplace_back();
    for (const auto& [key, value] : s.attributes) a.set(key, value);
    p.kinds.push_back(s.kind);
    p.entries += a.size();
  }
  return p;
}

// What the reader does per attribute line: one map reused for every section.
void BM_AttributesSet(benchmark::State& state) {
  const auto& sections = input_sections(InputEncoding::Utf8, state);
  std::size_t lines = 0;
  for (const SectionLines& s : sections) lines += s.attributes.size();
  Attributes attrs;
  for (auto _ : state) {
    for (const SectionLines& s : sections) {
      attrs.clear();
      for (const auto& [key, value] : s.attributes) attrs.set(key, value);
      benchmark::DoNotOptimize(attrs.size());
    }
  }
  state.counters["attribute"] = per_item(static_cast<double>(lines));
  state.counters["section"] = per_item(static_cast<double>(sections.size()));
}
BENCHMARK(BM_AttributesSet)->Unit(benchmark::kMillisecond);

void BM_FindDocumentField(benchmark::State& state) {
  const Prepared p = prepare(state, true);
  for (auto _ : state) {
    for (const Attributes& a : p.attributes) {
      for (const Attributes::Entry& e : a) benchmark::DoNotOptimize(find_document_field(e.key));
    }
  }
  state.counters["key"] = per_item(static_cast<double>(p.entries));
}
BENCHMARK(BM_FindDocumentField)->Unit(benchmark::kMillisecond);

void BM_BuildDocument(benchmark::State& state) {
  const Prepared p = prepare(state, true);
  for (auto _ : state) {
    for (std::size_t i = 0; i < p.attributes.size(); ++i) {
      auto doc = build_document(p.attributes[i], p.kinds[i]);
      benchmark::DoNotOptimize(doc);
    }
  }
  state.counters["document"] = per_item(static_cast<double>(p.attributes.size()));
  state.counters["attribute"] = per_item(static_cast<double>(p.entries));
}
BENCHMARK(BM_BuildDocument)->Unit(benchmark::kMillisecond);

// Building every document of the statement into one vector, as the reader does, so the
// cost of growing and moving the vector is included.
void BM_BuildDocumentsIntoVector(benchmark::State& state) {
  const Prepared p = prepare(state, true);
  for (auto _ : state) {
    std::vector<Document> docs;
    for (std::size_t i = 0; i < p.attributes.size(); ++i) {
      if (auto doc = build_document(p.attributes[i], p.kinds[i])) docs.push_back(std::move(*doc));
    }
    benchmark::DoNotOptimize(docs.data());
  }
  state.counters["document"] = per_item(static_cast<double>(p.attributes.size()));
}
BENCHMARK(BM_BuildDocumentsIntoVector)->Unit(benchmark::kMillisecond);

void BM_BuildIntervalAndMerge(benchmark::State& state) {
  const Prepared p = prepare(state, false);
  for (auto _ : state) {
    AccountMap accounts;
    IntervalMerger merger;
    for (const Attributes& a : p.attributes) {
      if (auto built = build_interval(a)) merger.add(accounts, built->number, std::move(built->interval));
    }
    IntervalMerger::finish(accounts);
    benchmark::DoNotOptimize(accounts.size());
  }
  state.counters["section"] = per_item(static_cast<double>(p.attributes.size()));
}
BENCHMARK(BM_BuildIntervalAndMerge)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace varnok::bench
