// check_files: per file the read, parse, section lines, findings, validation problems and the rendered
// report, all without the interpreter lock; Python only joins the texts.
#include "check_file.hpp"

#include <algorithm>
#include <cstdio>
#include <new>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "check_report.hpp"
#include "native_ref.hpp"
#include "parsed_file.hpp"

namespace varnok::native {
namespace {

// The whole file; nullopt on any failure (the Python path then reports the OSError).
std::optional<std::string> read_whole(const std::string& path) {
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (f == nullptr) return std::nullopt;
  struct Close {
    std::FILE* f;
    ~Close() { std::fclose(f); }
  } close_at_end{f};
  std::string data;
  std::size_t room = 1 << 14;
  for (;;) {
    const std::size_t have = data.size();
    std::size_t got = 0;
    data.resize_and_overwrite(have + room, [&](char* p, std::size_t) {  // no zero fill
      got = std::fread(p + have, 1, room, f);
      return have + got;
    });
    if (got < room) return std::ferror(f) ? std::nullopt : std::optional(std::move(data));
    room = data.size();
  }
}

// Whether every date of `s` is one Python's datetime.date can hold (years 1 ... 9999): the
// typed view the Python path builds fails on any other.
bool dates_in_python_range(const Statement& s) noexcept {
  const auto fits = [](const std::optional<Date>& d) { return !d || (d->year >= 1 && d->year <= 9999); };
  for (const Account& a : s.accounts.items())
    for (const Interval& i : a.intervals)
      if (!fits(i.date_start) || !fits(i.date_end)) return false;
  for (const Document& d : s.documents)
    for (std::size_t f = 0; f < kFieldCount; ++f)
      if (field_kind(f) == Kind::Date && !fits(document_date(d, f))) return false;
  return true;
}

struct Checked {
  bool ok;
  std::string text;
};

std::optional<Checked> check(const std::string& path, bool as_json, bool strict) {
  // The Python path opens pathlib.Path(path): the same file, except that a name which does
  // not open as given ("x.txt/", "a\0b") may there open or fail otherwise. It is left to it.
  if (path.find('\0') != std::string::npos) return std::nullopt;
  const auto data = read_whole(path);
  if (!data) return std::nullopt;
  const auto statement = parse_statement(*data);
  if (!statement || !dates_in_python_range(*statement)) return std::nullopt;
  const Statement& s = *statement;
  const auto findings = reconcile(s);
  if (!findings) return std::nullopt;
  const std::vector<std::int64_t> lines = document_lines(*data, s);
  std::vector<DocumentProblem> validation;
  std::vector<RequisiteProblem> problems;
  for (std::size_t i = 0; i < s.documents.size(); ++i) {
    problems.clear();
    requisite_problems(s.documents[i], problems);
    for (RequisiteProblem& p : problems) validation.push_back({i, std::move(p)});
  }
  const bool ok = s.warnings.empty() && findings->empty() && !(strict && !validation.empty());
  const FileReport report{path, s, lines, *findings, validation, ok};
  if (as_json) return Checked{ok, json_object(report)};
  auto text = diagnostic_lines(report);
  if (!text) return std::nullopt;
  return Checked{ok, std::move(*text)};
}

}  // namespace

PyObject* check_files(PyObject*, PyObject* const* args, Py_ssize_t nargs) noexcept {
  if (nargs != 3 || !PyList_Check(args[0])) {
    PyErr_SetString(PyExc_TypeError, "check_files(paths: list[str], as_json: bool, strict: bool)");
    return nullptr;
  }
  const int as_json = PyObject_IsTrue(args[1]), strict = PyObject_IsTrue(args[2]);
  if (as_json < 0 || strict < 0) return nullptr;
  struct File {
    std::optional<std::string> path;  // nullopt: not UTF-8 (surrogates), the Python path's
    std::optional<Checked> checked;
  };
  std::vector<File> files;
  try {
    // Copied while the lock is held: the list may change once it is released.
    const Py_ssize_t n = PyList_GET_SIZE(args[0]);
    files.resize(static_cast<std::size_t>(n));
    for (Py_ssize_t i = 0; i < n; ++i) {
      PyObject* path = PyList_GET_ITEM(args[0], i);  // borrowed: the list holds it while the lock is held
      if (!PyUnicode_Check(path)) {
        PyErr_SetString(PyExc_TypeError, "check_files: paths must be str");
        return nullptr;
      }
      Py_ssize_t size = 0;
      if (const char* text = PyUnicode_AsUTF8AndSize(path, &size))
        files[static_cast<std::size_t>(i)].path.emplace(text, static_cast<std::size_t>(size));
      else
        PyErr_Clear();
    }
  } catch (const std::bad_alloc&) {
    return PyErr_NoMemory();
  }
  bool failed = false;
  Py_BEGIN_ALLOW_THREADS
  try {
    for (File& f : files)
      if (f.path) f.checked = check(*f.path, as_json, strict);
  } catch (const std::bad_alloc&) {
    failed = true;
  }
  Py_END_ALLOW_THREADS
  if (failed) return PyErr_NoMemory();
  Ref list = Ref::steal(PyList_New(static_cast<Py_ssize_t>(files.size())));
  if (!list) return nullptr;
  for (std::size_t i = 0; i < files.size(); ++i) {
    const std::optional<Checked>& c = files[i].checked;
    PyObject* item = Py_None;
    Ref pair;
    if (c) {
      // UTF-8 bytes: the caller writes them to a UTF-8 stdout as they are, so that no
      // thread spends the lock's time decoding and encoding them.
      Ref text = Ref::steal(PyBytes_FromStringAndSize(c->text.data(), static_cast<Py_ssize_t>(c->text.size())));
      if (!text) return nullptr;
      pair = Ref::steal(PyTuple_Pack(2, c->ok ? Py_True : Py_False, text.get()));
      if (!pair) return nullptr;
      item = pair.get();
    }
    PyList_SET_ITEM(list.get(), static_cast<Py_ssize_t>(i), Py_NewRef(item));
  }
  return list.release();
}

}  // namespace varnok::native
