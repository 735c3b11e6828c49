// Reading a whole file for the native paths (check, the exports' parse of a path), and the
// room that reads and the exports' output keep from call to call.
#pragma once

#include <string>

namespace varnok::native {

// The whole regular file at `path` into `data` (replacing its contents, reusing its room);
// false on any failure and for what is not a regular file (the Python path then reads it,
// or reports the OSError). Plain POSIX calls rather than stdio: fopen and fclose link each
// FILE into a list that one lock guards for the whole process, which threads reading small
// files in parallel would take turns at.
bool read_whole(const std::string& path, std::string& data);

// Room kept from call to call, for any thread: a batch of files (or of exports) reuses
// memory already faulted in instead of growing and faulting in fresh memory for each. A
// batch's helper threads are new each time, so the room is not kept per thread.
// An empty string with an earlier call's capacity, or a new one.
std::string take_room();
// Gives room back, emptied. Not kept beyond 4 MB (one huge file must not keep it), nor
// beyond 16 MB in all (what a process keeps for good after a batch); as many are kept as
// were in use at once.
void keep_room(std::string&& room) noexcept;

}  // namespace varnok::native
