// Reads running on many threads at once, over different inputs and over the same one,
// must each give exactly the result of the same read done alone. Built with
// ThreadSanitizer by tools/test-sanitizers, this also finds any shared state.
#include <algorithm>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <latch>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include <varnok/hooks.hpp>
#include <varnok/varnok.hpp>

#include "../../fuzz/invariants.hpp"
#include "parser/reader.hpp"
#include "test_support.hpp"

namespace varnok {
namespace {

using test::to_cp1251;

constexpr int kThreads = 8;

std::string two_digits(int n) { return std::string(1, static_cast<char>('0' + n / 10)) + static_cast<char>('0' + n % 10); }

// A statement with `accounts` account sections spread over three account numbers in
// scrambled date order, and `documents` document sections of which every seventh lacks
// its amount (a warning). Deterministic in its arguments.
std::string make_statement(int accounts, int documents, std::string_view eol) {
  std::string s = "1CClientBankExchange" + std::string(eol) + "ВерсияФормата=1.03" + std::string(eol) +
                  "Отправитель=Бухгалтерия №3" + std::string(eol);
  const auto line = [&](std::string_view key, const std::string& value) {
    s.append(key).append("=").append(value).append(eol);
  };
  for (int i = 0; i < accounts; ++i) {
    const int month = 1 + (i * 5) % 12;
    s.append("СекцияРасчСчет").append(eol);
    line("ДатаНачала", "01." + two_digits(month) + ".2024");
    line("ДатаКонца", "28." + two_digits(month) + ".2024");
    line("РасчСчет", "4070281000000000000" + std::to_string(i % 3));
    line("НачальныйОстаток", std::to_string(1000 + i * 17) + ".5" + std::to_string(i % 10));
    if (i % 2 == 0) line("КонечныйОстаток", std::to_string(900 + i) + ".00");
    s.append("КонецРасчСчет").append(eol);
  }
  for (int i = 0; i < documents; ++i) {
    s.append("СекцияДокумент=Платёжное поручение").append(eol);
    line("Номер", std::to_string(i + 1));
    line("Дата", two_digits(1 + i % 28) + ".0" + std::to_string(1 + i % 9) + ".2024");
    if (i % 7 != 3) line("Сумма", std::to_string(i * 131 % 100000) + "." + two_digits(i % 100));
    line("НазначениеПлатежа", "Оплата по счёту № " + std::to_string(i) + " за услуги связи");
    line("ПлательщикИНН", "770" + std::to_string(1000000 + i));
    line("ПлательщикБИК", "044525225");
    line("ПлательщикБанк1", "ПАО Сбербанк г. Москва");
    line("ПлательщикСчет", "40702810400000001234");
    line("ПолучательИНН", "7802000002");
    line("ПолучательСчет", "40702810900000000001");
    line("ПолучательБИК", "044030653");
    line("ПолучательБанк1", "Северо-Западный банк");
    if (i % 3 == 0) line("ДатаСписано", "");
    if (i % 4 == 0) line("ДатаПоступило", "05.01.2024");
    s.append("КонецДокумента").append(eol);
  }
  s.append("КонецФайла").append(eol);
  return s;
}

std::vector<std::string> files_in(const std::filesystem::path& dir) {
  std::vector<std::string> out;
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator(dir, ec)) {
    if (entry.path().extension() != ".txt") continue;
    std::ifstream in(entry.path(), std::ios::binary);
    out.emplace_back(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  return out;
}

// Statements in both encodings, the repository's and the real samples when present, and
// inputs that fail in different ways.
std::vector<std::string> inputs() {
  std::vector<std::string> out;
  for (int n : {0, 1, 5, 40}) {
    out.push_back(make_statement(n % 7 + 1, n, "\r\n"));
    out.push_back(to_cp1251(make_statement(n % 5 + 2, n, "\n")));
  }
  for (std::string& s : files_in(VARNOK_TEST_DATA_DIR)) out.push_back(std::move(s));
  for (std::string& s : files_in(VARNOK_SAMPLES_DIR)) out.push_back(std::move(s));
  const std::string good = make_statement(3, 6, "\n");
  out.push_back(good.substr(0, good.size() / 2));             // Unfinished
  out.push_back(good.substr(0, good.size() - 12) + "X\n");     // UnrecognizedLine
  out.push_back(good + "Лишнее=1\n");                          // UnexpectedAttribute
  out.push_back("");                                           // EmptyInput
  out.push_back(std::string(3000, '\xAB'));                    // NotStatement
  out.push_back(test::statement_with("СекцияРасчСчет\nРасчСчет=1\nКонецРасчСчет\n"));  // AccountParseError
  return out;
}

// Deterministic rewriting: renames every purpose, drops ДатаСписано, and fails at the
// fifteenth section end. One object per read: it counts.
class RewritingHook final : public SectionHook {
 public:
  HookOutcome call(SectionType type, Attributes& attrs, const Attributes& header) override {
    if (++calls_ == 15) return HookOutcome::Fail("fifteenth section, header of " + std::to_string(header.size()));
    Attributes next;
    for (const Attributes::Entry& e : attrs) {
      if (e.key == "ДатаСписано") continue;
      next.set(e.key, e.key == "НазначениеПлатежа" ? std::string(e.value) + " (проверено)" : std::string(e.value));
    }
    if (type == SectionType::Account) next.set("КонечныйОстаток", "1e3");
    attrs = std::move(next);
    return HookOutcome::Continue();
  }

 private:
  int calls_ = 0;
};

struct Reads {
  check::Result plain;
  check::Result hooked;
};

Reads read_both(std::string_view input) {
  RewritingHook hook;
  SectionHook* hooks[] = {&hook};
  return {parse_statement(input), parse_statement(input, hooks)};
}

// Starts kThreads threads together, each running body(t); returns how many times a body
// reported a mismatch.
template <class Body>
int mismatches_across_threads(Body body) {
  std::atomic<int> mismatches{0};
  std::latch start(kThreads);
  std::vector<std::jthread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      start.arrive_and_wait();
      body(t, mismatches);
    });
  }
  threads.clear();  // joins
  return mismatches.load();
}

