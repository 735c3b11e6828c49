// read_whole: open, fstat, read until the end, close; the pool of kept rooms.
#include "file_read.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <mutex>
#include <new>
#include <utility>
#include <vector>

namespace varnok::native {

bool read_whole(const std::string& path, std::string& data) {
  // Only a regular file: a pipe, a terminal or stdin may keep its reader waiting (and open
  // blocks on a pipe with no writer), and a wait here, without the interpreter, would not
  // end on Ctrl-C or SIGTERM. The Python path reads those, where the signals are seen.
  struct stat st{};
  if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
  int fd;
  do {
    fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return false;
  struct Close {
    int fd;
    ~Close() { ::close(fd); }
  } close_at_end{fd};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) return false;  // (replaced since the stat)
  data.clear();
  // The file's size and a byte more, so that one read normally takes all of it and the
  // next one sees its end; a file that grows reads on.
  std::size_t room = static_cast<std::size_t>(st.st_size) + 1;
  for (;;) {
    const std::size_t have = data.size();
    ssize_t got = 0;
    data.resize_and_overwrite(have + room, [&](char* p, std::size_t) {  // no zero fill
      do {
        got = ::read(fd, p + have, room);
      } while (got < 0 && errno == EINTR);
      return have + static_cast<std::size_t>(std::max<ssize_t>(got, 0));
    });
    if (got < 0) return false;
    if (got == 0) return true;
    // A regular file that gave fewer bytes than asked, all fstat said it has, is at its
    // end (the byte after them was asked for): no read more to see it.
    const bool short_read = static_cast<std::size_t>(got) < room;
    if (short_read && data.size() == static_cast<std::size_t>(st.st_size)) return true;
    // After a short read the end is most likely next: a small room to see it, rather than
    // room for the whole file again; after a full one, double.
    room = short_read ? std::size_t{1} << 12 : std::max(room, data.size());
  }
}

namespace {

constexpr std::size_t kKeptBytes = std::size_t{4} << 20;
constexpr std::size_t kKeptInAll = std::size_t{16} << 20;

std::mutex kept_mutex;
// Never freed: a thread may still give room back while the interpreter exits.
std::vector<std::string>& kept = *new std::vector<std::string>;
std::size_t kept_bytes = 0;  // their capacities

}  // namespace

std::string take_room() {
  std::lock_guard lock(kept_mutex);
  if (kept.empty()) return {};
  std::string room = std::move(kept.back());
  kept.pop_back();
  kept_bytes -= room.capacity();
  return room;
}

void keep_room(std::string&& room) noexcept {
  if (room.capacity() == 0 || room.capacity() > kKeptBytes) return;
  room.clear();
  std::lock_guard lock(kept_mutex);
  if (kept_bytes + room.capacity() > kKeptInAll) return;
  try {
    kept_bytes += room.capacity();
    kept.push_back(std::move(room));
  } catch (const std::bad_alloc&) {
    kept_bytes -= room.capacity();
  }
}

}  // namespace varnok::native
