// parse_file: the core's read, then the section lines, directions and fingerprints that the
// Python package computes in varnok.typed (the two must agree value for value).
#include "parsed_file.hpp"

#include <algorithm>
#include <atomic>
#include <bit>
#include <charconv>
#include <cstring>
#include <span>
#include <unordered_set>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "blake2b.hpp"
#include "two_threads.hpp"

namespace varnok::native {
namespace {

// A key in the input's encoding: Cyrillic letters of UTF-8 text mapped to windows-1251.
std::string encoded(std::string_view utf8, Encoding encoding) {
  if (encoding == Encoding::Utf8) return std::string(utf8);
  std::string out;
  for (std::size_t i = 0; i < utf8.size(); ++i) {
    const auto b0 = static_cast<unsigned char>(utf8[i]);
    if (b0 < 0x80 || i + 1 == utf8.size()) {
      out.push_back(static_cast<char>(b0));
      continue;
    }
    const unsigned cp = (b0 & 0x1Fu) << 6 | (static_cast<unsigned char>(utf8[++i]) & 0x3Fu);
    out.push_back(static_cast<char>(cp == 0x401 ? 0xA8 : cp == 0x451 ? 0xB8 : cp - 0x410 + 0xC0));
  }
  return out;
}

// The length of the White_Space character of two or three bytes (U+0085, U+00A0, U+1680,
// U+2000-U+200A, U+2028, U+2029, U+202F, U+205F, U+3000) that starts UTF-8 text `s`, or 0.
std::size_t wide_space(std::string_view s) noexcept {
  const auto b = [s](std::size_t k) { return k < s.size() ? static_cast<unsigned char>(s[k]) : 0u; };
  switch (b(0)) {
    case 0xC2: return b(1) == 0x85 || b(1) == 0xA0 ? 2 : 0;
    case 0xE1: return b(1) == 0x9A && b(2) == 0x80 ? 3 : 0;
    case 0xE2:
      if (b(1) == 0x80) return (b(2) >= 0x80 && b(2) <= 0x8A) || b(2) == 0xA8 || b(2) == 0xA9 || b(2) == 0xAF ? 3 : 0;
      return b(1) == 0x81 && b(2) == 0x9F ? 3 : 0;
    case 0xE3: return b(1) == 0x80 && b(2) == 0x80 ? 3 : 0;
    default: return 0;
  }
}

// The blanks the reader trims from lines, as the Python package's scans skip them: White_Space
// but LF (in windows-1251: the ASCII ones and NBSP). The length of the one at i, or 0.
std::size_t blank_at(std::string_view s, std::size_t i, Encoding encoding) noexcept {
  if (i >= s.size()) return 0;
  const auto c = static_cast<unsigned char>(s[i]);
  if (c == ' ' || c == '\t' || c == '\r' || c == '\f' || c == '\v') return 1;
  if (encoding == Encoding::Cp1251) return c == 0xA0;
  return c >= 0xC2 ? wide_space(s.substr(i)) : 0;
}

// The length of the blank that ends at `end` (> 0), or 0.
std::size_t blank_before(std::string_view s, std::size_t end, Encoding encoding) noexcept {
  if (blank_at(s, end - 1, encoding) == 1) return 1;
  if (encoding == Encoding::Cp1251) return 0;
  if (end >= 2 && wide_space(s.substr(end - 2, 2)) == 2) return 2;
  return end >= 3 && wide_space(s.substr(end - 3, 3)) == 3 ? 3 : 0;
}

std::size_t skip_blanks(std::string_view s, std::size_t i, Encoding encoding) noexcept {
  for (std::size_t n; (n = blank_at(s, i, encoding)) != 0;) i += n;
  return i;
}

// Whether `line` from `at` is `word` followed by blanks only.
bool is_word_line(std::string_view line, std::size_t at, std::string_view word, Encoding encoding) {
  return line.substr(at).starts_with(word) && skip_blanks(line, at + word.size(), encoding) == line.size();
}

// The positions of the line feeds of a text in order, then its size: found 64 bytes at a
// time as a bit mask (a library search per line costs more than the line's own work).
class LineFeeds {
 public:
  explicit LineFeeds(std::string_view text) noexcept : text_(text) {}

  std::size_t next() noexcept {
    while (mask_ == 0) {
      if (block_ >= text_.size()) return text_.size();
      mask_ = mask_at(block_);
      block_ += 64;
    }
    const std::size_t at = block_ - 64 + static_cast<std::size_t>(std::countr_zero(mask_));
    mask_ &= mask_ - 1;
    return at;
  }

