// Raw lines, White_Space trimming on UTF-8 bytes, and the classification of a line.
#include "parser/lines.hpp"

#include <bit>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace varnok {

namespace {

constexpr std::string_view kExchange = "1CClientBankExchange";
constexpr std::string_view kAccountStart = "СекцияРасчСчет";
constexpr std::string_view kAccountEnd = "КонецРасчСчет";
constexpr std::string_view kDocumentStart = "СекцияДокумент";
constexpr std::string_view kDocumentEnd = "КонецДокумента";
constexpr std::string_view kFileEnd = "КонецФайла";

bool is_ascii_space(unsigned char b) noexcept { return (b >= 0x09 && b <= 0x0D) || b == 0x20; }

// Length of the non-ASCII White_Space character whose UTF-8 form starts at p (n bytes
// available), or 0. Matching the encoded bytes keeps this safe on any byte string.
std::size_t wide_space_at(const unsigned char* p, std::size_t n) noexcept {
  if (n >= 2 && p[0] == 0xC2) return p[1] == 0x85 || p[1] == 0xA0 ? 2 : 0;  // U+0085 U+00A0
  if (n < 3) return 0;
  switch (p[0]) {
    case 0xE1: return p[1] == 0x9A && p[2] == 0x80 ? 3 : 0;  // U+1680
    case 0xE2:
      if (p[1] == 0x80) {
        // U+2000–U+200A, U+2028, U+2029, U+202F
        return (p[2] >= 0x80 && p[2] <= 0x8A) || p[2] == 0xA8 || p[2] == 0xA9 || p[2] == 0xAF ? 3 : 0;
      }
      return p[1] == 0x81 && p[2] == 0x9F ? 3 : 0;  // U+205F
    case 0xE3: return p[1] == 0x80 && p[2] == 0x80 ? 3 : 0;  // U+3000
    default: return 0;
  }
}

// The first c in [p, p + n), or nullptr. Lines are short, and a library search costs a
// call and its set-up per line; 16 bytes are compared at a time, the last block
// overlapping the one before so that no byte outside the range is read.
const char* find_byte(const char* p, std::size_t n, char c) noexcept {
#if defined(__SSE2__)
  if (n >= 16) {
    const __m128i needle = _mm_set1_epi8(c);
    const auto match = [&](std::size_t at) {
      const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + at));
      return static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(block, needle)));
    };
    std::size_t i = 0;
    for (; i + 16 <= n; i += 16) {
      if (const unsigned mask = match(i)) return p + i + std::countr_zero(mask);
    }
    if (i == n) return nullptr;
    // Bits of the final block for bytes before i were seen already.
    const unsigned mask = match(n - 16) & (0xFFFFu << (i - (n - 16)));
    return mask ? p + (n - 16) + std::countr_zero(mask) : nullptr;
  }
#endif
  for (std::size_t i = 0; i < n; ++i)
    if (p[i] == c) return p + i;
  return nullptr;
}

const unsigned char* bytes_of(std::string_view s) noexcept {
  return reinterpret_cast<const unsigned char*>(s.data());
}

}  // namespace

std::string_view detail::trim_left_slow(std::string_view s) noexcept {
  const unsigned char* p = bytes_of(s);
  std::size_t i = 0;
  while (i < s.size()) {
    if (is_ascii_space(p[i])) {
      ++i;
    } else if (p[i] < 0x80) {
      break;
    } else if (std::size_t len = wide_space_at(p + i, s.size() - i)) {
      i += len;
    } else {
      break;
    }
  }
  return s.substr(i);
}

std::string_view detail::trim_right_slow(std::string_view s) noexcept {
  const unsigned char* p = bytes_of(s);
  std::size_t n = s.size();
  while (n > 0) {
    const unsigned char last = p[n - 1];
    if (is_ascii_space(last)) {
      --n;
      continue;
    }
    if (last < 0x80) break;
    // A multi-byte space ends in a continuation byte; its lead is 2 or 3 bytes back.
    if (n >= 2 && wide_space_at(p + n - 2, 2) == 2) {
      n -= 2;
    } else if (n >= 3 && wide_space_at(p + n - 3, 3) == 3) {
      n -= 3;
    } else {
      break;
    }
  }
  return s.substr(0, n);
}

bool LineCursor::next(std::string_view& line) noexcept {
  if (done_ || rest_.empty()) {
    done_ = true;
    return false;
  }
  ++lineno_;
  const char* lf = find_byte(rest_.data(), rest_.size(), '\n');
  if (lf == nullptr) {
    // The final piece after the last LF; non-empty, checked above.
    line = rest_;
    done_ = true;
    return true;
  }
  const auto pos = static_cast<std::size_t>(lf - rest_.data());
  line = rest_.substr(0, pos);
  if (line.ends_with('\r')) line.remove_suffix(1);
  rest_.remove_prefix(pos + 1);
  return true;
}

std::optional<ClassifiedLine> classify(std::string_view trimmed) noexcept {
  const char* eq_at = find_byte(trimmed.data(), trimmed.size(), '=');
  if (eq_at == nullptr) {
    if (trimmed == kExchange) return ClassifiedLine{LineKind::Exchange, {}, {}};
    if (trimmed == kAccountStart) return ClassifiedLine{LineKind::AccountStart, {}, {}};
    if (trimmed == kAccountEnd) return ClassifiedLine{LineKind::AccountEnd, {}, {}};
    if (trimmed == kDocumentEnd) return ClassifiedLine{LineKind::DocumentEnd, {}, {}};
    if (trimmed == kFileEnd) return ClassifiedLine{LineKind::FileEnd, {}, {}};
    return std::nullopt;
  }
  const auto eq = static_cast<std::size_t>(eq_at - trimmed.data());
  const std::string_view before = trimmed.substr(0, eq);
  const std::string_view after = trimmed.substr(eq + 1);
  if (eq != 0 && trim_right(before) == kDocumentStart) {
    return ClassifiedLine{LineKind::DocumentStart, {}, trim_left(after)};
  }
  return ClassifiedLine{LineKind::Attribute, trim(before), trim(after)};
}

std::string display(const ClassifiedLine& line) {
  switch (line.kind) {
    case LineKind::Exchange: return std::string(kExchange);
    case LineKind::AccountStart: return std::string(kAccountStart);
    case LineKind::AccountEnd: return std::string(kAccountEnd);
    case LineKind::DocumentStart: {
      std::string out;
      out.reserve(kDocumentStart.size() + 1 + line.value.size());
      out.append(kDocumentStart).append("=").append(line.value);
      return out;
    }
    case LineKind::DocumentEnd: return std::string(kDocumentEnd);
    case LineKind::FileEnd: return std::string(kFileEnd);
    case LineKind::Attribute: break;
  }
  // Not a section line; shown as it reads.
  std::string out;
  out.reserve(line.key.size() + 1 + line.value.size());
  out.append(line.key).append("=").append(line.value);
  return out;
}

}  // namespace varnok
