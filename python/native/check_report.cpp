// The text forms of varnok check's report: Python's repr of a str, Decimal's text of an
// amount, and the report's JSON (its strings escaped as the exports escape them).
#include "check_report.hpp"

#include "text_rows.hpp"

namespace varnok::native {
namespace {

constexpr char kHex[] = "0123456789abcdef";

// The code point at `i` of well-formed UTF-8 (every text of the core is), advancing `i`.
char32_t next_code_point(std::string_view s, std::size_t& i) noexcept {
  const auto b = [&](std::size_t k) { return static_cast<char32_t>(static_cast<unsigned char>(s[k])); };
  const char32_t lead = b(i);
  if (lead < 0x80) return i += 1, lead;
  if (lead < 0xE0) return i += 2, (lead & 0x1F) << 6 | (b(i - 1) & 0x3F);
  if (lead < 0xF0) return i += 3, (lead & 0x0F) << 12 | (b(i - 2) & 0x3F) << 6 | (b(i - 1) & 0x3F);
  return i += 4, (lead & 0x07) << 18 | (b(i - 3) & 0x3F) << 12 | (b(i - 2) & 0x3F) << 6 | (b(i - 1) & 0x3F);
}

enum class Shown : unsigned char { AsIs, Escaped, Unknown };

// How str.__repr__ shows a character: as is when str.isprintable(), else escaped. Known
// here: Latin-1, Cyrillic and the punctuation, currency and letterlike signs of
// statements; anything else is Unknown.
Shown shown(char32_t c) noexcept {
  if (c < 0x20 || (c >= 0x7F && c <= 0xA0) || c == 0xAD) return Shown::Escaped;
  if (c < 0x378 || (c >= 0x3A3 && c <= 0x52F) || (c >= 0x2010 && c <= 0x2027) ||
      (c >= 0x2030 && c <= 0x205E) || (c >= 0x20A0 && c <= 0x20BF) || (c >= 0x2100 && c <= 0x218B))
    return Shown::AsIs;
  return Shown::Unknown;
}

// repr(text): false when it holds an Unknown character.
bool append_repr(std::string& out, std::string_view text) {
  const char quote = text.find('\'') != std::string_view::npos && text.find('"') == std::string_view::npos ? '"' : '\'';
  out += quote;
  for (std::size_t i = 0; i < text.size();) {
    const std::size_t at = i;
    const char32_t c = next_code_point(text, i);
    if (c == '\\' || c == static_cast<char32_t>(quote)) {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c == '\t' || c == '\n' || c == '\r') {
      out += c == '\t' ? "\\t" : c == '\n' ? "\\n" : "\\r";
    } else {
      switch (shown(c)) {
        case Shown::AsIs:
          out.append(text, at, i - at);
          break;
        case Shown::Escaped:
          out += "\\x";
          out += kHex[c >> 4];
          out += kHex[c & 15];
          break;
        case Shown::Unknown:
          return false;
      }
    }
  }
  out += quote;
  return true;
}

std::string_view date_text(const Date& d, ShortText& room) noexcept {
  room = format_date(d);
  return room.view();
}

std::optional<std::int64_t> document_line(const FileReport& r, std::size_t document) noexcept {
  const std::int64_t line = r.lines[document];
  return line > 0 ? std::optional(line) : std::nullopt;
}

// `path:line` when the line is known, else `path`.
void append_at(std::string& out, std::string_view path, std::optional<std::int64_t> line) {
  out += path;
  if (line) {
    out += ':';
    append_int(out, *line);
  }
}

std::string_view document_number(const Document& d) noexcept {
  return d.text(DocumentField::DocNumber).value_or("None");
}

// Writes the nested JSON with json.dumps's indent of 2 under the report's 4.
class JsonWriter {
 public:
  explicit JsonWriter(std::string& out) : out_(out) {}
  void open(char bracket) { out_ += bracket, ++depth_, first_ = true; }
  void close(char bracket) {
    --depth_;
    if (!first_) newline();
    out_ += bracket;
    first_ = false;
  }
  void empty_list() { out_ += "[]", first_ = false; }
  void key(std::string_view name) {
    item();
    append_json_string(out_, name);
    out_ += ": ";
  }
  void item() {
    if (!first_) out_ += ',';
    newline();
    first_ = true;
  }
  void done() { first_ = false; }
  std::string& out() { return out_; }

