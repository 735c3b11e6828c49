// Parses a small statement with the installed library and checks what comes back.
// Exits 0 when everything matches, 1 otherwise, printing what differed.
#include <cstdio>
#include <string_view>
#include <variant>

#include <varnok/varnok.hpp>

namespace {

constexpr std::string_view kStatement =
    "1CClientBankExchange\r\n"
    "ВерсияФормата=1.03\r\n"
    "СекцияРасчСчет\r\n"
    "ДатаНачала=01.01.2024\r\n"
    "РасчСчет=40702810900000000001\r\n"
    "НачальныйОстаток=100.50\r\n"
    "КонецРасчСчет\r\n"
    "СекцияДокумент=Платежное поручение\r\n"
    "Номер=1\r\n"
    "Дата=05.01.2024\r\n"
    "Сумма=1500.00\r\n"
    "НазначениеПлатежа=Оплата\r\n"
    "ПлательщикИНН=7700000000\r\n"
    "ПлательщикБИК=044525000\r\n"
    "ПлательщикБанк1=Банк\r\n"
    "ПлательщикСчет=40702810900000000001\r\n"
    "ПолучательИНН=7800000000\r\n"
    "ПолучательСчет=40702810900000000002\r\n"
    "ПолучательБИК=044525001\r\n"
    "ПолучательБанк1=Банк\r\n"
    "КонецДокумента\r\n"
    "СекцияДокумент=Платежное поручение\r\n"
    "Номер=2\r\n"
    "КонецДокумента\r\n"
    "КонецФайла\r\n";

int failures = 0;

void expect(bool ok, const char* what) {
  if (!ok) {
    std::fprintf(stderr, "varnok_consumer: %s\n", what);
    ++failures;
  }
}

}  // namespace

int main() {
  auto statement = varnok::parse_statement(kStatement);
  if (!statement) {
    std::fprintf(stderr, "varnok_consumer: parse failed: %s\n", varnok::message(statement.error()).c_str());
    return 1;
  }
  expect(statement->encoding == varnok::Encoding::Utf8, "encoding is not utf-8");
  expect(statement->accounts.size() == 1, "expected one account");
  expect(statement->documents.size() == 1, "expected one document");
  expect(statement->warnings.size() == 1 && statement->warnings[0].lineno == 24 &&
             statement->warnings[0].message == "missing field `Дата`",
         "expected the missing-field warning at line 24");

  const varnok::Document& document = statement->documents[0];
  const auto payee_bank = varnok::find_document_field("ПолучательБанк1");
  expect(payee_bank && varnok::field_info(*payee_bank).name == "payee_bank1" &&
             document.text(*payee_bank) == "Банк",
         "expected the payee's bank through the field table");
  expect(varnok::format_amount(document.amount()).view() == "1500.00" &&
             varnok::format_date(*document.date(varnok::DocumentField::DocDate)).view() == "2024-01-05",
         "expected the amount and date text forms");

  // A hook that gives up on the first section ends the read with its own text.
  struct GiveUp final : varnok::SectionHook {
    varnok::HookOutcome call(varnok::SectionType, varnok::Attributes&, const varnok::Attributes&) override {
      return varnok::HookOutcome::Abandon("given up");
    }
  } give_up;
  varnok::SectionHook* const hooks[] = {&give_up};
  auto abandoned = varnok::parse_statement(kStatement, hooks);
  expect(!abandoned && std::holds_alternative<varnok::error::HookAbandoned>(abandoned.error()) &&
             varnok::message(abandoned.error()) == "given up" && !varnok::lineno(abandoned.error()),
         "expected HookAbandoned");

  auto failed = varnok::parse_statement("1CClientBankExchange\nКонецФайла\n");
  expect(!failed && std::holds_alternative<varnok::error::UnexpectedSection>(failed.error()),
         "expected UnexpectedSection");
  if (!failed) {
    expect(varnok::message(failed.error()) == "Unexpected section 'КонецФайла' in context 'header'",
           "unexpected message text");
    expect(varnok::lineno(failed.error()) == 2u, "expected line 2");
  }

  if (failures == 0) std::puts("varnok_consumer: ok");
  return failures == 0 ? 0 : 1;
}