 private:
  std::uint64_t mask_at(std::size_t at) const noexcept {
    const char* p = text_.data() + at;
    std::uint64_t mask = 0;
#if defined(__SSE2__)
    if (text_.size() - at >= 64) {
      const __m128i lf = _mm_set1_epi8('\n');
      for (int i = 0; i < 4; ++i) {
        const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16 * i));
        mask |= std::uint64_t{static_cast<std::uint16_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(block, lf)))} << (16 * i);
      }
      return mask;
    }
#endif
    const std::size_t n = std::min<std::size_t>(64, text_.size() - at);
    for (std::size_t i = 0; i < n; ++i) mask |= std::uint64_t{p[i] == '\n'} << i;
    return mask;
  }

  std::string_view text_;
  std::size_t block_ = 0;  // where the next mask starts
  std::uint64_t mask_ = 0;
};

std::uint16_t two_bytes(const char* p) noexcept {
  std::uint16_t w;
  std::memcpy(&w, p, sizeof w);
  return w;
}

// Each document section of the input, found by its start and end lines (up to the
// end-of-file line): its start line and the line of its КонецДокумента.
struct SectionSpan {
  std::uint64_t start;
  std::uint64_t end;
};

// The words that start and end sections, and the header's account key, in one encoding.
struct SectionWords {
  std::string start_key, end_word, file_end, account_start, account_key;

  explicit SectionWords(Encoding encoding)
      : start_key(encoded("СекцияДокумент", encoding)),
        end_word(encoded("КонецДокумента", encoding)),
        file_end(encoded("КонецФайла", encoding)),
        account_start(encoded("СекцияРасчСчет", encoding)),
        account_key(encoded("РасчСчет", encoding)) {}

  // Made once per encoding: a check of a small file is a few microseconds.
  static const SectionWords& of(Encoding encoding) {
    static const SectionWords utf8(Encoding::Utf8), cp1251(Encoding::Cp1251);
    return encoding == Encoding::Utf8 ? utf8 : cp1251;
  }
};

std::vector<SectionSpan> section_spans(std::string_view data, Encoding encoding) {
  const SectionWords& words = SectionWords::of(encoding);
  const std::string& start_key = words.start_key;
  const std::string& end_word = words.end_word;
  const std::string& file_end = words.file_end;
  const std::uint16_t start_prefix = two_bytes(start_key.data());
  const std::uint16_t end_prefix = two_bytes(end_word.data());  // КонецФайла's too
  std::vector<SectionSpan> spans;
  spans.reserve(data.size() / 1024);
  std::uint64_t start = 0;  // none
  std::uint64_t lineno = 0;
  LineFeeds feeds(data);
  for (std::size_t pos = 0; pos < data.size();) {
    const std::size_t lf = feeds.next();
    const std::string_view line = data.substr(pos, lf - pos);
    pos = lf + 1;
    ++lineno;
    const std::size_t at = skip_blanks(line, 0, encoding);
    // Most lines are other keys: two bytes tell them apart before any longer compare
    // (compared as a word: a library compare per line costs more than the rest of it).
    if (line.size() < at + 2) continue;
    const std::uint16_t head = two_bytes(line.data() + at);
    if (head != start_prefix && head != end_prefix) continue;
    if (line.substr(at).starts_with(start_key)) {
      const std::size_t eq = skip_blanks(line, at + start_key.size(), encoding);
      if (eq < line.size() && line[eq] == '=') start = lineno;
    } else if (is_word_line(line, at, end_word, encoding)) {
      if (start != 0) spans.push_back({start, lineno});
      start = 0;
    } else if (is_word_line(line, at, file_end, encoding)) {
      break;
    }
  }
  return spans;
}

// The start line of every document `s` built: the spans less the sections dropped with a
// warning (whose line is the section's end). All -1 when the two do not line up.
std::vector<std::int64_t> built_section_lines(const std::vector<SectionSpan>& spans, const Statement& s) {
  std::unordered_set<std::uint64_t> dropped;
  for (const Warning& w : s.warnings) dropped.insert(w.lineno);
  std::vector<std::int64_t> lines;
  lines.reserve(s.documents.size());
  for (const SectionSpan& span : spans)
    if (!dropped.contains(span.end)) lines.push_back(static_cast<std::int64_t>(span.start));
  if (lines.size() != s.documents.size()) lines.assign(s.documents.size(), -1);
  return lines;
}

