// make_document_stream: Arrow columns with validity bitmaps, offsets and values buffers,
// each array owning its buffers through private_data and freeing them in its release.
#include "arrow_stream.hpp"

#include "two_threads.hpp"

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

struct StreamState {
  std::vector<std::unique_ptr<Column>> columns;
  std::int64_t rows = 0;
  bool given = false;
};

int stream_get_schema(ArrowArrayStream* stream, ArrowSchema* out) {
  const auto* state = static_cast<StreamState*>(stream->private_data);
  std::vector<ArrowSchema*> children;
  for (const auto& c : state->columns) {
    auto* child = new ArrowSchema;
    fill_schema(child, c->format, c->name, kNullable, {});
    children.push_back(child);
  }
  fill_schema(out, "+s", "", 0, std::move(children));
  return 0;
}

int stream_get_next(ArrowArrayStream* stream, ArrowArray* out) {
  auto* state = static_cast<StreamState*>(stream->private_data);
  if (state->given) {
    out->release = nullptr;  // the end of the stream
    return 0;
  }
  state->given = true;
  const auto n = static_cast<std::int64_t>(state->columns.size());
  auto* top = new Column;  // the struct array's own (empty) validity buffer
  top->length = state->rows;
  *out = ArrowArray{state->rows, 0, 0, 1, n, nullptr, new ArrowArray*[n], nullptr, release_array, top};
  top->buffers = {nullptr};
  out->buffers = top->buffers.data();
  for (std::int64_t i = 0; i < n; ++i) {
    out->children[i] = new ArrowArray;
    fill_column_array(out->children[i], state->columns[static_cast<std::size_t>(i)].release());
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

// The text of column `column` (see make_document_stream) for document n of file f.
std::optional<std::string_view> text_of(std::size_t column, const ParsedFile& f, std::size_t n) {
  if (column == 0) return f.file ? std::optional<std::string_view>(*f.file) : std::nullopt;
  if (column == kFieldCount + 2) return direction_name(f.directions[n]);
  if (column == kFieldCount + 3) return std::string_view(f.fingerprints[n].data(), f.fingerprints[n].size());
  return document_text(f.statement.documents[n], column - 2);
}

// Fills column `column` (0 file, 1 line, 2 + i field i, then direction and fingerprint)
// with the value of every document of `files`; a message when an amount does not fit.
std::string fill_column(Column& c, std::size_t column, const std::vector<SharedFile>& files, std::size_t rows,
                        int scale) {
  c.validity.reserve(rows / 8 + 1);
  const Kind kind = column >= 2 && column < kFieldCount + 2 ? field_kind(column - 2) : Kind::Text;
  if (column == 1) {
    c.values.reserve(rows * sizeof(std::int64_t));
    for (const auto& f : files)
      for (const std::int64_t line : f->lines) c.push_fixed(line >= 0 ? std::optional(line) : std::nullopt);
  } else if (kind == Kind::Text) {
    // The texts' bytes first, so that the values buffer is made once.
    std::size_t bytes = 0;
    for (const auto& f : files)
      for (std::size_t n = 0; n < f->statement.documents.size(); ++n) bytes += text_of(column, *f, n).value_or("").size();
    c.values.reserve(bytes);
    c.offsets.reserve(rows + 1);
    for (const auto& f : files)
      for (std::size_t n = 0; n < f->statement.documents.size(); ++n) c.push_text(text_of(column, *f, n));
  } else if (kind == Kind::Date) {
    c.values.reserve(rows * sizeof(std::int32_t));
    for (const auto& f : files)
      for (const Document& d : f->statement.documents) {
        const auto date = document_date(d, column - 2);
        c.push_fixed(date ? std::optional(days_since_epoch(*date)) : std::nullopt);
      }
  } else {
    c.values.reserve(rows * 16);
    for (const auto& f : files)
      for (const Document& d : f->statement.documents) {
        const auto value = decimal128(d.amount(), scale);
        if (!value) return "an amount does not fit decimal128(38, " + std::to_string(scale) + ")";
        c.push_fixed(std::optional(*value));
      }
  }
  return {};
}

}  // namespace

std::string make_document_stream(std::vector<SharedFile> files, ArrowArrayStream* out) {
  auto state = std::make_unique<StreamState>();
  const int scale = largest_scale(files);
  auto add = [&](std::string format, std::string_view name) {
    auto c = std::make_unique<Column>();
    c->format = std::move(format);
    c->name = std::string(name);
    state->columns.push_back(std::move(c));
  };
  add("U", "file");
  add("l", "line");
  for (std::size_t i = 0; i < kFieldCount; ++i) {
    const Kind k = field_kind(i);
    add(k == Kind::Text ? "U" : k == Kind::Date ? "tdD" : "d:38," + std::to_string(scale), field_name(i));
  }
  add("U", "direction");
  add("U", "fingerprint");
  std::size_t rows = 0;
  for (const auto& f : files) rows += f->statement.documents.size();
  state->rows = static_cast<std::int64_t>(rows);
  // Column by column, half of the columns on a second thread for a large batch: each
  // column's buffers are sized once and filled in one run.
  auto& cols = state->columns;
  std::vector<std::string> problems(cols.size());
  on_two_threads(
      cols.size(),
      [&](std::size_t first, std::size_t last) {
        for (std::size_t i = first; i < last; ++i) problems[i] = fill_column(*cols[i], i, files, rows, scale);
      },
      rows >= kTwoThreadsMinimum);
  for (const std::string& problem : problems)
    if (!problem.empty()) return problem;
  *out = ArrowArrayStream{stream_get_schema, stream_get_next, stream_last_error, stream_release, state.release()};
  return {};
}

}  // namespace varnok::native
