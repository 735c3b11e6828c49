// Fuzzes parse_statement on raw bytes: once without hooks, once with a hook that only
// counts, and once with a hook that rewrites, adds, removes and reorders attributes and
// sometimes fails, driven by the input. Checks the invariants of every result.
#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

#include <varnok/attributes.hpp>
#include <varnok/hooks.hpp>
#include <varnok/varnok.hpp>

#include "fuzz_support.hpp"
#include "invariants.hpp"
#include "parser/decode.hpp"
#include "parser/reader.hpp"
#include "testing.hpp"

namespace {

using namespace varnok;
using varnok::fuzz::require;

// Counts section ends by type and checks that every call sees the same header and a
// well-formed attribute map (each key found under its own value).
class CountingHook final : public SectionHook {
 public:
  HookOutcome call(SectionType type, Attributes& attrs, const Attributes& header) override {
    ++(type == SectionType::Document ? documents : accounts);
    if (!first_header_) first_header_ = header;
    require(header == *first_header_, "hooks saw different headers");
    for (const Attributes::Entry& e : attrs) {
      const std::string_view* found = attrs.find(e.key);
      require(found != nullptr && *found == e.value, "attribute lookup disagrees with the entries");
    }
    return HookOutcome::Continue();
  }

  [[nodiscard]] const std::optional<Attributes>& header() const noexcept { return first_header_; }

  std::size_t documents = 0;
  std::size_t accounts = 0;

 private:
  std::optional<Attributes> first_header_;
};

constexpr std::array<std::string_view, 24> kKeys = {
    "ДатаНачала", "ДатаКонца", "РасчСчет", "НачальныйОстаток", "КонечныйОстаток", "ВсегоПоступило",
    "ВсегоСписано", "Номер", "Дата", "Сумма", "СекцияДокумент", "НазначениеПлатежа", "ПлательщикИНН",
    "ПлательщикБИК", "ПлательщикБанк1", "ПлательщикСчет", "ПолучательИНН", "ПолучательСчет",
    "ПолучательБИК", "ПолучательБанк1", "ДатаСписано", "ДатаПоступило", "", "номер"};

constexpr std::array<std::string_view, 16> kValues = {
    "05.01.2024", "", " ", "29.02.2023", "1e3", "-0", "100.50", "79228162514264337593543950336",
    "0.00000000000000000000000000005", "05.01.2024 ", " 05.01.2024", "40702810000000000001", "1_500.00",
    "31.12.-262143", "12,50", "\xD0"};

// The attributes as a plain list, kept beside the map to check it after every change.
using Model = std::vector<std::pair<std::string, std::string>>;

void model_set(Model& m, std::string_view key, std::string_view value) {
  const auto it = std::ranges::find(m, key, &Model::value_type::first);
  if (it != m.end()) {
    it->second = value;
  } else {
    m.emplace_back(key, value);
  }
}

void load(Attributes& attrs, const Model& m) {
  attrs.clear();
  for (const auto& [k, v] : m) attrs.set(k, v);
}

bool matches(const Attributes& attrs, const Model& m) {
  return std::ranges::equal(attrs.entries(), m, [](const Attributes::Entry& e, const Model::value_type& p) {
    return e.key == p.first && e.value == p.second;
  });
}

// Edits the section's attributes by a script read from the input; remembers the message
// of the one failure it may return.
class ScriptedHook final : public SectionHook {
 public:
  explicit ScriptedHook(std::string_view data) noexcept : choices_(data) {}