// UTF-16 text with its byte-order mark as UTF-8, for finding its lines (a bad code unit
// becomes U+FFFD, as the Python package decodes it).
std::string utf8_of_utf16(std::string_view bytes) {
  const bool big = bytes.starts_with("\xfe\xff");
  std::string out;
  out.reserve(bytes.size());
  auto unit = [&](std::size_t i) {
    const auto a = static_cast<unsigned char>(bytes[i]), b = static_cast<unsigned char>(bytes[i + 1]);
    return big ? unsigned{a} << 8 | b : unsigned{b} << 8 | a;
  };
  for (std::size_t i = 2; i + 1 < bytes.size(); i += 2) {
    unsigned cp = unit(i);
    if (cp >= 0xD800 && cp < 0xDC00 && i + 3 < bytes.size() && unit(i + 2) >= 0xDC00 && unit(i + 2) < 0xE000) {
      cp = 0x10000 + ((cp - 0xD800) << 10) + (unit(i + 2) - 0xDC00);
      i += 2;
    } else if (cp >= 0xD800 && cp < 0xE000) {
      cp = 0xFFFD;
    }
    if (cp < 0x80) {
      out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
      out += {static_cast<char>(0xC0 | cp >> 6), static_cast<char>(0x80 | (cp & 0x3F))};
    } else if (cp < 0x10000) {
      out += {static_cast<char>(0xE0 | cp >> 12), static_cast<char>(0x80 | (cp >> 6 & 0x3F)),
              static_cast<char>(0x80 | (cp & 0x3F))};
    } else {
      out += {static_cast<char>(0xF0 | cp >> 18), static_cast<char>(0x80 | (cp >> 12 & 0x3F)),
              static_cast<char>(0x80 | (cp >> 6 & 0x3F)), static_cast<char>(0x80 | (cp & 0x3F))};
    }
  }
  return out;
}

bool is_utf16(std::string_view data) noexcept { return data.starts_with("\xff\xfe") || data.starts_with("\xfe\xff"); }

// The sections of `data` read as `encoding` (UTF-16 input as its UTF-8 text, whatever
// `encoding` says).
std::vector<SectionSpan> spans_of(std::string_view data, Encoding encoding) {
  return is_utf16(data) ? section_spans(utf8_of_utf16(data), Encoding::Utf8) : section_spans(data, encoding);
}

// The value of every "РасчСчет" line of the header (the lines before the first section)
// that is ASCII, blanks trimmed: the header keeps the last one only, and a statement of
// several accounts lists each there. (Others are no account number, and would need
// decoding: the header's own value stands for them.)
std::vector<std::string_view> header_accounts(std::string_view data, Encoding encoding) {
  const SectionWords& words = SectionWords::of(encoding);
  const std::string& key = words.account_key;
  const std::string& document_start = words.start_key;
  std::vector<std::string_view> values;
  LineFeeds feeds(data);
  for (std::size_t pos = 0; pos < data.size();) {
    const std::size_t lf = feeds.next();
    const std::string_view line = data.substr(pos, lf - pos);
    pos = lf + 1;
    const std::size_t at = skip_blanks(line, 0, encoding);
    if (is_word_line(line, at, words.account_start, encoding)) break;
    if (line.substr(at).starts_with(document_start)) {
      const std::size_t eq = skip_blanks(line, at + document_start.size(), encoding);
      if (eq < line.size() && line[eq] == '=') break;
    }
    if (!line.substr(at).starts_with(key)) continue;
    const std::size_t eq = skip_blanks(line, at + key.size(), encoding);
    if (eq >= line.size() || line[eq] != '=') continue;
    const std::size_t begin = skip_blanks(line, eq + 1, encoding);
    std::size_t end = line.size();
    for (std::size_t n; end > begin && (n = blank_before(line, end, encoding)) != 0;) end -= n;
    const std::string_view value = line.substr(begin, end - begin);
    if (!value.empty() && std::ranges::all_of(value, [](char c) { return static_cast<unsigned char>(c) < 0x80; }))
      values.push_back(value);
  }
  return values;
}

