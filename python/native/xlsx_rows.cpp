// The xlsx export's sheet rows (see xlsx_rows.hpp).
#include "xlsx_rows.hpp"

#include <array>
#include <charconv>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string_view>

#include "text_rows.hpp"

namespace varnok::native {
namespace {

// The columns: file, line, the 53 fields, direction, fingerprint.
constexpr std::size_t kColumns = kFieldCount + 4;

// "A", "B", ..., "Z", "AA", ...: the letters of each column.
const std::array<std::string, kColumns>& column_letters() {
  static const auto letters = [] {
    std::array<std::string, kColumns> out;
    for (std::size_t i = 0; i < kColumns; ++i) {
      for (std::size_t n = i + 1; n != 0; n = (n - 1) / 26) out[i].insert(out[i].begin(), static_cast<char>('A' + (n - 1) % 26));
    }
    return out;
  }();
  return letters;
}

bool is_hex(char c) noexcept { return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f'); }

// "_xHHHH_": how the sheet spells a character XML cannot hold, and an underscore that
// would otherwise read as the start of such a spelling.
char* put_spelled(char* out, unsigned code) noexcept {
  static constexpr char kHex[] = "0123456789ABCDEF";
  out = put(out, "_x");
  for (int shift = 12; shift >= 0; shift -= 4) *out++ = kHex[code >> shift & 15];
  *out++ = '_';
  return out;
}

// Bytes that may need more than themselves: controls (CR too), & < >, _ and the lead byte
// of U+FFFE and U+FFFF.
constexpr std::array<bool, 256> kSpecial = [] {
  std::array<bool, 256> special{};
  for (int c = 0; c < 0x20; ++c) special[c] = c != '\t' && c != '\n';
  for (const int c : {int{'&'}, int{'<'}, int{'>'}, int{'_'}, 0xEF}) special[static_cast<std::size_t>(c)] = true;
  return special;
}();

// A text as an XML text node: at most 7 bytes for each byte of it.
char* put_text(char* out, std::string_view s) noexcept {
  const char* p = s.data();
  const char* const end = p + s.size();
  while (p != end) {
    const char* run = p;
    while (p != end && !kSpecial[static_cast<unsigned char>(*p)]) ++p;
    out = put(out, std::string_view(run, static_cast<std::size_t>(p - run)));
    if (p == end) break;
    const auto c = static_cast<unsigned char>(*p);
    if (c == '&') {
      out = put(out, "&amp;");
    } else if (c == '<') {
      out = put(out, "&lt;");
    } else if (c == '>') {
      out = put(out, "&gt;");
    } else if (c == '\r') {
      out = put(out, "&#13;");  // as itself, a reader of the XML would give LF for it
    } else if (c == '_') {
      const bool spelled_alike = end - p >= 7 && p[1] == 'x' && is_hex(p[2]) && is_hex(p[3]) && is_hex(p[4]) &&
                                 is_hex(p[5]) && p[6] == '_';
      out = spelled_alike ? put_spelled(out, '_') : put(out, "_");
    } else if (c == 0xEF) {
      // U+FFFE and U+FFFF are EF BF BE and EF BF BF; other characters from EF pass.
      if (end - p >= 3 && static_cast<unsigned char>(p[1]) == 0xBF && (static_cast<unsigned char>(p[2]) & 0xFE) == 0xBE) {
        out = put_spelled(out, 0xFFFE | (static_cast<unsigned char>(p[2]) & 1));
        p += 3;
        continue;
      }
      *out++ = *p;
    } else {
      out = put_spelled(out, c);
    }
    ++p;
  }
  return out;
}

// The spreadsheet's day number: days since 1899-12-30 (25,569 days before 1970-01-01) from
// 1900-03-01 on; as it also counts a 29 February 1900 that never was, the days of 1900
// before it are one less (1900-01-01 is day 1). Days before 1900 it has none for (< 1).
std::int64_t date_serial(const Date& d) noexcept {
  const std::int64_t days = days_since_epoch(d) + 25569;
  return days < 61 ? days - 1 : days;
}

// A number's decimal digits, held for as long as the object lives.
class Digits {
 public:
  explicit Digits(std::int64_t n) noexcept
      : size_(static_cast<std::size_t>(std::to_chars(text_, text_ + sizeof text_, n).ptr - text_)) {}
  [[nodiscard]] std::string_view view() const noexcept { return {text_, size_}; }

 private:
  char text_[24];
  std::size_t size_;
};

class RowWriter {
 public:
  RowWriter(char* out, std::string_view row) noexcept : out_(out), row_(row) {}

  void text(std::size_t column, std::optional<std::string_view> value) noexcept {
    if (!value) return;
    open(column, "\" t=\"inlineStr\"><is><t xml:space=\"preserve\">");
    out_ = put_text(out_, *value);
    out_ = put(out_, "</t></is></c>");
  }
  void number(std::size_t column, std::string_view digits, bool date = false) noexcept {
    open(column, date ? "\" s=\"1\"><v>" : "\"><v>");
    out_ = put(out_, digits);
    out_ = put(out_, "</v></c>");
  }
  // A date before 1900, which a spreadsheet cannot hold as one, is written as its text.
  void date(std::size_t column, const Date& d) noexcept {
    if (const std::int64_t serial = date_serial(d); serial >= 1) {
      number(column, Digits(serial).view(), true);
    } else {
      text(column, format_date(d).view());
    }
  }
  char* end() noexcept { return out_; }

 private:
  void open(std::size_t column, std::string_view rest) noexcept {
    out_ = put(out_, "<c r=\"");
    out_ = put(out_, column_letters()[column]);
    out_ = put(out_, row_);
    out_ = put(out_, rest);
  }

  char* out_;
  std::string_view row_;
};

// Writes one <row>, sheet row `row`, whose cells(RowWriter&) take at most `room` bytes
// besides their markup.
template <class Cells>
void append_row(std::string& out, std::size_t row, std::size_t room, Cells cells) {
  const Digits number(static_cast<std::int64_t>(row));
  const std::size_t used = out.size();
  out.resize_and_overwrite(used + room + kColumns * (80 + 20 + number.view().size()), [&](char* start, std::size_t) {
    char* p = put(start + used, "<row r=\"");
    p = put(p, number.view());
    p = put(p, "\">");
    RowWriter w(p, number.view());
    cells(w);
    p = put(w.end(), "</row>");
    return static_cast<std::size_t>(p - start);
  });
}

}  // namespace

// A row's room: every text byte spelled out (7 bytes); append_row adds the markup, at most
// 80 bytes and a 20-digit number per cell.
void append_xlsx_rows(std::string& out, const ParsedFile& f, std::size_t first, std::size_t last, std::size_t row) {
  const auto file = f.file_name();
  const auto& documents = f.statement.documents;
  for (std::size_t n = first; n < last; ++n, ++row) {
    const Document& d = documents[n];
    const FieldTexts texts(d);
    const std::size_t room = 32 + 7 * (texts.bytes() + (file ? file->size() : 0) + 32 + 9);
    append_row(out, row, room, [&](RowWriter& w) {
      w.text(0, file);
      if (f.lines[n] >= 0) w.number(1, Digits(f.lines[n]).view());
      for (std::size_t i = 0; i < kFieldCount; ++i) {
        const std::size_t column = i + 2;
        switch (field_kind(i)) {
          case Kind::Text:
            w.text(column, texts[i]);
            break;
          case Kind::Amount:
            if (const auto amount = texts[i]) w.number(column, *amount);
            break;
          case Kind::Date:
            if (const auto date = document_date(d, i)) w.date(column, *date);
            break;
        }
      }
      w.text(kFieldCount + 2, direction_name(f.directions[n]));
      w.text(kFieldCount + 3, std::string_view(f.fingerprints[n].data(), f.fingerprints[n].size()));
    });
  }
}

std::size_t append_xlsx_interval_rows(std::string& out, const ParsedFile& f, std::size_t row) {
  const auto file = f.file_name();
  for (const Account& account : f.statement.accounts.items()) {
    for (const Interval& interval : account.intervals) {
      const auto texts = interval_texts(interval);
      const std::size_t room = 32 + 7 * ((file ? file->size() : 0) + account.number.size()) + 6 * 40;
      append_row(out, row++, room, [&](RowWriter& w) {
        w.text(0, file);
        w.text(1, account.number);
        w.date(2, interval.date_start);
        if (interval.date_end) w.date(3, *interval.date_end);
        for (std::size_t i = 2; i < texts.size(); ++i)
          if (texts[i]) w.number(i + 2, texts[i]->view());
      });
    }
  }
  return row;
}

}  // namespace varnok::native
