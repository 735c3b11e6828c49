// The diagnostics: every error kind rendered with its line, and the context names.
#include <varnok/diagnostics.hpp>

#include <gtest/gtest.h>

namespace varnok {
namespace {

struct MessageCase {
  StatementError error;
  std::string text;
  std::optional<std::uint64_t> line;
};

TEST(Diagnostics, RendersEveryKindWithItsLine) {
  const MessageCase cases[] = {
      {error::UnexpectedSection{3, "СекцияДокумент=X", ReaderState::Account},
       "Unexpected section 'СекцияДокумент=X' in context 'account'", 3},
      {error::UnexpectedAttribute{9, "A", "B"}, "Unexpected attribute 'A' = 'B'", 9},
      {error::UnexpectedAttribute{9, "", ""}, "Unexpected attribute '' = ''", 9},
      {error::UnrecognizedLine{4, "garbage"}, "Unrecognized line: 'garbage'", 4},
      {error::MissingField{12, "РасчСчет", ReaderState::Account},
       "Missing field 'РасчСчет' in context 'account'", 12},
      {error::AccountParseError{5, "input is out of range"}, "Account parse error: input is out of range", 5},
      {error::DocumentParseError{6, "x"}, "Document parse error: x", 6},
      {error::HookError{7, "ValueError: boom"}, "Hook error: ValueError: boom", 7},
      {error::Unfinished{}, "Statement is not finished", std::nullopt},
      {error::NotStatement{}, "Input is not a 1C statement", std::nullopt},
      {error::EmptyInput{}, "Input is empty", std::nullopt},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(message(c.error), c.text);
    EXPECT_EQ(lineno(c.error), c.line) << c.text;
  }
}

TEST(Diagnostics, ContextNames) {
  EXPECT_EQ(name(ReaderState::ReadNextSection), "read_next_section");
  EXPECT_EQ(message(error::UnexpectedSection{1, "КонецФайла", ReaderState::Finished}),
            "Unexpected section 'КонецФайла' in context 'finished'");
}

}  // namespace
}  // namespace varnok
