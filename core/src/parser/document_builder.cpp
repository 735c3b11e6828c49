// Building a Document: one pass over the entries through the field table, then one
// copy of all texts into the document's buffer.
#include "parser/document_builder.hpp"

#include <array>
#include <bit>
#include <cstdint>
#include <cstring>
#include <utility>

#include "parser/field_table.hpp"
#include "parser/values.hpp"

namespace varnok {

namespace {

constexpr std::string_view kKindKey = "СекцияДокумент";

constexpr std::uint64_t bit(std::size_t i) noexcept { return std::uint64_t{1} << i; }

std::uint64_t mask_of(auto pick) noexcept {
  std::uint64_t mask = 0;
  for (std::size_t i = 0; i < kDocumentFieldCount; ++i)
    if (pick(kDocumentFields[i].type)) mask |= bit(i);
  return mask;
}

static_assert(kDocumentFieldCount <= 64, "the filled-field set is one 64-bit mask");

// The table is constant-initialised in its own file, so these see it filled.
const std::uint64_t kRequired = mask_of([](FieldType t) {
  return t == FieldType::Text || t == FieldType::RequiredDate || t == FieldType::Amount;
});
const std::uint64_t kTexts = mask_of([](FieldType t) { return t == FieldType::Text || t == FieldType::OptionalText; });

// "missing field `Номер`", "duplicate field `СекцияДокумент`".
std::string field_failure(std::string_view what, std::string_view key) {
  std::string text;
  text.reserve(what.size() + key.size() + 2);
  text.append(what).append("`").append(key).append("`");
  return text;
}

}  // namespace

class DocumentBuilder {
 public:
  // The largest text total whose offsets and lengths fit a Span (kAbsent is reserved).
  static constexpr std::size_t kMaxTextBytes = Document::kAbsent - 1;

  static std::expected<Document, std::string> build(const Attributes& attrs, std::string_view kind,
                                                    std::size_t max_text_bytes) {
    DocumentBuilder builder;
    for (const auto& entry : attrs) {
      if (auto failed = builder.take(entry.key, entry.value); !failed) return std::unexpected(std::move(failed.error()));
    }
    if (auto failed = builder.take(kKindKey, kind); !failed) return std::unexpected(std::move(failed.error()));
    return builder.finish(max_text_bytes);
  }

 private:
  // One entry: resolve, reject a second fill, convert. Unknown keys are dropped.
  std::expected<void, std::string> take(std::string_view key, std::string_view value) {
    const auto field = find_document_field(key);
    if (!field) return {};
    const auto index = static_cast<std::size_t>(*field);
    if (filled_ & bit(index)) return std::unexpected(field_failure("duplicate field ", key));
    filled_ |= bit(index);

    switch (kDocumentFields[index].type) {
      case FieldType::Text:
      case FieldType::OptionalText:
        texts_[index] = value;  // borrowed until finish() copies it
        text_bytes_ += value.size();
        return {};
      case FieldType::RequiredDate: {
        auto date = parse_required_date(value);
        if (!date) return std::unexpected(std::move(date.error()));
        doc_.doc_date_ = *date;
        return {};
      }
      case FieldType::OptionalDate: {
        auto date = parse_optional_date(value);
        if (!date) return std::unexpected(std::move(date.error()));
        (*field == DocumentField::OutcomeDate ? doc_.outcome_date_ : doc_.income_date_) = *date;
        return {};
      }
      case FieldType::Amount: {
        auto amount = parse_amount(value);
        if (!amount) return std::unexpected(std::move(amount.error()));
        doc_.amount_ = *amount;
        return {};
      }
    }
    return {};
  }

  std::expected<Document, std::string> finish(std::size_t max_text_bytes) {
    if (const std::uint64_t missing = kRequired & ~filled_; missing != 0)
      return std::unexpected(field_failure("missing field ", kDocumentFields[std::countr_zero(missing)].key));
    // Spans are 32-bit: a larger document would get wrapped offsets, i.e. wrong texts.
    if (text_bytes_ > max_text_bytes || text_bytes_ > kMaxTextBytes) return std::unexpected("document is too large");

    // One allocation holds every text, in table order.
    const std::uint64_t present = filled_ & kTexts;
    doc_.storage_.resize_and_overwrite(text_bytes_, [&](char* out, std::size_t size) noexcept {
      std::uint32_t at = 0;
      for (std::uint64_t rest = present; rest != 0; rest &= rest - 1) {
        const auto index = static_cast<std::size_t>(std::countr_zero(rest));
        const std::string_view text = texts_[index];
        if (!text.empty()) std::memcpy(out + at, text.data(), text.size());
        doc_.spans_[index] = {at, static_cast<std::uint32_t>(text.size())};
        at += static_cast<std::uint32_t>(text.size());
      }
      return size;
    });
    return std::move(doc_);
  }

  Document doc_;
  std::array<std::string_view, kDocumentFieldCount> texts_{};  // borrowed: attrs and kind
  std::uint64_t filled_ = 0;
  std::size_t text_bytes_ = 0;
};

std::expected<Document, std::string> build_document(const Attributes& attrs, std::string_view kind) {
  return DocumentBuilder::build(attrs, kind, DocumentBuilder::kMaxTextBytes);
}

namespace detail {
std::expected<Document, std::string> build_document(const Attributes& attrs, std::string_view kind,
                                                    std::size_t max_text_bytes) {
  return DocumentBuilder::build(attrs, kind, max_text_bytes);
}
}  // namespace detail

}  // namespace varnok
