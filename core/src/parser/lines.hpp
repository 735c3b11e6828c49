// Cutting the decoded text into numbered lines, and the classification of a line.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "parser/text.hpp"

namespace varnok {

// Yields the raw lines of a text: split at LF, a CR directly before the LF removed, a
// final piece after the last LF only if non-empty. Line numbers count every raw line
// from 1. Views into the text.
class LineCursor {
 public:
  explicit LineCursor(std::string_view text) noexcept : rest_(text) {}
  // The next raw line, or false at the end.
  [[nodiscard]] bool next(std::string_view& line) noexcept;
  // Number of the line last returned by next().
  [[nodiscard]] std::uint64_t lineno() const noexcept { return lineno_; }

 private:
  std::string_view rest_;
  std::uint64_t lineno_ = 0;
  bool done_ = false;
};

// A line source a reader can hold on to: from pin() until unpin(), views into every line
// returned stay valid, however many lines follow (a document section borrows its kind
// and values from its lines until it is built).
class PinnableLines {
 public:
  virtual void pin() noexcept = 0;
  virtual void unpin() noexcept = 0;

 protected:
  ~PinnableLines() = default;
};

enum class LineKind : std::uint8_t {
  Exchange,       // 1CClientBankExchange
  AccountStart,   // СекцияРасчСчет
  AccountEnd,     // КонецРасчСчет
  DocumentStart,  // СекцияДокумент=<kind>
  DocumentEnd,    // КонецДокумента
  FileEnd,        // КонецФайла
  Attribute,      // key=value
};

// A classified line. For Attribute: key and value (trimmed). For DocumentStart: value is
// the kind (left-trimmed). Views into the line.
struct ClassifiedLine {
  LineKind kind;
  std::string_view key;
  std::string_view value;
};

// Classifies a trimmed, non-blank line; nullopt when it is unrecognised.
[[nodiscard]] std::optional<ClassifiedLine> classify(std::string_view trimmed) noexcept;

// The display text of a section line ("СекцияДокумент=" + kind for DocumentStart).
[[nodiscard]] std::string display(const ClassifiedLine& line);

}  // namespace varnok