// The encoding a read of `data` will most likely find, known before the read: UTF-8 when
// its first byte above ASCII starts a UTF-8 character. The read's own is what counts.
Encoding likely_encoding(std::string_view data) noexcept {
  const auto* p = reinterpret_cast<const unsigned char*>(data.data());
  const auto* end = p + data.size();
  while (p != end && *p < 0x80) ++p;
  if (p == end) return Encoding::Utf8;
  const int continuations = *p >= 0xC2 && *p < 0xE0 ? 1 : *p >= 0xE0 && *p < 0xF5 ? (*p < 0xF0 ? 2 : 3) : 0;
  if (continuations == 0 || end - p <= continuations) return Encoding::Cp1251;
  for (int i = 1; i <= continuations; ++i)
    if ((p[i] & 0xC0) != 0x80) return Encoding::Cp1251;
  return Encoding::Utf8;
}

Direction direction_of(const Document& d, const std::unordered_set<std::string_view>& own) {
  const auto in = [&](DocumentField f) {
    const auto text = d.text(f);
    return text && own.contains(*text);
  };
  const bool incoming = in(DocumentField::PayeeAccount);
  const bool outgoing = in(DocumentField::CounterpartyAccount);
  if (incoming && outgoing) return Direction::Internal;
  return incoming ? Direction::Income : outgoing ? Direction::Expense : Direction::Unrelated;
}

// What a fingerprint hashes: each field's text as "<byte length>:<text>", or "-" when
// absent; the amount without trailing fractional zeros.
void fingerprint_input(const Document& d, std::string& buffer) {
  const FieldTexts texts(d);
  // Written through a pointer into room made once: a document is some hundred small pieces.
  buffer.resize_and_overwrite(texts.bytes() + kFieldCount * 21, [&](char* start, std::size_t) {
    char* out = start;
    for (std::size_t i = 0; i < kFieldCount; ++i) {
      const auto text = texts[i];
      if (!text) {
        *out++ = '-';
        continue;
      }
      std::string_view value = *text;
      if (field_kind(i) == Kind::Amount && value.find('.') != std::string_view::npos) {
        while (value.ends_with('0')) value.remove_suffix(1);
        if (value.ends_with('.')) value.remove_suffix(1);
      }
      out = std::to_chars(out, out + 20, value.size()).ptr;
      *out++ = ':';
      out = std::copy(value.begin(), value.end(), out);
    }
    return static_cast<std::size_t>(out - start);
  });
}

std::array<char, 32> hex_of(const Digest128& digest) noexcept {
  static constexpr char kHex[] = "0123456789abcdef";
  std::array<char, 32> hex;
  for (std::size_t i = 0; i < digest.size(); ++i) {
    hex[2 * i] = kHex[digest[i] >> 4];
    hex[2 * i + 1] = kHex[digest[i] & 15];
  }
  return hex;
}

// The fingerprints (BLAKE2b-128 of fingerprint_input, in hex) of documents [first, last),
// hashed kBlake2bLanes at a time.
void fingerprints_of(const std::vector<Document>& documents, std::size_t first, std::size_t last,
                     std::vector<std::array<char, 32>>& out) {
  std::array<std::string, kBlake2bLanes> buffers;  // reused for every batch of the range
  std::array<std::string_view, kBlake2bLanes> inputs;
  std::array<Digest128, kBlake2bLanes> digests;
  for (std::size_t i = first; i < last; i += kBlake2bLanes) {
    const std::size_t count = std::min(kBlake2bLanes, last - i);
    for (std::size_t k = 0; k < count; ++k) {
      fingerprint_input(documents[i + k], buffers[k]);
      inputs[k] = buffers[k];
    }
    blake2b_128_lanes(std::span(inputs).first(count), std::span(digests).first(count));
    for (std::size_t k = 0; k < count; ++k) out[i + k] = hex_of(digests[k]);
  }
}

}  // namespace

std::vector<std::int64_t> document_lines(std::string_view data, const Statement& s) {
  return built_section_lines(spans_of(data, s.encoding), s);
}

std::array<std::optional<ShortText>, 6> interval_texts(const Interval& i) noexcept {
  const auto amount = [](const std::optional<Amount>& a) {
    return a ? std::optional<ShortText>(format_amount(*a)) : std::nullopt;
  };
  return {format_date(i.date_start), i.date_end ? std::optional<ShortText>(format_date(*i.date_end)) : std::nullopt,
          format_amount(i.start_amount), amount(i.end_amount), amount(i.total_income), amount(i.total_expense)};
}

