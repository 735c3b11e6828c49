// Loading the generated statements once per process for the microbenchmarks.
#include "micro_inputs.hpp"

#include <cstdlib>
#include <fstream>
#include <iterator>

#include "parser/decode.hpp"
#include "parser/lines.hpp"
#include "testing.hpp"

namespace varnok::bench {
namespace {

struct Loaded {
  std::string bytes;
  std::string text;
  std::vector<SectionLines> sections;
  std::string error;  // why the input is missing; empty when loaded
};

std::vector<SectionLines> cut_sections(std::string_view text) {
  std::vector<SectionLines> out;
  LineCursor cursor(text);
  std::string_view raw;
  SectionLines* open = nullptr;
  while (cursor.next(raw)) {
    const std::string_view line = trim(raw);
    if (line.empty()) continue;
    const auto c = classify(line);
    if (!c) continue;
    switch (c->kind) {
      case LineKind::AccountStart:
      case LineKind::DocumentStart:
        open = &out.emplace_back();
        open->is_document = c->kind == LineKind::DocumentStart;
        open->kind = c->value;
        break;
      case LineKind::Attribute:
        if (open) open->attributes.emplace_back(c->key, c->value);
        break;
      default:
        open = nullptr;
        break;
    }
  }
  return out;
}

// Fills `l` in place: the sections view l.text, which must not move afterwards.
void load(InputEncoding e, Loaded& l) {
  const char* var = e == InputEncoding::Cp1251 ? "VARNOK_BENCH_CP1251" : "VARNOK_BENCH_UTF8";
  const char* path = std::getenv(var);
  if (!path || !*path) {
    l.error = std::string(var) + " is not set (run through tools/bench)";
    return;
  }
  std::ifstream in(path, std::ios::binary);
  l.bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  if (l.bytes.empty()) {
    l.error = std::string("cannot read ") + path;
    return;
  }
  auto decoded = decode_input(l.bytes);
  if (!decoded) {
    l.error = std::string(path) + " does not decode";
    l.bytes.clear();
    return;
  }
  l.text = std::string(decoded->text.text());
  l.sections = cut_sections(l.text);
}

const Loaded& loaded(InputEncoding e, benchmark::State& state) {
  static Loaded inputs[2];
  static const bool ready = (load(InputEncoding::Cp1251, inputs[0]), load(InputEncoding::Utf8, inputs[1]), true);
  (void)ready;
  const Loaded& l = inputs[e == InputEncoding::Cp1251 ? 0 : 1];
  if (!l.error.empty()) state.SkipWithError(l.error);
  return l;
}

}  // namespace

const std::string& input_bytes(InputEncoding e, benchmark::State& state) { return loaded(e, state).bytes; }
const std::string& input_text(InputEncoding e, benchmark::State& state) { return loaded(e, state).text; }
const std::vector<SectionLines>& input_sections(InputEncoding e, benchmark::State& state) {
  return loaded(e, state).sections;
}

}  // namespace varnok::bench
