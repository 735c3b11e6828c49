// Bindings of the native exports. Parsed files are capsules that own one ParsedFile; the
// work on them runs with the thread state detached.
#include "exports.hpp"

#include "file_read.hpp"

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "arrow_stream.hpp"
#include "native_ref.hpp"
#include "output_pieces.hpp"
#include "parsed_file.hpp"
#include "text_rows.hpp"
#include "two_threads.hpp"
#include "xlsx_rows.hpp"

namespace varnok::native {
namespace {

constexpr const char* kParsedName = "varnok._native.ParsedFile";

// The parsed file of a capsule; null with an exception set when it is not one.
SharedFile* shared_file(PyObject* capsule) noexcept {
  return static_cast<SharedFile*>(PyCapsule_GetPointer(capsule, kParsedName));
}

void parsed_destructor(PyObject* capsule) { delete shared_file(capsule); }

void stream_destructor(PyObject* capsule) {
  auto* stream = static_cast<ArrowArrayStream*>(PyCapsule_GetPointer(capsule, "arrow_array_stream"));
  if (stream == nullptr) {
    PyErr_Clear();
    return;
  }
  if (stream->release != nullptr) stream->release(stream);
  delete stream;
}

// The parsed files of a sequence of capsules. `holder` keeps them alive (a tuple
// snapshot, so other threads changing the sequence cannot free one under us).
bool parsed_files(PyObject* sequence, Ref& holder, std::vector<SharedFile>& out) noexcept {
  holder = Ref::steal(PySequence_Tuple(sequence));
  if (!holder) return false;
  const Py_ssize_t n = PyTuple_GET_SIZE(holder.get());
  out.reserve(static_cast<std::size_t>(n));
  for (Py_ssize_t i = 0; i < n; ++i) {
    SharedFile* file = shared_file(PyTuple_GET_ITEM(holder.get(), i));
    if (file == nullptr) return false;
    out.push_back(*file);
  }
  return true;
}

// The text rows of the documents of a sequence of parsed files, as a tuple of output
// pieces: written by rows(out, file, first, last, index) for ranges of each file's
// documents (`index`: the place of `first` among all the files' documents), the
// first half of the documents [begin, end) of them all (after `header`) and the second
// on two threads when there are many, each into a kept buffer.
template <class Rows>
PyObject* pieces_of(PyObject* module, PyObject* sequence, std::string_view header, Rows rows,
                    std::size_t begin = 0, std::size_t end = SIZE_MAX) noexcept {
  Ref holder;
  std::vector<SharedFile> files;
  if (!parsed_files(sequence, holder, files)) return nullptr;
  std::size_t total = 0;
  for (const auto& f : files) total += f->statement.documents.size();
  end = std::min(end, total);
  begin = std::min(begin, end);
  std::string parts[2];
  bool failed = false;
  Py_BEGIN_ALLOW_THREADS
  try {
    for (std::string& part : parts) part = take_room();
    parts[0].append(header);
    on_two_threads(end - begin, [&](std::size_t from_begin, std::size_t to_begin) {
      const std::size_t first = begin + from_begin, last = begin + to_begin;
      std::string& out = parts[from_begin == 0 ? 0 : 1];
      out.reserve((last - first) * 1536);  // a typical row is about 1 KiB
      std::size_t start = 0;  // the global index of the current file's first document
      for (const auto& f : files) {
        const std::size_t count = f->statement.documents.size();
        const std::size_t from = std::max(first, start), to = std::min(last, start + count);
        if (from < to) rows(out, *f, from - start, to - start, from);
        start += count;
      }
    });
  } catch (const std::bad_alloc&) {
    failed = true;
  }
  Py_END_ALLOW_THREADS
  if (failed) return PyErr_NoMemory();
  Ref first = Ref::steal(output_piece(module, std::move(parts[0])));
  if (!first) return nullptr;
  if (parts[1].empty()) return PyTuple_Pack(1, first.get());
  Ref second = Ref::steal(output_piece(module, std::move(parts[1])));
  return second ? PyTuple_Pack(2, first.get(), second.get()) : nullptr;
}

// The capsule of a parsed file, or None when `parsed` is empty.
PyObject* capsule_of(std::unique_ptr<SharedFile> parsed) noexcept {
  if (!parsed) Py_RETURN_NONE;
  PyObject* capsule = PyCapsule_New(parsed.get(), kParsedName, parsed_destructor);
  if (capsule != nullptr) (void)parsed.release();
  return capsule;
}

// parse_file into a shareable result, or nothing when the read fails.
std::unique_ptr<SharedFile> shared_parse(std::string_view data, std::optional<std::string> file) {
  auto result = parse_file(data, std::move(file));
  if (!result) return nullptr;
  return std::make_unique<SharedFile>(std::make_shared<const ParsedFile>(std::move(*result)));
}

}  // namespace

PyObject* parse(PyObject*, PyObject* const* args, Py_ssize_t nargs) noexcept {
  if (nargs != 2 || !PyBytes_Check(args[0]) || (args[1] != Py_None && !PyUnicode_Check(args[1]))) {
    PyErr_SetString(PyExc_TypeError, "parse(data: bytes, file: str | None)");
    return nullptr;
  }
  std::optional<std::string> file;
  if (args[1] != Py_None) {
    Py_ssize_t size = 0;
    const char* text = PyUnicode_AsUTF8AndSize(args[1], &size);
    if (text == nullptr) return nullptr;
    file.emplace(text, static_cast<std::size_t>(size));
  }
  // bytes are immutable, and args[0] is kept alive by the caller for the call.
  const std::string_view data(PyBytes_AS_STRING(args[0]), static_cast<std::size_t>(PyBytes_GET_SIZE(args[0])));
  std::unique_ptr<SharedFile> parsed;
  bool failed = false;
  Py_BEGIN_ALLOW_THREADS
  try {
    parsed = shared_parse(data, std::move(file));
  } catch (const std::bad_alloc&) {
    failed = true;
  }
  Py_END_ALLOW_THREADS
  if (failed) return PyErr_NoMemory();
  return capsule_of(std::move(parsed));
}

PyObject* parse_path(PyObject*, PyObject* path) noexcept {
  if (!PyUnicode_Check(path)) {
    PyErr_SetString(PyExc_TypeError, "parse_path(path: str)");
    return nullptr;
  }
  Py_ssize_t size = 0;
  const char* text = PyUnicode_AsUTF8AndSize(path, &size);
  if (text == nullptr) {  // not UTF-8 (surrogates): the Python path's
    PyErr_Clear();
    Py_RETURN_NONE;
  }
  // The file's bytes live only through the parse (the result owns its texts): kept room.
  std::string data = take_room();
  std::unique_ptr<SharedFile> parsed;
  bool failed = false;
  try {
    std::string name(text, static_cast<std::size_t>(size));
    Py_BEGIN_ALLOW_THREADS
    try {
      if (name.find('\0') == std::string::npos && read_whole(name, data)) parsed = shared_parse(data, std::move(name));
    } catch (const std::bad_alloc&) {
      failed = true;
    }
    keep_room(std::move(data));
    Py_END_ALLOW_THREADS
  } catch (const std::bad_alloc&) {
    failed = true;
  }
  if (failed) return PyErr_NoMemory();
  return capsule_of(std::move(parsed));
}

PyObject* document_count(PyObject*, PyObject* parsed) noexcept {
  SharedFile* file = shared_file(parsed);
  return file == nullptr ? nullptr : PyLong_FromSize_t((*file)->statement.documents.size());
}

PyObject* interval_count(PyObject*, PyObject* parsed) noexcept {
  SharedFile* file = shared_file(parsed);
  if (file == nullptr) return nullptr;
  std::size_t count = 0;
  for (const Account& a : (*file)->statement.accounts.items()) count += a.intervals.size();
  return PyLong_FromSize_t(count);
}

namespace {

// The optional (begin, end) of a range of documents among args[at...]: all by default.
bool document_range(PyObject* const* args, Py_ssize_t nargs, Py_ssize_t at, std::size_t& begin,
                    std::size_t& end) noexcept {
  begin = 0;
  end = SIZE_MAX;
  if (nargs > at && (begin = PyLong_AsSize_t(args[at]), PyErr_Occurred())) return false;
  if (nargs > at + 1 && (end = PyLong_AsSize_t(args[at + 1]), PyErr_Occurred())) return false;
  return true;
}

}  // namespace

PyObject* jsonl(PyObject* module, PyObject* const* args, Py_ssize_t nargs) noexcept {
  std::size_t begin = 0, end = 0;
  if (nargs < 1 || nargs > 3) {
    PyErr_SetString(PyExc_TypeError, "jsonl(parsed_files, begin: int = 0, end: int = all)");
    return nullptr;
  }
  if (!document_range(args, nargs, 1, begin, end)) return nullptr;
  return pieces_of(
      module, args[0], {},
      [](std::string& out, const ParsedFile& f, std::size_t first, std::size_t last, std::size_t) {
        append_jsonl(out, f, first, last);
      },
      begin, end);
}

PyObject* csv(PyObject* module, PyObject* const* args, Py_ssize_t nargs) noexcept {
  std::size_t begin = 0, end = 0;
  if (nargs < 2 || nargs > 4) {
    PyErr_SetString(PyExc_TypeError, "csv(parsed_files, header: bool, begin: int = 0, end: int = all)");
    return nullptr;
  }
  const int header = PyObject_IsTrue(args[1]);
  if (header < 0 || !document_range(args, nargs, 2, begin, end)) return nullptr;
  std::string header_row;
  if (header) append_csv_header(header_row);
  return pieces_of(
      module, args[0], header_row,
      [](std::string& out, const ParsedFile& f, std::size_t first, std::size_t last, std::size_t) {
        append_csv(out, f, first, last);
      },
      begin, end);
}

PyObject* xlsx_rows(PyObject* module, PyObject* const* args, Py_ssize_t nargs) noexcept {
  if (nargs != 2 || !PyLong_Check(args[1])) {
    PyErr_SetString(PyExc_TypeError, "xlsx_rows(parsed_files, first_row: int)");
    return nullptr;
  }
  const std::size_t first_row = PyLong_AsSize_t(args[1]);
  if (PyErr_Occurred()) return nullptr;
  return pieces_of(module, args[0], {},
                   [first_row](std::string& out, const ParsedFile& f, std::size_t first, std::size_t last,
                               std::size_t index) { append_xlsx_rows(out, f, first, last, first_row + index); });
}

PyObject* interval_rows(PyObject* module, PyObject* const* args, Py_ssize_t nargs) noexcept {
  const bool takes = (nargs == 2 || (nargs == 3 && PyBool_Check(args[2]))) && PyUnicode_Check(args[1]);
  const char* format = takes ? PyUnicode_AsUTF8(args[1]) : nullptr;
  const std::string_view name = format != nullptr ? format : "";
  if (name != "csv" && name != "jsonl" && name != "xlsx") {
    if (!PyErr_Occurred())
      PyErr_SetString(PyExc_TypeError, "interval_rows(parsed_files, format: 'csv' | 'jsonl' | 'xlsx', header: bool = True)");
    return nullptr;
  }
  const bool header = nargs < 3 || args[2] == Py_True;
  Ref holder;
  std::vector<SharedFile> files;
  if (!parsed_files(args[0], holder, files)) return nullptr;
  std::string out;
  try {
    out = take_room();
    if (name == "csv" && header) append_csv_interval_header(out);
    std::size_t row = 2;  // the sheet's, after its header
    for (const auto& f : files) {
      if (name == "csv") {
        append_csv_intervals(out, *f);
      } else if (name == "jsonl") {
        append_jsonl_intervals(out, *f);
      } else {
        row = append_xlsx_interval_rows(out, *f, row);
      }
    }
  } catch (const std::bad_alloc&) {
    return PyErr_NoMemory();
  }
  Ref piece = Ref::steal(output_piece(module, std::move(out)));
  return piece ? PyTuple_Pack(1, piece.get()) : nullptr;
}

PyObject* document_facts(PyObject*, PyObject* parsed) noexcept {
  SharedFile* shared = shared_file(parsed);
  if (shared == nullptr) return nullptr;
  const ParsedFile& f = **shared;
  const auto n = static_cast<Py_ssize_t>(f.statement.documents.size());
  // The four direction names, made once for this call and shared by the documents.
  Ref names[4];
  for (const Direction d : {Direction::Income, Direction::Expense, Direction::Internal, Direction::Unrelated}) {
    const std::string_view name = direction_name(d);
    names[static_cast<int>(d)] = Ref::steal(PyUnicode_FromStringAndSize(name.data(), static_cast<Py_ssize_t>(name.size())));
    if (!names[static_cast<int>(d)]) return nullptr;
  }
  Ref lines = Ref::steal(PyList_New(n));
  Ref directions = Ref::steal(PyList_New(n));
  Ref fingerprints = Ref::steal(PyList_New(n));
  if (!lines || !directions || !fingerprints) return nullptr;
  for (Py_ssize_t i = 0; i < n; ++i) {
    const auto at = static_cast<std::size_t>(i);
    PyObject* line = f.lines[at] >= 0 ? PyLong_FromLongLong(f.lines[at]) : Py_NewRef(Py_None);
    if (line == nullptr) return nullptr;
    PyList_SET_ITEM(lines.get(), i, line);
    PyList_SET_ITEM(directions.get(), i, Py_NewRef(names[static_cast<int>(f.directions[at])].get()));
    PyObject* fingerprint = PyUnicode_FromStringAndSize(f.fingerprints[at].data(),
                                                        static_cast<Py_ssize_t>(f.fingerprints[at].size()));
    if (fingerprint == nullptr) return nullptr;
    PyList_SET_ITEM(fingerprints.get(), i, fingerprint);
  }
  return PyTuple_Pack(3, lines.get(), directions.get(), fingerprints.get());
}

PyObject* warnings(PyObject*, PyObject* parsed) noexcept {
  SharedFile* file = shared_file(parsed);
  if (file == nullptr) return nullptr;
  const std::vector<Warning>& warnings = (*file)->statement.warnings;
  Ref list = Ref::steal(PyList_New(static_cast<Py_ssize_t>(warnings.size())));
  if (!list) return nullptr;
  for (std::size_t i = 0; i < warnings.size(); ++i) {
    const Warning& w = warnings[i];
    PyObject* item = Py_BuildValue("(Ks#)", static_cast<unsigned long long>(w.lineno), w.message.data(),
                                   static_cast<Py_ssize_t>(w.message.size()));
    if (item == nullptr) return nullptr;
    PyList_SET_ITEM(list.get(), static_cast<Py_ssize_t>(i), item);
  }
  return list.release();
}

PyObject* dates_fit(PyObject*, PyObject* const* args, Py_ssize_t nargs) noexcept {
  if (nargs != 2 || !PyBool_Check(args[1])) {
    PyErr_SetString(PyExc_TypeError, "dates_fit(parsed, intervals: bool)");
    return nullptr;
  }
  SharedFile* file = shared_file(args[0]);
  if (file == nullptr) return nullptr;
  const Statement& s = (*file)->statement;
  return PyBool_FromLong(args[1] == Py_True ? interval_dates_in_python_range(s) : document_dates_in_python_range(s));
}

namespace {

// A UTF-8 text's length in UTF-16 code units, as spreadsheets count a cell's characters.
std::size_t utf16_length(std::string_view text) noexcept {
  std::size_t units = 0;
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    units += static_cast<std::size_t>((byte & 0xC0) != 0x80) + static_cast<std::size_t>(byte >= 0xF0);
  }
  return units;
}

}  // namespace