namespace {

bool in_python_range(const std::optional<Date>& d) noexcept { return !d || (d->year >= 1 && d->year <= 9999); }

}  // namespace

bool interval_dates_in_python_range(const Statement& s) noexcept {
  for (const Account& a : s.accounts.items())
    for (const Interval& i : a.intervals)
      if (!in_python_range(i.date_start) || !in_python_range(i.date_end)) return false;
  return true;
}

bool document_dates_in_python_range(const Statement& s) noexcept {
  for (const Document& d : s.documents)
    for (std::size_t f = 0; f < kFieldCount; ++f)
      if (field_kind(f) == Kind::Date && !in_python_range(document_date(d, f))) return false;
  return true;
}

bool dates_in_python_range(const Statement& s) noexcept {
  return interval_dates_in_python_range(s) && document_dates_in_python_range(s);
}

FieldTexts::FieldTexts(const Document& d) noexcept {
  std::size_t formatted = 0;
  const auto put = [&](std::size_t i, std::string_view text) {
    views_[i] = text;
    present_ |= std::uint64_t{1} << i;
    bytes_ += text.size();
  };
  for (std::size_t i = 0; i < kFieldCount; ++i) {
    switch (field_kind(i)) {
      case Kind::Text:
        if (const auto text = document_text(d, i)) put(i, *text);
        break;
      case Kind::Date:
        if (const auto date = document_date(d, i)) {
          formatted_[formatted] = format_date(*date);
          put(i, formatted_[formatted++].view());
        }
        break;
      case Kind::Amount:
        formatted_[formatted] = format_amount(d.amount());
        put(i, formatted_[formatted++].view());
        break;
    }
  }
}

std::string_view direction_name(Direction d) noexcept {
  switch (d) {
    case Direction::Income:
      return "income";
    case Direction::Expense:
      return "expense";
    case Direction::Internal:
      return "internal";
    case Direction::Unrelated:
      break;
  }
  return "unrelated";
}

std::optional<ParsedFile> parse_file(std::string_view data, std::optional<std::string> file) {
  std::optional<ParsedFile> parsed;
  std::unordered_set<std::string_view> own;  // the statement's own accounts
  std::string utf16_text;                    // UTF-16 input as UTF-8, for its header lines
  const auto read = [&] {
    auto statement = parse_statement(data);
    if (!statement) return false;
    parsed.emplace(std::move(file), std::move(*statement), std::vector<std::int64_t>{}, std::vector<Direction>{},
                   std::vector<std::array<char, 32>>{});
    const Statement& s = parsed->statement;
    for (const Account& a : s.accounts.items()) own.insert(a.number);
    if (const std::string_view* header_account = s.header.find("РасчСчет"); header_account && !header_account->empty())
      own.insert(*header_account);
    const bool utf16 = is_utf16(data);
    if (utf16) utf16_text = utf8_of_utf16(data);
    for (const std::string_view account :
         header_accounts(utf16 ? std::string_view(utf16_text) : data, utf16 ? Encoding::Utf8 : s.encoding))
      own.insert(account);
    parsed->directions.resize(s.documents.size());
    parsed->fingerprints.resize(s.documents.size());
    return true;
  };
  // The sections are found (a pass over the input) on the helper while this thread reads,
  // in the encoding the read will most likely find; then both take blocks of documents for
  // their directions and fingerprints as they come free.
  const Encoding likely = likely_encoding(data);
  std::vector<SectionSpan> spans;
  std::atomic<std::size_t> next{0};
  beside_helper(
      data.size() >= kTwoThreadsMinimumBytes, [&] { spans = spans_of(data, likely); }, read,
      [&] {
        const std::vector<Document>& documents = parsed->statement.documents;
        constexpr std::size_t kBlock = 8 * kBlake2bLanes;
        for (std::size_t first; (first = next.fetch_add(kBlock, std::memory_order_relaxed)) < documents.size();) {
          const std::size_t last = std::min(documents.size(), first + kBlock);
          for (std::size_t i = first; i < last; ++i) parsed->directions[i] = direction_of(documents[i], own);
          fingerprints_of(documents, first, last, parsed->fingerprints);
        }
      });
  if (!parsed) return std::nullopt;
  const Encoding found = parsed->statement.encoding;
  if (found != likely && !is_utf16(data)) spans = spans_of(data, found);
  parsed->lines = built_section_lines(spans, parsed->statement);
  return parsed;
}

}  // namespace varnok::native
