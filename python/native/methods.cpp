// The functions of varnok._native. Each is declared in a header of its own; adding one
// is that header, its source and one line here.
#include "methods.hpp"

#include "check_file.hpp"
#include "exports.hpp"
#include "fields.hpp"
#include "requisite_functions.hpp"
#include "shown_text.hpp"
#include "statement_files.hpp"
#include "writer.hpp"

namespace varnok::native {

PyMethodDef kMethods[] = {
    {"check_files", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(check_files)), METH_FASTCALL,
     "check_files(paths, as_json, strict, separator) -> (reports, files not ok, None or per file (ok, start, end) or None for the Python path)."},
    {"requisite_fields", requisite_fields, METH_NOARGS, "The attribute names of the requisites checked, in order."},
    {"requisite_problem", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(requisite_problem)), METH_FASTCALL,
     "requisite_problem(rule, value, bic) -> why value fails rule, or None."},
    {"requisite_problems", requisite_problems, METH_O,
     "requisite_problems(texts) -> (position, message) of each failing requisite."},
    {"field_names", field_names, METH_NOARGS, "The core's document fields: (key, name, kind, required)."},
    {"parse", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(parse)), METH_FASTCALL,
     "parse(data, file) -> a parsed file, or None when the read fails."},
    {"parse_path", parse_path, METH_O, "parse_path(path) -> a parsed file, or None when the file cannot be read or parsed."},
    {"document_count", document_count, METH_O, "The number of documents of a parsed file."},
    {"interval_count", interval_count, METH_O, "The number of account intervals of a parsed file."},
    {"jsonl", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(jsonl)), METH_FASTCALL,
     "jsonl(parsed_files, begin=0, end=all) -> JSON Lines of their documents [begin, end), as bytes-like pieces to write in order."},
    {"csv", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(csv)), METH_FASTCALL,
     "csv(parsed_files, header, begin=0, end=all) -> CSV of their documents [begin, end), as bytes-like pieces to write in order."},
    {"xlsx_rows", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(xlsx_rows)), METH_FASTCALL,
     "xlsx_rows(parsed_files, first_row) -> the sheet rows of their documents, as bytes-like pieces to write in order."},
    {"interval_rows", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(interval_rows)), METH_FASTCALL,
     "interval_rows(parsed_files, format, header=True) -> the rows of their intervals in csv, jsonl or xlsx, as bytes-like pieces."},
    {"document_facts", document_facts, METH_O,
     "document_facts(parsed) -> (section lines, directions, fingerprints) of its documents."},
    {"warnings", warnings, METH_O, "warnings(parsed) -> the (line, message) of each document the read dropped."},
    {"dates_fit", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(dates_fit)), METH_FASTCALL,
     "Whether every date of a parsed file's documents (or intervals) is one datetime.date can hold."},
    {"long_text", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(long_text)), METH_FASTCALL,
     "(line, column, length) of the first document (or interval) text longer than limit UTF-16 units, or None."},
    {"document_stream", document_stream, METH_O, "An Arrow C stream capsule of the documents of parsed files."},
    {"statement_files", statement_files, METH_O,
     "statement_files(folder) -> the paths of the *.txt files below it."},
    {"shown_utf8", shown_utf8, METH_O,
     "shown_utf8(data) -> data, or a copy with its control characters (but LF and TAB) shown as \\xNN, "
     "bidirectional marks as \\uNNNN."},
    {"write_documents", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(write_documents)), METH_FASTCALL,
     "The statement writer's hot loop; None when the Python writer must take over."},
    {nullptr, nullptr, 0, nullptr},
};

}  // namespace varnok::native
