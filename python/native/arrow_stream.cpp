// make_document_stream: Arrow columns with validity bitmaps, offsets and values buffers,
// each array owning its buffers through private_data and freeing them in its release.
#include "arrow_stream.hpp"

#include "two_threads.hpp"

#include <algorithm>
#include <array>
#include <cstring>
#include <optional>
#include <string_view>
#include <utility>

namespace varnok::native {
namespace {

__extension__ typedef unsigned __int128 u128;

constexpr std::int64_t kNullable = 2;

// One column's buffers while it is built, then owned by its ArrowArray.
struct Column {
  std::string format;
  std::string name;
  std::vector<std::uint8_t> validity;
  std::vector<std::int64_t> offsets{0};  // utf8 columns only
  std::vector<char> values;
  std::int64_t length = 0;
  std::int64_t null_count = 0;
  std::vector<const void*> buffers;

  void push_valid(bool valid) {
    if (length % 8 == 0) validity.push_back(0);
    if (valid) {
      validity.back() |= static_cast<std::uint8_t>(1u << (length % 8));
    } else {
      ++null_count;
    }
    ++length;
  }
  void push_text(std::optional<std::string_view> s) {
    push_valid(s.has_value());
    if (s) values.insert(values.end(), s->begin(), s->end());
    offsets.push_back(static_cast<std::int64_t>(values.size()));
  }
  template <class T>
  void push_fixed(std::optional<T> v) {
    push_valid(v.has_value());
    const T value = v.value_or(T{});
    const auto* p = reinterpret_cast<const char*>(&value);
    values.insert(values.end(), p, p + sizeof(T));
  }
  bool is_text() const { return format == "U"; }
};

// Days since 1970-01-01 of a proleptic Gregorian date.
std::int32_t days_since_epoch(const Date& d) noexcept {
  const std::int64_t y = d.year - (d.month <= 2);
  const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
  const std::int64_t yoe = y - era * 400;
  const std::int64_t mp = (d.month + 9) % 12;
  const std::int64_t doy = (153 * mp + 2) / 5 + d.day - 1;
  const std::int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return static_cast<std::int32_t>(era * 146097 + doe - 719468);
}

// The amount as a decimal128 at `scale` (>= its own), or nullopt beyond 38 digits.
std::optional<std::array<std::uint64_t, 2>> decimal128(const Amount& a, int scale) noexcept {
  u128 value = (u128{a.mantissa_high} << 64) | a.mantissa_low;
  constexpr u128 kLimit = static_cast<u128>(10'000'000'000'000'000'000ull) * 10'000'000'000'000'000'000ull;  // 10^38
  for (int i = a.scale; i < scale; ++i) {
    if (value > kLimit / 10) return std::nullopt;
    value *= 10;
  }
  if (value >= kLimit) return std::nullopt;
  if (a.negative) value = ~value + 1;
  return std::array<std::uint64_t, 2>{static_cast<std::uint64_t>(value), static_cast<std::uint64_t>(value >> 64)};
}

// Releases and frees the children of a schema or an array (those a consumer has not
// moved out: theirs have no release), then frees what the node owns itself.
template <class Node, class Owned>
void release_node(Node* node) {
  for (std::int64_t i = 0; i < node->n_children; ++i) {
    Node* child = node->children[i];
    if (child->release != nullptr) child->release(child);
    delete child;
  }
  delete[] node->children;
  delete static_cast<Owned*>(node->private_data);
  node->release = nullptr;
}

void release_schema(ArrowSchema* schema) { release_node<ArrowSchema, std::pair<std::string, std::string>>(schema); }

void fill_schema(ArrowSchema* out, std::string format, std::string name, std::int64_t flags,
                 std::vector<ArrowSchema*> children) {
  auto* strings = new std::pair<std::string, std::string>(std::move(format), std::move(name));
  *out = ArrowSchema{strings->first.c_str(), strings->second.c_str(), nullptr, flags,
                     static_cast<std::int64_t>(children.size()), nullptr, nullptr, release_schema, strings};
  if (!children.empty()) {
    out->children = new ArrowSchema*[children.size()];
    std::copy(children.begin(), children.end(), out->children);
  }
}

void release_array(ArrowArray* array) { release_node<ArrowArray, Column>(array); }

void fill_column_array(ArrowArray* out, Column* c) {
  if (c->values.empty()) c->values.push_back(0);  // no null data buffer, even for no rows
  c->buffers = {c->null_count ? c->validity.data() : nullptr};
  if (c->is_text()) c->buffers.push_back(c->offsets.data());
  c->buffers.push_back(c->values.data());
  *out = ArrowArray{c->length, c->null_count, 0, static_cast<std::int64_t>(c->buffers.size()), 0,
                    c->buffers.data(), nullptr, nullptr, release_array, c};
}

struct Batch {
  std::vector<std::unique_ptr<Column>> columns;  // each moved into the array given for it
  std::int64_t rows = 0;
};

struct StreamState {
  std::vector<std::pair<std::string, std::string>> fields;  // (format, name) of each column
  std::vector<Batch> batches;
  std::size_t next = 0;  // the batch get_next gives next
};

int stream_get_schema(ArrowArrayStream* stream, ArrowSchema* out) {
  const auto* state = static_cast<StreamState*>(stream->private_data);
  std::vector<ArrowSchema*> children;
  for (const auto& [format, name] : state->fields) {
    auto* child = new ArrowSchema;
    fill_schema(child, format, name, kNullable, {});
    children.push_back(child);
  }
  fill_schema(out, "+s", "", 0, std::move(children));
  return 0;
}

int stream_get_next(ArrowArrayStream* stream, ArrowArray* out) {
  auto* state = static_cast<StreamState*>(stream->private_data);
  if (state->next == state->batches.size()) {
    out->release = nullptr;  // the end of the stream
    return 0;
  }
  Batch& batch = state->batches[state->next++];
  const auto n = static_cast<std::int64_t>(batch.columns.size());
  auto* top = new Column;  // the struct array's own (empty) validity buffer
  top->length = batch.rows;
  *out = ArrowArray{batch.rows, 0, 0, 1, n, nullptr, new ArrowArray*[n], nullptr, release_array, top};
  top->buffers = {nullptr};
  out->buffers = top->buffers.data();
  for (std::int64_t i = 0; i < n; ++i) {
    out->children[i] = new ArrowArray;
    fill_column_array(out->children[i], batch.columns[static_cast<std::size_t>(i)].release());
  }
  return 0;
}

const char* stream_last_error(ArrowArrayStream*) { return nullptr; }

void stream_release(ArrowArrayStream* stream) {
  delete static_cast<StreamState*>(stream->private_data);
  stream->release = nullptr;
}

int largest_scale(const std::vector<SharedFile>& files) {
  int scale = 0;
  for (const auto& f : files)
    for (const Document& d : f->statement.documents) scale = std::max(scale, int{d.amount().scale});
  return scale;
}

// Fills `batch` (its columns made) with the rows [first, last) of the documents of `files`
// (one after another), a row at a time; a message when an amount does not fit.
std::string fill_rows(Batch& batch, const std::vector<SharedFile>& files, std::size_t first, std::size_t last,
                      int scale) {
  auto& cols = batch.columns;
  // Room for every row at once, but for the texts' bytes: validity, offsets and fixed-width
  // values never move while they fill.
  const std::size_t rows = last - first;
  for (auto& c : cols) {
    c->validity.reserve(rows / 8 + 1);
    if (c->is_text()) c->offsets.reserve(rows + 1);
    c->values.reserve(c->is_text() ? 0 : rows * (c->format == "tdD" ? 4 : c->format == "l" ? 8 : 16));
  }
  std::size_t row = 0;  // of the first document of f
  for (const auto& f : files) {
    const auto& documents = f->statement.documents;
    const std::size_t begin = std::max(first, row), end = std::min(last, row + documents.size());
    const std::size_t offset = row;
    row += documents.size();
    const auto file = f->file ? std::optional<std::string_view>(*f->file) : std::nullopt;
    for (std::size_t n = begin - offset; begin < end && n < end - offset; ++n) {
      cols[0]->push_text(file);
      cols[1]->push_fixed(f->lines[n] >= 0 ? std::optional<std::int64_t>(f->lines[n]) : std::nullopt);
      for (std::size_t i = 0; i < kFieldCount; ++i) {
        Column& c = *cols[i + 2];
        switch (field_kind(i)) {
          case Kind::Text:
            c.push_text(document_text(documents[n], i));
            break;
          case Kind::Date: {
            const auto date = document_date(documents[n], i);
            c.push_fixed(date ? std::optional<std::int32_t>(days_since_epoch(*date)) : std::nullopt);
            break;
          }
          case Kind::Amount: {
            const auto value = decimal128(documents[n].amount(), scale);
            if (!value) return "an amount does not fit decimal128(38, " + std::to_string(scale) + ")";
            c.push_fixed(std::optional(*value));
            break;
          }
        }
      }
      cols[kFieldCount + 2]->push_text(direction_name(f->directions[n]));
      cols[kFieldCount + 3]->push_text(std::string_view(f->fingerprints[n].data(), f->fingerprints[n].size()));
      ++batch.rows;
    }
  }
  return {};
}

}  // namespace

std::string make_document_stream(std::vector<SharedFile> files, ArrowArrayStream* out) {
  auto state = std::make_unique<StreamState>();
  const int scale = largest_scale(files);
  auto& fields = state->fields;
  fields.emplace_back("U", "file");
  fields.emplace_back("l", "line");
  for (std::size_t i = 0; i < kFieldCount; ++i) {
    const Kind k = field_kind(i);
    fields.emplace_back(k == Kind::Text ? "U" : k == Kind::Date ? "tdD" : "d:38," + std::to_string(scale),
                        std::string(field_name(i)));
  }
  fields.emplace_back("U", "direction");
  fields.emplace_back("U", "fingerprint");
  std::size_t rows = 0;
  for (const auto& f : files) rows += f->statement.documents.size();
  // Two record batches, the second half of the rows filled on a second thread, for a large
  // batch of documents (one for a small one: the second stays unfilled and is dropped).
  state->batches.resize(2);
  std::array<bool, 2> filled{};
  std::array<std::string, 2> problems;
  for (Batch& batch : state->batches) {
    for (const auto& [format, name] : fields) {
      auto c = std::make_unique<Column>();
      c->format = format;
      c->name = name;
      batch.columns.push_back(std::move(c));
    }
  }
  on_two_threads(rows, [&](std::size_t first, std::size_t last) {
    const std::size_t b = first == 0 ? 0 : 1;
    filled[b] = true;
    problems[b] = fill_rows(state->batches[b], files, first, last, scale);
  });
  for (const std::string& problem : problems)
    if (!problem.empty()) return problem;
  if (!filled[1]) state->batches.pop_back();
  *out = ArrowArrayStream{stream_get_schema, stream_get_next, stream_last_error, stream_release, state.release()};
  return {};
}

}  // namespace varnok::native
