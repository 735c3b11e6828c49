// Reading a whole file for the native paths (check, the exports' parse of a path).
#pragma once

#include <string>

namespace varnok::native {

// The whole file at `path` into `data` (replacing its contents, reusing its room); false on
// any failure (the Python path then reports the OSError). Plain POSIX calls rather than
// stdio: fopen and fclose link each FILE into a list that one lock guards for the whole
// process, which threads reading small files in parallel would take turns at.
bool read_whole(const std::string& path, std::string& data);

// Room kept per thread from file to file (so that a batch of files does not fault in fresh
// memory for each) is given back beyond this, so that one huge file does not keep it.
void trim_room(std::string& room) noexcept;

}  // namespace varnok::native
