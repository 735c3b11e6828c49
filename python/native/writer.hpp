// The statement writer's hot loop: document sections from varnok_py.Document objects,
// read through attribute access, checked and encoded in one pass.
#pragma once

#include <Python.h>

namespace varnok::native {

// write_documents(head, documents, document_type, fields, document_end, file_end, newline,
//                 white_space, cp1251_high, extras) -> bytes | None
//
// head: the checked lines before the first document, each ended by newline. documents: a
// tuple of document_type instances. fields: ("Key=", attribute, kind, required) per line
// of a document section, the kind's line first; kind 0 text, 1 date (YYYY-MM-DD), 2
// amount. white_space: the characters the reader trims. cp1251_high: the characters of the
// bytes 0x80..0xFF for windows-1251 output, None for UTF-8. extras: () or, for each
// document, a tuple of the (key, value) str pairs written "key=value" after its fields
// (keys that are not fields, checked by the caller).
//
// Returns the whole file, or None when anything is not plainly writable (a text the reader
// would trim or split, an unusual date or amount, a character the encoding lacks, output
// the reader would not decode as written): the Python writer then writes it itself or
// names the fault. Raises only on bad arguments or exhausted memory.
PyObject* write_documents(PyObject* module, PyObject* const* args, Py_ssize_t nargs) noexcept;

}  // namespace varnok::native
