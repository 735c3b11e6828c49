// make_document_stream: Arrow columns with validity bitmaps, offsets and values buffers,
// each array owning its buffers through private_data and freeing them in its release.
#include "arrow_stream.hpp"

#include "two_threads.hpp"

#include <algorithm>
#include <array>
#include <atomic>
#include <thread>
#include <cstring>
#include <optional>
#include <string_view>
#include <utility>

namespace varnok::native {
namespace {

__extension__ typedef unsigned __int128 u128;

constexpr std::int64_t kNullable = 2;

// One column's buffers while it is built, then owned by its ArrowArray. Every buffer is
// sized before the fill (the texts' bytes counted first), so that two threads can each fill
// rows of their own in place. Offsets and values are left uninitialised: each is written
// once, and clearing them first would be a serial pass over most of the batch.
struct Column {
  std::string format;
  std::string name;
  std::size_t width = 0;  // of a fixed-width value; 0 for utf8
  std::vector<std::uint8_t> validity;
  std::unique_ptr<std::int64_t[]> offsets;  // utf8 only: rows + 1
  std::unique_ptr<char[]> values;
  std::int64_t length = 0;
  std::int64_t null_count = 0;
  std::vector<const void*> buffers;

  Column(std::string f, std::string n, std::size_t rows)
      : format(std::move(f)),
        name(std::move(n)),
        width(format == "U" ? 0 : format == "tdD" ? 4 : format == "l" ? 8 : 16),
        validity(rows / 8 + 1),
        length(static_cast<std::int64_t>(rows)) {
    if (is_text()) {
      offsets.reset(new std::int64_t[rows + 1]);
      offsets[0] = 0;
    } else {
      allocate_values(width * rows);
    }
  }

  bool is_text() const { return width == 0; }
  // Never a null pointer, even for no bytes: Arrow wants a data buffer.
  void allocate_values(std::size_t bytes) { values.reset(new char[std::max<std::size_t>(bytes, 1)]); }
};

// One thread's writer into the columns' rows [first, last) (first a multiple of 8), its
// texts from the given byte of each column on. Validity bits and null counts are its own
// until both threads are done: a small batch's bitmaps are a cache line or two, which the
// two threads would otherwise both write on every row.
class RowWriter {
 public:
  RowWriter(std::vector<std::unique_ptr<Column>>& columns, std::size_t first, std::size_t last,
            std::vector<std::size_t> text_starts)
      : columns_(columns),
        first_(first),
        at_(std::move(text_starts)),
        validity_(columns.size(), std::vector<std::uint8_t>((last - first + 7) / 8)),
        nulls_(columns.size()) {}

  void text(std::size_t column, std::size_t row, std::optional<std::string_view> s) {
    Column& c = *columns_[column];
    if (valid(column, row, s.has_value())) {
      std::memcpy(c.values.get() + at_[column], s->data(), s->size());
      at_[column] += s->size();
    }
    c.offsets[row + 1] = static_cast<std::int64_t>(at_[column]);
  }
  template <class T>
  void fixed(std::size_t column, std::size_t row, std::optional<T> v) {
    const T value = valid(column, row, v.has_value()) ? *v : T{};
    std::memcpy(columns_[column]->values.get() + row * sizeof(T), &value, sizeof(T));
  }
  // Adds this thread's validity bits and null counts to the columns' (once both are done).
  void put_validity() const {
    for (std::size_t i = 0; i < columns_.size(); ++i) {
      Column& c = *columns_[i];
      std::copy(validity_[i].begin(), validity_[i].end(), c.validity.begin() + static_cast<std::ptrdiff_t>(first_ / 8));
      c.null_count += nulls_[i];
    }
  }

 private:
  bool valid(std::size_t column, std::size_t row, bool valid) {
    if (valid) {
      validity_[column][(row - first_) / 8] |= static_cast<std::uint8_t>(1u << (row % 8));
    } else {
      ++nulls_[column];
    }
    return valid;
  }