TEST(Threads, ManyThreadsOverDifferentInputsAgreeWithReadsAlone) {
  const std::vector<std::string> all = inputs();
  std::vector<Reads> alone;
  for (const std::string& input : all) alone.push_back(read_both(input));

  const int mismatches = mismatches_across_threads([&](int t, std::atomic<int>& mismatched) {
    for (int round = 0; round < 3; ++round) {
      // Each thread walks the inputs from its own offset, so different reads overlap.
      for (std::size_t k = 0; k < all.size(); ++k) {
        const std::size_t i = (k + static_cast<std::size_t>(t) * 5 + static_cast<std::size_t>(round)) % all.size();
        const Reads now = read_both(all[i]);
        if (!check::same_result(now.plain, alone[i].plain) || !check::same_result(now.hooked, alone[i].hooked)) {
          ++mismatched;
        }
      }
    }
  });
  EXPECT_EQ(mismatches, 0);
}

TEST(Threads, ManyThreadsOverTheSameInputAgreeWithAReadAlone) {
  const std::string cp1251 = to_cp1251(make_statement(24, 1500, "\r\n"));
  const std::string utf8 = make_statement(24, 1500, "\n");
  const Reads cp1251_alone = read_both(cp1251);
  const Reads utf8_alone = read_both(utf8);
  ASSERT_TRUE(cp1251_alone.plain.has_value());
  ASSERT_EQ(cp1251_alone.plain->encoding, Encoding::Cp1251);
  ASSERT_EQ(cp1251_alone.plain->warnings.size(), 214u);  // i % 7 == 3 for i < 1500
  ASSERT_TRUE(utf8_alone.plain.has_value());

  const int mismatches = mismatches_across_threads([&](int t, std::atomic<int>& mismatched) {
    const bool cp = t % 2 == 0;
    for (int round = 0; round < 2; ++round) {
      const Reads now = read_both(cp ? cp1251 : utf8);
      const Reads& want = cp ? cp1251_alone : utf8_alone;
      if (!check::same_result(now.plain, want.plain) || !check::same_result(now.hooked, want.hooked)) ++mismatched;
    }
  });
  EXPECT_EQ(mismatches, 0);
}

// One hook object that keeps no state of its own may serve reads on several threads.
class StatelessHook final : public SectionHook {
 public:
  HookOutcome call(SectionType, Attributes& attrs, const Attributes&) override {
    if (const std::string_view* n = attrs.find("Номер")) attrs.set("Номер", "N" + std::string(*n));
    return HookOutcome::Continue();
  }
};

TEST(Threads, OneSharedHookObjectServesConcurrentReads) {
  const std::string input = make_statement(4, 300, "\n");
  StatelessHook shared;
  SectionHook* hooks[] = {&shared};
  const check::Result alone = parse_statement(input, hooks);
  ASSERT_TRUE(alone.has_value());
  ASSERT_EQ(alone->documents.front().text(DocumentField::DocNumber), "N1");

  const int mismatches = mismatches_across_threads([&](int, std::atomic<int>& mismatched) {
    for (int round = 0; round < 3; ++round) {
      if (!check::same_result(parse_statement(input, hooks), alone)) ++mismatched;
    }
  });
  EXPECT_EQ(mismatches, 0);
}

}  // namespace
}  // namespace varnok
