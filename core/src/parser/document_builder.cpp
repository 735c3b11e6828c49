// Building a Document: pairs resolved through the field table as they arrive, typed
// values converted at the end, then one copy of all texts into the document's buffer.
#include "parser/document_builder.hpp"

#include <bit>
#include <cstring>
#include <utility>

#include "parser/values.hpp"

namespace varnok {

namespace {

constexpr std::uint64_t bit(std::size_t i) noexcept { return std::uint64_t{1} << i; }

constexpr std::uint64_t mask_of(auto pick) noexcept {
  std::uint64_t mask = 0;
  for (std::size_t i = 0; i < kDocumentFieldCount; ++i)
    if (pick(kDocumentFields[i])) mask |= bit(i);
  return mask;
}

static_assert(kDocumentFieldCount <= 64, "the filled-field set is one 64-bit mask");

constexpr std::uint64_t kRequired = mask_of([](const FieldInfo& f) { return f.required; });
constexpr std::uint64_t kTexts = mask_of([](const FieldInfo& f) { return f.kind == FieldKind::Text; });

// "missing field `Номер`", "duplicate field `СекцияДокумент`".
std::string field_failure(std::string_view what, std::string_view key) {
  std::string text;
  text.reserve(what.size() + key.size() + 2);
  text.append(what).append("`").append(key).append("`");
  return text;
}

template <class Slot, class T>
std::expected<void, std::string> store(Slot& slot, std::expected<T, std::string> parsed) {
  if (!parsed) return std::unexpected(std::move(parsed.error()));
  slot = *parsed;
  return {};
}

}  // namespace

void DocumentBuilder::start(std::string_view kind) noexcept {
  filled_ = 0;
  typed_count_ = 0;
  text_bytes_ = 0;
  kind_ = kind;
}

void DocumentBuilder::add(std::string_view key, std::string_view value) noexcept {
  if (const auto field = find_document_field(key)) add(*field, value);
}

void DocumentBuilder::add(DocumentField field, std::string_view value) noexcept {
  const auto index = static_cast<std::size_t>(field);
  const bool is_text = (kTexts & bit(index)) != 0;
  if (filled_ & bit(index)) {
    if (is_text) text_bytes_ -= values_[index].size();
  } else {
    filled_ |= bit(index);
    if (!is_text && field != DocumentField::DocType) typed_order_[typed_count_++] = field;
  }
  if (is_text) text_bytes_ += value.size();
  values_[index] = value;
}

std::expected<Document, std::string> DocumentBuilder::finish(std::size_t max_text_bytes) {
  Document doc;
  if (auto built = finish_into(doc, max_text_bytes); !built) return std::unexpected(std::move(built.error()));
  return doc;
}

std::expected<void, std::string> DocumentBuilder::finish_into(Document& doc, std::size_t max_text_bytes) {
  for (std::size_t i = 0; i < typed_count_; ++i) {
    const DocumentField field = typed_order_[i];
    const std::string_view value = values_[static_cast<std::size_t>(field)];
    const FieldInfo& info = field_info(field);
    std::expected<void, std::string> stored;
    if (info.kind == FieldKind::Amount) {
      stored = store(doc.amount_, parse_amount(value));
    } else {
      std::optional<Date>& date = doc.dates_[date_index(field)];
      stored = info.required ? store(date, parse_required_date(value)) : store(date, parse_optional_date(value));
    }
    if (!stored) return std::unexpected(std::move(stored.error()));
  }

  // The kind comes after every pair, so a "СекцияДокумент" key fills its field first.
  constexpr std::size_t kKind = static_cast<std::size_t>(DocumentField::DocType);
  if (filled_ & bit(kKind)) return std::unexpected(field_failure("duplicate field ", field_info(DocumentField::DocType).key));
  filled_ |= bit(kKind);
  values_[kKind] = kind_;
  text_bytes_ += kind_.size();

  if (const std::uint64_t missing = kRequired & ~filled_; missing != 0)
    return std::unexpected(field_failure("missing field ", kDocumentFields[std::countr_zero(missing)].key));
  // Offsets are 32-bit: a larger document would get wrapped offsets, i.e. wrong texts.
  const std::uint64_t present = filled_ & kTexts;
  const std::size_t bounds_bytes = sizeof(std::uint32_t) * (Document::count_bits(present) + 1);
  if (text_bytes_ > max_text_bytes || text_bytes_ > kMaxTextBytes - bounds_bytes) {
    return std::unexpected("document is too large");
  }

  // One allocation holds every text, in table order, after their bounds.
  doc.present_ = present;
  doc.storage_.resize_and_overwrite(bounds_bytes + text_bytes_, [&](char* out, std::size_t size) noexcept {
    // Only the present fields have bounds, so absent ones are skipped.
    auto at = static_cast<std::uint32_t>(bounds_bytes);
    char* bound = out;
    for (std::uint64_t rest = present; rest != 0; rest &= rest - 1) {
      const std::string_view text = values_[static_cast<std::size_t>(std::countr_zero(rest))];
      std::memcpy(bound, &at, sizeof at);
      bound += sizeof at;
      if (!text.empty()) std::memcpy(out + at, text.data(), text.size());
      at += static_cast<std::uint32_t>(text.size());
    }
    std::memcpy(bound, &at, sizeof at);
    return size;
  });
  return {};
}

}  // namespace varnok
