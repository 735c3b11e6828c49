// The text rows of the native exports; the column order is that of varnok.export.
#include "text_rows.hpp"

#include <charconv>
#include <optional>
#include <string_view>

namespace varnok::native {
namespace {

void append_json_string(std::string& out, std::string_view s) {
  static constexpr char kHex[] = "0123456789abcdef";
  out.push_back('"');
  std::size_t plain = 0;
  for (std::size_t i = 0; i < s.size(); ++i) {
    const auto c = static_cast<unsigned char>(s[i]);
    if (c >= 0x20 && c != '"' && c != '\\') continue;
    out.append(s.substr(plain, i - plain));
    plain = i + 1;
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      case '\b': out += "\\b"; break;
      case '\f': out += "\\f"; break;
      default:
        out += "\\u00";
        out.push_back(kHex[c >> 4]);
        out.push_back(kHex[c & 15]);
    }
  }
  out.append(s.substr(plain));
  out.push_back('"');
}

void append_json_value(std::string& out, std::optional<std::string_view> s) {
  if (s) {
    append_json_string(out, *s);
  } else {
    out += "null";
  }
}

void append_int(std::string& out, std::int64_t n) {
  char buffer[24];
  out.append(buffer, std::to_chars(buffer, buffer + sizeof buffer, n).ptr);
}

// csv.writer's QUOTE_MINIMAL: quoted when the field holds a comma, a quote or a line end.
void append_csv_field(std::string& out, std::string_view s) {
  if (s.find_first_of(",\"\r\n") == std::string_view::npos) {
    out.append(s);
    return;
  }
  out.push_back('"');
  for (char c : s) {
    if (c == '"') out.push_back('"');
    out.push_back(c);
  }
  out.push_back('"');
}

std::optional<std::string_view> file_of(const ParsedFile& f) {
  return f.file ? std::optional<std::string_view>(*f.file) : std::nullopt;
}

}  // namespace

void append_jsonl(std::string& out, const ParsedFile& f) {
  const auto file = file_of(f);
  const auto& documents = f.statement.documents;
  for (std::size_t n = 0; n < documents.size(); ++n) {
    out += "{\"file\": ";
    append_json_value(out, file);
    out += ", \"line\": ";
    if (f.lines[n] >= 0) {
      append_int(out, f.lines[n]);
    } else {
      out += "null";
    }
    for_each_field_text(documents[n], [&](std::size_t i, std::optional<std::string_view> text) {
      out += ", \"";
      out += field_name(i);
      out += "\": ";
      append_json_value(out, text);
    });
    out += ", \"direction\": \"";
    out += direction_name(f.directions[n]);
    out += "\", \"fingerprint\": \"";
    out.append(f.fingerprints[n].data(), f.fingerprints[n].size());
    out += "\"}\n";
  }
}

void append_csv_header(std::string& out) {
  out += "file,line";
  for (std::size_t i = 0; i < kFieldCount; ++i) {
    out.push_back(',');
    out += field_name(i);
  }
  out += ",direction,fingerprint\n";
}

void append_csv(std::string& out, const ParsedFile& f) {
  const auto file = file_of(f);
  const auto& documents = f.statement.documents;
  for (std::size_t n = 0; n < documents.size(); ++n) {
    if (file) append_csv_field(out, *file);
    out.push_back(',');
    if (f.lines[n] >= 0) append_int(out, f.lines[n]);
    for_each_field_text(documents[n], [&](std::size_t, std::optional<std::string_view> text) {
      out.push_back(',');
      if (text) append_csv_field(out, *text);
    });
    out.push_back(',');
    out += direction_name(f.directions[n]);
    out.push_back(',');
    out.append(f.fingerprints[n].data(), f.fingerprints[n].size());
    out.push_back('\n');
  }
}

}  // namespace varnok::native
