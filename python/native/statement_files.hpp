// The statement files below a folder, found without the interpreter lock.
#pragma once

#include <Python.h>

namespace varnok::native {

// statement_files(folder: str) -> list[str]: the paths (os.path.join(folder, ...)) of every
// file below folder whose name ends in ".txt" (any case), as os.walk finds them: folders
// searched recursively except hidden ones and symbolic links to folders, folders that
// cannot be read skipped; a symbolic link that is not to a folder (a broken one too) counts
// as a file. Sorted by their bytes, not yet as str. POSIX file names, decoded as
// os.fsdecode does.
PyObject* statement_files(PyObject* module, PyObject* folder) noexcept;

}  // namespace varnok::native