  std::vector<std::unique_ptr<Column>>& columns_;
  std::size_t first_;
  std::vector<std::size_t> at_;  // per column: where its next text byte goes
  std::vector<std::vector<std::uint8_t>> validity_;
  std::vector<std::int64_t> nulls_;
};

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
  c->buffers = {c->null_count ? c->validity.data() : nullptr};
  if (c->is_text()) c->buffers.push_back(c->offsets.get());
  c->buffers.push_back(c->values.get());
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
  auto* top = new Column("+s", "", 0);  // the struct array's own (unused) buffers
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

// Calls row(f, n, r) for the rows r in [first, last) of the documents of `files` (one after
// another), n the row's document in file f, while it returns true.
template <class Row>
void for_each_row(const std::vector<SharedFile>& files, std::size_t first, std::size_t last, Row row) {
  std::size_t start = 0;  // the row of the first document of f
  for (const auto& f : files) {
    const std::size_t count = f->statement.documents.size();
    for (std::size_t r = std::max(first, start); r < std::min(last, start + count); ++r)
      if (!row(*f, r - start, r)) return;
    start += count;
  }
}

// Adds the text bytes of rows [first, last) to `bytes`, by column.
void count_text_bytes(const std::vector<SharedFile>& files, std::size_t first, std::size_t last,
                      std::vector<std::size_t>& bytes) {
  for_each_row(files, first, last, [&](const ParsedFile& f, std::size_t n, std::size_t) {
    const Document& d = f.statement.documents[n];
    bytes[0] += f.file ? f.file->size() : 0;
    for (std::size_t i = 0; i < kFieldCount; ++i)
      if (const auto text = field_kind(i) == Kind::Text ? document_text(d, i) : std::nullopt) bytes[i + 2] += text->size();
    bytes[kFieldCount + 2] += direction_name(f.directions[n]).size();
    bytes[kFieldCount + 3] += f.fingerprints[n].size();
    return true;
  });
}

// Fills rows [first, last); a message when an amount does not fit.
std::string fill_rows(RowWriter& out, const std::vector<SharedFile>& files, std::size_t first, std::size_t last,
                      int scale) {
  std::string problem;
  for_each_row(files, first, last, [&](const ParsedFile& f, std::size_t n, std::size_t r) {
    const Document& d = f.statement.documents[n];
    out.text(0, r, f.file_name());
    out.fixed(1, r, f.lines[n] >= 0 ? std::optional<std::int64_t>(f.lines[n]) : std::nullopt);
    for (std::size_t i = 0; i < kFieldCount; ++i) {
      switch (field_kind(i)) {
        case Kind::Text:
          out.text(i + 2, r, document_text(d, i));
          break;
        case Kind::Date: {
          const auto date = document_date(d, i);
          out.fixed(i + 2, r, date ? std::optional<std::int32_t>(static_cast<std::int32_t>(days_since_epoch(*date))) : std::nullopt);
          break;
        }
        case Kind::Amount: {
          const auto value = decimal128(d.amount(), scale);
          if (!value) {
            // Named, so that the file can be read apart (or the batch exported as text).
            problem = std::string(f.file_name().value_or("<input>"));
            if (f.lines[n] >= 0) problem += ":" + std::to_string(f.lines[n]);
            const ShortText amount = format_amount(d.amount());
            problem += ": the amount " + std::string(amount.view()) + " does not fit decimal128(38, " +
                       std::to_string(scale) + "), the scale of the finest amount of the batch";
            return false;
          }
          out.fixed(i + 2, r, std::optional(*value));
          break;
        }
      }
    }
    out.text(kFieldCount + 2, r, direction_name(f.directions[n]));
    out.text(kFieldCount + 3, r, std::string_view(f.fingerprints[n].data(), f.fingerprints[n].size()));
    return true;
  });
  return problem;
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
  // One record batch (a consumer imports each batch's arrays one by one, and pandas works
  // per chunk), filled on two threads for a large batch of documents: the second from a
  // row that starts a byte of the validity bitmaps.
  Batch& batch = state->batches.emplace_back();
  batch.rows = static_cast<std::int64_t>(rows);
  for (const auto& [format, name] : fields) batch.columns.push_back(std::make_unique<Column>(format, name, rows));
  const std::size_t split = rows / 2 / 8 * 8;
  // The first thread counts the text bytes of both parts and makes the text buffers; the
  // second (which starts meanwhile) waits for them.
  std::array<std::vector<std::size_t>, 2> bytes{std::vector<std::size_t>(fields.size()),
                                                std::vector<std::size_t>(fields.size())};
  enum : int { kWaiting, kReady, kFailed };
  std::atomic<int> buffers{kWaiting};
  const auto make_text_buffers = [&](std::size_t parts) {
    struct Publish {
      std::atomic<int>& state;
      int outcome = kFailed;
      ~Publish() { state.store(outcome, std::memory_order_release); }
    } publish{buffers};
    count_text_bytes(files, 0, parts == 2 ? split : rows, bytes[0]);
    if (parts == 2) count_text_bytes(files, split, rows, bytes[1]);
    for (std::size_t i = 0; i < fields.size(); ++i)
      if (batch.columns[i]->is_text()) batch.columns[i]->allocate_values(bytes[0][i] + bytes[1][i]);
    publish.outcome = kReady;
  };
  std::array<std::string, 2> problems;
  std::array<std::optional<RowWriter>, 2> writers;
  on_two_threads(
      2,
      [&](std::size_t part, std::size_t end) {
        // (0, 2): every row on this thread; else (0, 1) the rows before split, (1, 2) the rest.
        const bool later = part == 1, alone = end == 2 && part == 0;
        if (later) {
          int state;
          while ((state = buffers.load(std::memory_order_acquire)) == kWaiting) std::this_thread::yield();
          if (state == kFailed) return;  // the first thread raises why
        } else {
          make_text_buffers(alone ? 1 : 2);
        }
        const std::size_t first = later ? split : 0, last = later || alone ? rows : split;
        RowWriter& out = writers[later].emplace(batch.columns, first, last,
                                                later ? bytes[0] : std::vector<std::size_t>(fields.size()));
        problems[later] = fill_rows(out, files, first, last, scale);
      },
      rows >= kTwoThreadsMinimum);
  for (const auto& writer : writers)
    if (writer) writer->put_validity();
  for (const std::string& problem : problems)
    if (!problem.empty()) return problem;
  *out = ArrowArrayStream{stream_get_schema, stream_get_next, stream_last_error, stream_release, state.release()};
  return {};
}

}  // namespace varnok::native
