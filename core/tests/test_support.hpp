// Helpers for the core tests: statement texts, error expectations, hooks from functions.
#pragma once

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <variant>

#include <gtest/gtest.h>

#include <varnok/diagnostics.hpp>
#include <varnok/hooks.hpp>
#include <varnok/varnok.hpp>

#include "parser/reader.hpp"

namespace varnok::test {

// The lines, each followed by LF.
// UTF-8 text of ASCII, Cyrillic letters, Ё ё and № to windows-1251 bytes.
inline std::string to_cp1251(std::string_view utf8) {
  std::string out;
  for (std::size_t i = 0; i < utf8.size();) {
    const auto b = static_cast<unsigned char>(utf8[i]);
    if (b < 0x80) {
      out += static_cast<char>(b);
      ++i;
      continue;
    }
    char32_t c;
    if (b < 0xE0) {
      c = (b & 0x1Fu) << 6 | (static_cast<unsigned char>(utf8[i + 1]) & 0x3Fu);
      i += 2;
    } else {
      c = (b & 0x0Fu) << 12 | (static_cast<unsigned char>(utf8[i + 1]) & 0x3Fu) << 6 |
          (static_cast<unsigned char>(utf8[i + 2]) & 0x3Fu);
      i += 3;
    }
    if (c >= 0x410 && c <= 0x44F) out += static_cast<char>(0xC0 + (c - 0x410));
    else if (c == 0x401) out += '\xA8';
    else if (c == 0x451) out += '\xB8';
    else if (c == 0x2116) out += '\xB9';
    else ADD_FAILURE() << "no windows-1251 byte for U+" << std::hex << unsigned(c);
  }
  return out;
}

inline std::string join_lines(std::initializer_list<std::string_view> lines, std::string_view eol = "\n") {
  std::string out;
  for (std::string_view line : lines) out.append(line).append(eol);
  return out;
}

// An account section that builds: number 40702810000000000001, 01.01.2024, 100.00.
inline constexpr std::string_view kAccountSection =
    "СекцияРасчСчет\n"
    "ДатаНачала=01.01.2024\n"
    "НачальныйОстаток=100.00\n"
    "РасчСчет=40702810000000000001\n"
    "КонецРасчСчет\n";

// The twelve required attribute lines of a document section (without start and end).
inline constexpr std::string_view kDocumentFields =
    "Номер=7\n"
    "Дата=02.01.2024\n"
    "НазначениеПлатежа=Оплата\n"
    "Сумма=10.50\n"
    "ПлательщикИНН=7700000000\n"
    "ПлательщикБИК=044525000\n"
    "ПлательщикБанк1=Банк\n"
    "ПлательщикСчет=40702810000000000001\n"
    "ПолучательИНН=7800000000\n"
    "ПолучательСчет=40702810000000000002\n"
    "ПолучательБИК=044030000\n"
    "ПолучательБанк1=Банк 2\n";

// A document section that builds, of kind "Платежное поручение" (7 lines after the start).
inline std::string document_section(std::string_view kind = "Платежное поручение") {
  std::string out = "СекцияДокумент=";
  out.append(kind).append("\n").append(kDocumentFields).append("КонецДокумента\n");
  return out;
}

// The marker line, one header line (line 2), the body, then КонецФайла.
inline std::string statement_with(std::string_view body) {
  std::string out = "1CClientBankExchange\nВерсияФормата=1.03\n";
  out.append(body).append("КонецФайла\n");
  return out;
}

// Succeeds when the read failed with this line number (nullopt for the kinds without
// one) and this exact rendered message.
inline ::testing::AssertionResult failed_at(const std::expected<Statement, StatementError>& result,
                                            std::optional<std::uint64_t> line, std::string_view text) {
  if (result) return ::testing::AssertionFailure() << "the read succeeded";
  const StatementError& e = result.error();
  if (lineno(e) != line || message(e) != text) {
    return ::testing::AssertionFailure() << "got line " << (lineno(e) ? std::to_string(*lineno(e)) : "none")
                                         << ": " << message(e);
  }
  return ::testing::AssertionSuccess();
}

inline ::testing::AssertionResult fails_at(std::string_view input, std::optional<std::uint64_t> line,
                                           std::string_view text, HookList hooks = {}) {
  return failed_at(parse_statement(input, hooks), line, text);
}

// As fails_at, and the error is of kind Kind.
template <class Kind>
::testing::AssertionResult fails_with(std::string_view input, std::optional<std::uint64_t> line,
                                      std::string_view text, HookList hooks = {}) {
  auto result = parse_statement(input, hooks);
  if (!result && !std::holds_alternative<Kind>(result.error())) {
    return ::testing::AssertionFailure() << "wrong kind: " << message(result.error());
  }
  return failed_at(result, line, text);
}

template <class Kind>
void expect_error(std::string_view input, std::uint64_t line, std::string_view text, HookList hooks = {}) {
  EXPECT_TRUE(fails_with<Kind>(input, line, text, hooks)) << "input:\n" << input;
}

// For Unfinished, NotStatement, EmptyInput and HookAbandoned, which carry no line number.
template <class Kind>
void expect_error(std::string_view input, std::string_view text, HookList hooks = {}) {
  EXPECT_TRUE(fails_with<Kind>(input, std::nullopt, text, hooks)) << "input:\n" << input;
}

// The statement of a read that must succeed; nullopt (and a test failure) otherwise.
inline std::optional<Statement> parse_ok(std::string_view input, HookList hooks = {}) {
  auto result = parse_statement(input, hooks);
  if (!result) {
    ADD_FAILURE() << "read failed: " << message(result.error()) << " at line "
                  << lineno(result.error()).value_or(0) << "\ninput:\n"
                  << input;
    return std::nullopt;
  }
  return std::move(*result);
}

// A section hook from a function.
class FunctionHook final : public SectionHook {
 public:
  using Function = std::function<HookOutcome(SectionType, Attributes&, const Attributes&)>;
  explicit FunctionHook(Function f) : f_(std::move(f)) {}
  HookOutcome call(SectionType type, Attributes& attrs, const Attributes& header) override {
    ++calls_;
    return f_(type, attrs, header);
  }
  [[nodiscard]] int calls() const noexcept { return calls_; }

 private:
  Function f_;
  int calls_ = 0;
};

}  // namespace varnok::test