PyObject* long_text(PyObject*, PyObject* const* args, Py_ssize_t nargs) noexcept {
  if (nargs != 3 || !PyLong_Check(args[1]) || !PyBool_Check(args[2])) {
    PyErr_SetString(PyExc_TypeError, "long_text(parsed, limit: int, intervals: bool)");
    return nullptr;
  }
  SharedFile* file = shared_file(args[0]);
  if (file == nullptr) return nullptr;
  const std::size_t limit = PyLong_AsSize_t(args[1]);
  if (PyErr_Occurred()) return nullptr;
  const ParsedFile& f = **file;
  if (args[2] == Py_True) {  // an interval's only text is its account's number
    for (const Account& account : f.statement.accounts.items()) {
      if (account.number.size() <= limit || account.intervals.empty()) continue;
      if (const std::size_t length = utf16_length(account.number); length > limit)
        return Py_BuildValue("(Osn)", Py_None, "account", static_cast<Py_ssize_t>(length));
    }
    Py_RETURN_NONE;
  }
  for (std::size_t n = 0; n < f.statement.documents.size(); ++n) {
    const Document& d = f.statement.documents[n];
    for (std::size_t i = 0; i < kFieldCount; ++i) {
      if (field_kind(i) != Kind::Text) continue;
      const std::optional<std::string_view> text = document_text(d, i);
      // (a text of no more bytes than the limit has no more characters either)
      if (!text || text->size() <= limit) continue;
      if (const std::size_t length = utf16_length(*text); length > limit) {
        PyObject* line = f.lines[n] >= 0 ? PyLong_FromLongLong(f.lines[n]) : Py_NewRef(Py_None);
        if (line == nullptr) return nullptr;
        const std::string_view name = field_name(i);
        return Py_BuildValue("(Ns#n)", line, name.data(), static_cast<Py_ssize_t>(name.size()),
                             static_cast<Py_ssize_t>(length));
      }
    }
  }
  Py_RETURN_NONE;
}

PyObject* document_stream(PyObject*, PyObject* sequence) noexcept {
  Ref holder;
  std::vector<SharedFile> files;
  if (!parsed_files(sequence, holder, files)) return nullptr;
  auto stream = std::make_unique<ArrowArrayStream>();
  stream->release = nullptr;
  std::string problem;
  bool failed = false;
  Py_BEGIN_ALLOW_THREADS
  try {
    problem = make_document_stream(std::move(files), stream.get());
  } catch (const std::bad_alloc&) {
    failed = true;
  }
  Py_END_ALLOW_THREADS
  if (failed) return PyErr_NoMemory();
  if (!problem.empty()) {
    PyErr_SetString(PyExc_ValueError, problem.c_str());
    return nullptr;
  }
  PyObject* capsule = PyCapsule_New(stream.get(), "arrow_array_stream", stream_destructor);
  if (capsule != nullptr) (void)stream.release();
  return capsule;
}

}  // namespace varnok::native