  HookOutcome call(SectionType, Attributes& attrs, const Attributes&) override {
    require(!failure_, "a hook was called after it failed");
    ++calls;
    Model m;
    for (const Attributes::Entry& e : attrs) m.emplace_back(e.key, e.value);
    for (int step = 0; step < 4; ++step) {
      const std::uint8_t op = choices_.byte() % 9;
      if (op == 0) break;
      switch (op) {
        case 1:  // rewrite a value
          if (!m.empty()) m[choices_.below(m.size())].second = value();
          break;
        case 2:  // add or replace a known key
          model_set(m, kKeys[choices_.below(kKeys.size())], value());
          break;
        case 3:  // add a key cut from the input
          model_set(m, choices_.slice(12), value());
          break;
        case 4:  // remove an entry
          if (!m.empty()) m.erase(m.begin() + static_cast<std::ptrdiff_t>(choices_.below(m.size())));
          break;
        case 5:
          std::ranges::reverse(m);
          break;
        case 6:
          if (!m.empty()) std::ranges::rotate(m, m.begin() + static_cast<std::ptrdiff_t>(choices_.below(m.size())));
          break;
        case 7:
          m.clear();
          break;
        case 8:  // fail now and then
          if (choices_.byte() % 4 == 0) {
            failure_ = std::string("scripted: ") + std::string(choices_.slice(16));
            return HookOutcome::Fail(*failure_);
          }
          break;
      }
    }
    load(attrs, m);
    require(matches(attrs, m), "attributes differ from the list they were loaded from");
    return HookOutcome::Continue();
  }

  [[nodiscard]] const std::optional<std::string>& failure() const noexcept { return failure_; }
  std::size_t calls = 0;

 private:
  std::string_view value() noexcept {
    const std::uint8_t pick = choices_.byte();
    return pick < 128 ? kValues[pick % kValues.size()] : choices_.slice(24);
  }

  fuzz::ChoiceStream choices_;
  std::optional<std::string> failure_;
};

void check_invariants(const check::Result& r, std::uint64_t lines, Encoding encoding) {
  const std::string why = check::result_violation(r, lines);
  require(why.empty(), why);
  if (r) require(r->encoding == encoding, "statement encoding differs from the decoder's");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);

  const auto decoded = decode_input(input);
  const check::Result plain = parse_statement(input);
  if (!decoded) {
    require(!plain && plain.error() == decoded.error(), "a decoding failure was not returned as it is");
    return 0;
  }
  const std::uint64_t lines = check::count_lines(decoded->text.text());
  check_invariants(plain, lines, decoded->encoding);
  if (!plain) require(!std::holds_alternative<error::HookError>(plain.error()), "HookError without hooks");

  CountingHook counter;
  {
    SectionHook* hooks[] = {&counter};
    const check::Result observed = parse_statement(input, hooks);
    require(check::same_result(plain, observed), "a hook that changes nothing changed the result");
    if (plain) {
      require(counter.documents == plain->documents.size() + plain->warnings.size(),
              "documents + warnings differ from the document sections completed");
      std::size_t intervals = 0;
      for (const Account& a : plain->accounts.items()) intervals += a.intervals.size();
      require(intervals <= counter.accounts, "more intervals than account sections");
      require(plain->accounts.empty() == (counter.accounts == 0), "accounts without account sections");
      require(counter.header().value_or(plain->header) == plain->header, "hooks saw a header other than the result's");
    }
  }

  ScriptedHook scripted(input);
  CountingHook after;
  SectionHook* hooks[] = {&scripted, &after};
  const check::Result edited = parse_statement(input, hooks);
  check_invariants(edited, lines, decoded->encoding);
  if (scripted.failure()) {
    require(!edited && std::holds_alternative<error::HookError>(edited.error()), "a failing hook did not fail the read");
    require(std::get<error::HookError>(edited.error()).message == *scripted.failure(), "hook message changed");
    require(after.documents + after.accounts + 1 == scripted.calls, "hooks after a failing one were called");
  } else {
    require(after.documents + after.accounts == scripted.calls, "the second hook missed a section");
    if (edited) {
      require(after.documents == edited->documents.size() + edited->warnings.size(),
              "documents + warnings differ from the document sections completed (hooked)");
    } else {
      require(!std::holds_alternative<error::HookError>(edited.error()), "HookError though no hook failed");
    }
  }
  return 0;
}
