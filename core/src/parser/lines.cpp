// Raw lines and the classification of a line.
#include "parser/lines.hpp"

#include <bit>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "parser/keywords.hpp"

namespace varnok {

namespace {

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

}  // namespace

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
    if (trimmed == keyword::kExchange) return ClassifiedLine{LineKind::Exchange, {}, {}};
    if (trimmed == keyword::kAccountStart) return ClassifiedLine{LineKind::AccountStart, {}, {}};
    if (trimmed == keyword::kAccountEnd) return ClassifiedLine{LineKind::AccountEnd, {}, {}};
    if (trimmed == keyword::kDocumentEnd) return ClassifiedLine{LineKind::DocumentEnd, {}, {}};
    if (trimmed == keyword::kFileEnd) return ClassifiedLine{LineKind::FileEnd, {}, {}};
    return std::nullopt;
  }
  const auto eq = static_cast<std::size_t>(eq_at - trimmed.data());
  const std::string_view before = trimmed.substr(0, eq);
  const std::string_view after = trimmed.substr(eq + 1);
  if (eq != 0 && trim_right(before) == keyword::kDocumentStart) {
    return ClassifiedLine{LineKind::DocumentStart, {}, trim_left(after)};
  }
  return ClassifiedLine{LineKind::Attribute, trim(before), trim(after)};
}

std::string display(const ClassifiedLine& line) {
  switch (line.kind) {
    case LineKind::Exchange: return std::string(keyword::kExchange);
    case LineKind::AccountStart: return std::string(keyword::kAccountStart);
    case LineKind::AccountEnd: return std::string(keyword::kAccountEnd);
    case LineKind::DocumentStart: {
      std::string out;
      out.reserve(keyword::kDocumentStart.size() + 1 + line.value.size());
      out.append(keyword::kDocumentStart).append("=").append(line.value);
      return out;
    }
    case LineKind::DocumentEnd: return std::string(keyword::kDocumentEnd);
    case LineKind::FileEnd: return std::string(keyword::kFileEnd);
    case LineKind::Attribute: break;
  }
  // Not a section line; shown as it reads.
  std::string out;
  out.reserve(line.key.size() + 1 + line.value.size());
  out.append(line.key).append("=").append(line.value);
  return out;
}

}  // namespace varnok
