// Cutting the decoded text into numbered lines, White_Space trimming, and classify.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace varnok {

namespace detail {
[[nodiscard]] std::string_view trim_left_slow(std::string_view s) noexcept;
[[nodiscard]] std::string_view trim_right_slow(std::string_view s) noexcept;

// Which bytes can be the first, and which the last, byte of a White_Space character in
// UTF-8; most lines start and end with neither, which is decided inline.
struct SpaceEdges {
  bool first[256];
  bool last[256];
};
inline constexpr SpaceEdges kSpaceEdges = [] {
  SpaceEdges e{};
  for (unsigned b : {0x09u, 0x0Au, 0x0Bu, 0x0Cu, 0x0Du, 0x20u}) e.first[b] = e.last[b] = true;
  for (unsigned b : {0xC2u, 0xE1u, 0xE2u, 0xE3u}) e.first[b] = true;
  for (unsigned b = 0x80; b <= 0x8A; ++b) e.last[b] = true;
  for (unsigned b : {0x9Fu, 0xA0u, 0xA8u, 0xA9u, 0xAFu}) e.last[b] = true;
  return e;
}();
}  // namespace detail

// Trimming of White_Space on UTF-8 text; the results view the argument.
[[nodiscard]] inline std::string_view trim_left(std::string_view s) noexcept {
  if (s.empty() || !detail::kSpaceEdges.first[static_cast<unsigned char>(s.front())]) return s;
  return detail::trim_left_slow(s);
}
[[nodiscard]] inline std::string_view trim_right(std::string_view s) noexcept {
  if (s.empty() || !detail::kSpaceEdges.last[static_cast<unsigned char>(s.back())]) return s;
  return detail::trim_right_slow(s);
}
[[nodiscard]] inline std::string_view trim(std::string_view s) noexcept { return trim_right(trim_left(s)); }
// True when s is empty after trimming.
[[nodiscard]] inline bool is_blank(std::string_view s) noexcept { return trim(s).empty(); }

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
