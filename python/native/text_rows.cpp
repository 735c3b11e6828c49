// The text rows of the native exports; the column order is that of varnok.export.
#include "text_rows.hpp"

#include <array>
#include <charconv>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string_view>

namespace varnok::native {
namespace {

// `, "name": ` for every field, made once.
const std::array<std::string, kFieldCount>& json_keys() {
  static const auto keys = [] {
    std::array<std::string, kFieldCount> k;
    for (std::size_t i = 0; i < kFieldCount; ++i) k[i] = ", \"" + std::string(field_name(i)) + "\": ";
    return k;
  }();
  return keys;
}

// Whether any of 8 bytes is a control character, a quote or a backslash (the bytes JSON
// text must escape): the classic has-less-than and has-zero-byte word tricks.
bool needs_escape(std::uint64_t w) noexcept {
  constexpr std::uint64_t kOnes = 0x0101010101010101, kHigh = 0x8080808080808080;
  const auto has_zero = [](std::uint64_t x) { return (x - kOnes) & ~x & kHigh; };
  const std::uint64_t below_space = (w - kOnes * 0x20) & ~w & kHigh;
  return (below_space | has_zero(w ^ (kOnes * '"')) | has_zero(w ^ (kOnes * '\\'))) != 0;
}

bool needs_escape(unsigned char c) noexcept { return c < 0x20 || c == '"' || c == '\\'; }

// At most 6 bytes: json.dumps's escape of one byte.
char* put_escape(char* out, unsigned char c) noexcept {
  static constexpr char kHex[] = "0123456789abcdef";
  *out++ = '\\';
  switch (c) {
    case '"': *out++ = '"'; break;
    case '\\': *out++ = '\\'; break;
    case '\n': *out++ = 'n'; break;
    case '\r': *out++ = 'r'; break;
    case '\t': *out++ = 't'; break;
    case '\b': *out++ = 'b'; break;
    case '\f': *out++ = 'f'; break;
    default:
      out = put(out, "u00");
      *out++ = kHex[c >> 4];
      *out++ = kHex[c & 15];
  }
  return out;
}

// A JSON string; at most 2 + 6 * s.size() bytes. Texts rarely hold a byte to escape, so
// clean runs are found 8 bytes at a time and copied whole.
char* put_json_string(char* out, std::string_view s) noexcept {
  *out++ = '"';
  std::size_t i = 0;
  while (i < s.size()) {
    std::size_t j = i;
    for (std::uint64_t w; j + 8 <= s.size(); j += 8) {
      std::memcpy(&w, s.data() + j, 8);
      if (needs_escape(w)) break;
    }
    while (j < s.size() && !needs_escape(static_cast<unsigned char>(s[j]))) ++j;
    out = put(out, s.substr(i, j - i));
    if (j < s.size()) out = put_escape(out, static_cast<unsigned char>(s[j++]));
    i = j;
  }
  *out++ = '"';
  return out;
}

char* put_json_value(char* out, std::optional<std::string_view> s) noexcept {
  return s ? put_json_string(out, *s) : put(out, "null");
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

}  // namespace

void append_int(std::string& out, std::int64_t n) {
  char buffer[24];
  out.append(buffer, std::to_chars(buffer, buffer + sizeof buffer, n).ptr);
}

void append_json_string(std::string& out, std::string_view text) {
  const std::size_t used = out.size();
  out.resize_and_overwrite(used + 2 + 6 * text.size(), [&](char* start, std::size_t) {
    return static_cast<std::size_t>(put_json_string(start + used, text) - start);
  });
}

void append_jsonl(std::string& out, const ParsedFile& f, std::size_t first, std::size_t last) {
  const auto& keys = json_keys();
  static const std::size_t keys_bytes = [&] {
    std::size_t n = 0;
    for (const auto& k : keys) n += k.size();
    return n;
  }();
  const auto file = f.file_name();
  const auto& documents = f.statement.documents;
  for (std::size_t n = first; n < last; ++n) {
    const FieldTexts texts(documents[n]);
    // Room for the worst case (every byte escaped), written through a pointer: a row is
    // some two hundred small pieces.
    const std::size_t room = 160 + keys_bytes + 6 * (texts.bytes() + (file ? file->size() : 0)) + 4 * kFieldCount;
    const std::size_t used = out.size();
    out.resize_and_overwrite(used + room, [&](char* start, std::size_t) {
      char* p = start + used;
      p = put(p, "{\"file\": ");
      p = put_json_value(p, file);
      p = put(p, ", \"line\": ");
      p = f.lines[n] >= 0 ? std::to_chars(p, p + 20, f.lines[n]).ptr : put(p, "null");
      for (std::size_t i = 0; i < kFieldCount; ++i) {
        p = put(p, keys[i]);
        p = put_json_value(p, texts[i]);
      }
      p = put(p, ", \"direction\": \"");
      p = put(p, direction_name(f.directions[n]));
      p = put(p, "\", \"fingerprint\": \"");
      p = put(p, std::string_view(f.fingerprints[n].data(), f.fingerprints[n].size()));
      p = put(p, "\"}\n");
      return static_cast<std::size_t>(p - start);
    });
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

void append_csv(std::string& out, const ParsedFile& f, std::size_t first, std::size_t last) {
  const auto file = f.file_name();
  const auto& documents = f.statement.documents;
  for (std::size_t n = first; n < last; ++n) {
    if (file) append_csv_field(out, *file);
    out.push_back(',');
    if (f.lines[n] >= 0) append_int(out, f.lines[n]);
    const FieldTexts texts(documents[n]);
    for (std::size_t i = 0; i < kFieldCount; ++i) {
      out.push_back(',');
      if (const auto text = texts[i]) append_csv_field(out, *text);
    }
    out.push_back(',');
    out += direction_name(f.directions[n]);
    out.push_back(',');
    out.append(f.fingerprints[n].data(), f.fingerprints[n].size());
    out.push_back('\n');
  }
}

void append_csv_interval_header(std::string& out) {
  out += "file,account";
  for (const IntervalField column : kIntervalColumns) {
    out.push_back(',');
    out += field_info(column).name;
  }
  out.push_back('\n');
}

void append_csv_intervals(std::string& out, const ParsedFile& f) {
  const auto file = f.file_name();
  for (const Account& account : f.statement.accounts.items()) {
    for (const Interval& interval : account.intervals) {
      if (file) append_csv_field(out, *file);
      out.push_back(',');
      append_csv_field(out, account.number);
      for (const auto& text : interval_texts(interval)) {
        out.push_back(',');
        if (text) out += text->view();
      }
      out.push_back('\n');
    }
  }
}

void append_jsonl_intervals(std::string& out, const ParsedFile& f) {
  const auto file = f.file_name();
  for (const Account& account : f.statement.accounts.items()) {
    for (const Interval& interval : account.intervals) {
      out += "{\"file\": ";
      if (file) {
        append_json_string(out, *file);
      } else {
        out += "null";
      }
      out += ", \"account\": ";
      append_json_string(out, account.number);
      const auto texts = interval_texts(interval);
      for (std::size_t i = 0; i < texts.size(); ++i) {
        out += ", \"";
        out += field_info(kIntervalColumns[i]).name;
        out += "\": ";
        if (texts[i]) {
          append_json_string(out, texts[i]->view());
        } else {
          out += "null";
        }
      }
      out += "}\n";
    }
  }
}

}  // namespace varnok::native