 private:
  void newline() {
    out_ += "\n    ";
    out_.append(2 * static_cast<std::size_t>(depth_), ' ');
  }
  std::string& out_;
  int depth_ = 0;
  bool first_ = true;
};

template <class Items, class Write>
void json_list(JsonWriter& w, const Items& items, Write write) {
  if (items.empty()) return w.empty_list();
  w.open('[');
  for (const auto& x : items) {
    w.item();
    w.open('{');
    write(x);
    w.close('}');
  }
  w.close(']');
}

}  // namespace

bool append_diagnostic_lines(const FileReport& r, std::string& out) {
  const Statement& s = r.statement;
  for (const Warning& w : s.warnings) {
    append_at(out, r.path, w.lineno ? std::optional(static_cast<std::int64_t>(w.lineno)) : std::nullopt);
    out += ": warning: document skipped: ";
    out += w.message;
    out += '\n';
  }
  ShortText start, end;
  for (const Finding& f : r.findings) {
    out += r.path;
    out += ": finding: account ";
    out += f.account;
    out += ' ';
    out += date_text(f.date_start, start);
    if (f.date_end && *f.date_end != f.date_start) {
      out += "..";
      out += date_text(*f.date_end, end);
    }
    out += ": ";
    out += f.check;
    out += " is " + decimal_text(f.actual) + ", the statement says " + decimal_text(f.expected) + "\n";
  }
  for (const DocumentProblem& p : r.validation) {
    append_at(out, r.path, document_line(r, p.document));
    out += ": validation: document ";
    out += document_number(s.documents[p.document]);
    out += ": ";
    out += field_key(p.problem.field);
    out += ' ';
    if (!append_repr(out, p.problem.value)) return false;
    out += ": " + p.problem.message + "\n";
  }
  return true;
}

void append_json_object(const FileReport& r, std::string& out) {
  JsonWriter w(out);
  const auto text = [&](std::string_view key, std::string_view value) {
    w.key(key);
    append_json_string(out, value);
    w.done();
  };
  const auto literal = [&](std::string_view key, std::string_view value) {
    w.key(key);
    out += value;
    w.done();
  };
  const auto number = [&](std::string_view key, std::optional<std::int64_t> value) {
    w.key(key);
    if (value) append_int(out, *value);
    else out += "null";
    w.done();
  };
  const Statement& s = r.statement;
  w.open('{');
  text("file", r.path);
  literal("ok", r.ok ? "true" : "false");
  text("encoding", name(s.encoding));
  literal("error", "null");
  w.key("warnings");
  json_list(w, s.warnings, [&](const Warning& x) {
    number("line", static_cast<std::int64_t>(x.lineno));
    text("message", x.message);
  });
  w.key("findings");
  ShortText room;
  json_list(w, r.findings, [&](const Finding& f) {
    text("account", f.account);
    text("date_start", date_text(f.date_start, room));
    if (f.date_end) text("date_end", date_text(*f.date_end, room));
    else literal("date_end", "null");
    text("check", f.check);
    text("expected", decimal_text(f.expected));
    text("actual", decimal_text(f.actual));
  });
  w.key("validation");
  json_list(w, r.validation, [&](const DocumentProblem& p) {
    const Document& d = s.documents[p.document];
    number("line", document_line(r, p.document));
    if (const auto n = d.text(DocumentField::DocNumber)) text("document", *n);
    else literal("document", "null");
    text("field", field_name(p.problem.field));
    text("key", field_key(p.problem.field));
    text("value", p.problem.value);
    text("message", p.problem.message);
  });
  w.close('}');
}

}  // namespace varnok::native
