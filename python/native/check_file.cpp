// check_files: per file the read, parse, section lines, findings, validation problems and the rendered
// report, all without the interpreter lock; Python only joins the texts.
#include "check_file.hpp"

#include <algorithm>
#include <new>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "check_report.hpp"
#include "file_read.hpp"
#include "native_ref.hpp"
#include "parsed_file.hpp"

namespace varnok::native {
namespace {

// Checks the file at `path` and appends its report to `out`: whether it is ok, or nullopt
// (and `out` as it was) when the Python path must check it. `data` is room for its bytes.
std::optional<bool> check(const std::string& path, bool as_json, bool strict, std::string& data, std::string& out) {
  // The Python path opens pathlib.Path(path): the same file, except that a name which does
  // not open as given ("x.txt/", "a\0b") may there open or fail otherwise. It is left to it.
  // The text report's writer escapes other control characters, but not the line breaks and
  // tabs of the messages: a name with one is escaped by the Python path.
  if (!as_json && path.find_first_of("\n\t") != std::string::npos) return std::nullopt;
  if (path.find('\0') != std::string::npos || !read_whole(path, data)) return std::nullopt;
  const auto statement = parse_statement(data);
  if (!statement || !dates_in_python_range(*statement)) return std::nullopt;
  const Statement& s = *statement;
  const auto findings = reconcile(s);
  if (!findings) return std::nullopt;
  const std::vector<std::int64_t> lines = document_lines(data, s);
  std::vector<DocumentProblem> validation;
  std::vector<RequisiteProblem> problems;
  for (std::size_t i = 0; i < s.documents.size(); ++i) {
    problems.clear();
    requisite_problems(s.documents[i], problems);
    for (RequisiteProblem& p : problems) validation.push_back({i, std::move(p)});
  }
  const bool ok = s.warnings.empty() && findings->empty() && !(strict && !validation.empty());
  const FileReport report{path, s, lines, *findings, validation, ok};
  if (as_json) {
    append_json_object(report, out);
  } else if (const std::size_t before = out.size(); !append_diagnostic_lines(report, out)) {
    out.resize(before);
    return std::nullopt;
  }
  return ok;
}

// The room for a file's bytes and for the reports of a call's files, kept from call to
// call (see take_room).
struct Room {
  std::string data = take_room();
  std::string reports = take_room();
  Room() = default;
  Room(const Room&) = delete;
  Room& operator=(const Room&) = delete;
  ~Room() {
    keep_room(std::move(data));
    keep_room(std::move(reports));
  }
};

}  // namespace

PyObject* check_files(PyObject*, PyObject* const* args, Py_ssize_t nargs) noexcept {
  if (nargs != 4 || !PyList_Check(args[0]) || !PyBytes_Check(args[3])) {
    PyErr_SetString(PyExc_TypeError, "check_files(paths: list[str], as_json: bool, strict: bool, separator: bytes)");
    return nullptr;
  }
  const int as_json = PyObject_IsTrue(args[1]), strict = PyObject_IsTrue(args[2]);
  if (as_json < 0 || strict < 0) return nullptr;
  struct File {
    std::optional<std::string> path;  // nullopt: not UTF-8 (surrogates), the Python path's
    std::optional<bool> ok;           // nullopt: the Python path's
    std::size_t start = 0, end = 0;   // its report in room.reports
  };
  std::vector<File> files;
  std::string separator;
  try {
    // Copied while the lock is held: the list may change once it is released.
    separator.assign(PyBytes_AS_STRING(args[3]), static_cast<std::size_t>(PyBytes_GET_SIZE(args[3])));
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
  Room r;
  bool failed = false;
  Py_BEGIN_ALLOW_THREADS
  try {
    bool first = true;
    for (File& f : files) {
      const std::size_t before = r.reports.size();
      if (!first) r.reports += separator;
      f.start = r.reports.size();
      if (f.path) f.ok = check(*f.path, as_json, strict, r.data, r.reports);
      if (!f.ok) r.reports.resize(before);
      first = first && !f.ok;
      f.end = r.reports.size();
    }
  } catch (const std::bad_alloc&) {
    failed = true;
  }
  Py_END_ALLOW_THREADS
  if (failed) return PyErr_NoMemory();
  Ref reports = Ref::steal(PyBytes_FromStringAndSize(r.reports.data(), static_cast<Py_ssize_t>(r.reports.size())));
  if (!reports) return nullptr;
  const auto bad = static_cast<Py_ssize_t>(std::ranges::count(files, std::optional(false), &File::ok));
  // The usual case, every file checked here, needs no item per file.
  if (std::ranges::all_of(files, [](const File& f) { return f.ok.has_value(); }))
    return Py_BuildValue("(OnO)", reports.get(), bad, Py_None);
  Ref items = Ref::steal(PyList_New(static_cast<Py_ssize_t>(files.size())));
  if (!items) return nullptr;
  for (std::size_t i = 0; i < files.size(); ++i) {
    const File& f = files[i];
    PyObject* item = f.ok ? Py_BuildValue("(Onn)", *f.ok ? Py_True : Py_False, static_cast<Py_ssize_t>(f.start),
                                          static_cast<Py_ssize_t>(f.end))
                          : Py_NewRef(Py_None);
    if (item == nullptr) return nullptr;
    PyList_SET_ITEM(items.get(), static_cast<Py_ssize_t>(i), item);
  }
  return Py_BuildValue("(OnO)", reports.get(), bad, items.get());
}

}  // namespace varnok::native
