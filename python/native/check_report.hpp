// One file's report for varnok check, rendered as the Python package renders it: the
// diagnostic lines, or the file's object of the --json report (json.dumps with indent 2,
// nested four spaces deeper in {"files": [...]}).
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "core_api.hpp"
#include "reconcile.hpp"
#include "requisites.hpp"

namespace varnok::native {

struct DocumentProblem {
  std::size_t document;  // index into the statement's documents
  RequisiteProblem problem;
};

struct FileReport {
  std::string_view path;  // UTF-8, as shown
  const Statement& statement;
  std::span<const std::int64_t> lines;  // each document's section line; -1 when unknown
  std::span<const Finding> findings;
  std::span<const DocumentProblem> validation;
  bool ok;
};

// Appends the report as text: one `path:line: kind: message` line per problem, each
// ending in a line feed; false (and `out` partly written) when a value holds a character
// whose Python repr this renderer does not know (the caller then renders it in Python).
[[nodiscard]] bool append_diagnostic_lines(const FileReport& r, std::string& out);
// Appends the report as the --json report's object for the file.
void append_json_object(const FileReport& r, std::string& out);

}  // namespace varnok::native
