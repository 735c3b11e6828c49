// statement_files: a folder walk in C, for batches of thousands of small statements, where
// os.walk's Python objects per entry cost as much as checking a file.
#include "statement_files.hpp"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <new>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "native_ref.hpp"

namespace varnok::native {
namespace {

bool is_statement_name(std::string_view name) noexcept {
  if (name.size() < 4) return false;
  const std::string_view tail = name.substr(name.size() - 4);
  return tail[0] == '.' && (tail[1] | 0x20) == 't' && (tail[2] | 0x20) == 'x' && (tail[3] | 0x20) == 't';
}

enum class EntryKind { File, Folder, LinkToFolder, Other };

// What the entry of the open folder `dir` is, following a symbolic link. Other is what is
// neither a file nor a folder (a pipe, a socket, a device), whose open or read may wait
// for ever or never end. A link that leads nowhere, and an entry whose kind cannot be
// found, count as files: reading them reports the error.
EntryKind kind_of(DIR* dir, const dirent& entry) noexcept {
  switch (entry.d_type) {
    case DT_REG: return EntryKind::File;
    case DT_DIR: return EntryKind::Folder;
    case DT_FIFO: case DT_SOCK: case DT_CHR: case DT_BLK: return EntryKind::Other;
    default: break;  // a link, or a file system that does not tell
  }
  struct stat st{};
  bool is_link = entry.d_type == DT_LNK;
  if (!is_link) {
    if (fstatat(dirfd(dir), entry.d_name, &st, AT_SYMLINK_NOFOLLOW) != 0) return EntryKind::File;
    is_link = S_ISLNK(st.st_mode);
  }
  if (is_link && fstatat(dirfd(dir), entry.d_name, &st, 0) != 0) return EntryKind::File;
  if (S_ISDIR(st.st_mode)) return is_link ? EntryKind::LinkToFolder : EntryKind::Folder;
  return S_ISREG(st.st_mode) ? EntryKind::File : EntryKind::Other;
}

// The paths below `root` (a folder path with its trailing "/"), relative to it. Folders are
// walked from a list rather than by recursion, so that no folder stays open while those
// below it are read (a deep tree must not run out of file descriptors). A folder that
// cannot be opened (no permission, a path beyond the system's longest) is among them, so
// that reading it reports why, instead of its statements going unseen.
std::vector<std::string> walk(const std::string& root) {
  std::vector<std::string> found;
  std::vector<std::string> pending{""};  // folders, relative, each with its "/"
  while (!pending.empty()) {
    const std::string folder = std::move(pending.back());
    pending.pop_back();
    // The folder named is followed when it is a link (as os.walk does); those below it are not.
    const int fd = open((root + folder).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC | (folder.empty() ? 0 : O_NOFOLLOW));
    DIR* dir = fd < 0 ? nullptr : fdopendir(fd);
    if (dir == nullptr) {
      if (fd >= 0) close(fd);
      found.push_back(folder.empty() ? folder : folder.substr(0, folder.size() - 1));
      continue;
    }
    while (const dirent* entry = readdir(dir)) {
      const std::string_view name = entry->d_name;
      if (name == "." || name == "..") continue;
      const EntryKind kind = kind_of(dir, *entry);
      if (kind == EntryKind::Folder) {
        if (!name.starts_with('.')) pending.push_back(folder + std::string(name) + "/");
      } else if (kind == EntryKind::File && is_statement_name(name)) {
        found.push_back(folder + std::string(name));
      }
    }
    closedir(dir);
  }
  return found;
}

// The first eight bytes of a name as a number that orders as the bytes do (zeros after a
// shorter one, which sorts first all the same: names hold no zero byte).
std::uint64_t sort_key(std::string_view name) noexcept {
  std::uint64_t key = 0;
  for (std::size_t i = 0; i < 8; ++i) key = key << 8 | (i < name.size() ? static_cast<unsigned char>(name[i]) : 0u);
  return key;
}

// The order of `names` by their bytes, which is the order of the decoded names for UTF-8
// ones: the caller's sort then finds them in order (or nearly, around undecodable bytes)
// and is cheap. Most compares are of the numbers alone.
std::vector<std::size_t> sorted_order(const std::vector<std::string>& names) {
  std::vector<std::pair<std::uint64_t, std::size_t>> keyed(names.size());
  for (std::size_t i = 0; i < names.size(); ++i) keyed[i] = {sort_key(names[i]), i};
  std::sort(keyed.begin(), keyed.end(), [&](const auto& a, const auto& b) {
    return a.first != b.first ? a.first < b.first : names[a.second] < names[b.second];
  });
  std::vector<std::size_t> order(names.size());
  for (std::size_t i = 0; i < names.size(); ++i) order[i] = keyed[i].second;
  return order;
}

}  // namespace

PyObject* statement_files(PyObject*, PyObject* folder) noexcept {
  Ref encoded = Ref::steal(PyUnicode_EncodeFSDefault(folder));
  if (!encoded) return nullptr;
  if (std::string_view(PyBytes_AS_STRING(encoded.get()), static_cast<std::size_t>(PyBytes_GET_SIZE(encoded.get())))
          .find('\0') != std::string_view::npos) {
    PyErr_SetString(PyExc_ValueError, "embedded null byte");  // as os.scandir says it
    return nullptr;
  }
  std::string root;
  std::vector<std::string> found;
  std::vector<std::size_t> order;
  bool failed = false;
  try {
    root.assign(PyBytes_AS_STRING(encoded.get()), static_cast<std::size_t>(PyBytes_GET_SIZE(encoded.get())));
    if (!root.ends_with('/')) root += '/';
    Py_BEGIN_ALLOW_THREADS
    try {
      found = walk(root);
      order = sorted_order(found);
    } catch (const std::bad_alloc&) {
      failed = true;
    }
    Py_END_ALLOW_THREADS
    if (failed) return PyErr_NoMemory();
    Ref list = Ref::steal(PyList_New(static_cast<Py_ssize_t>(found.size())));
    if (!list) return nullptr;
    std::string path = root;
    for (std::size_t i = 0; i < found.size(); ++i) {
      path.resize(root.size());
      path += found[order[i]];
      // (the folder itself, when it could not be opened: named as it was given)
      PyObject* text = found[order[i]].empty()
                           ? Py_NewRef(folder)
                           : PyUnicode_DecodeFSDefaultAndSize(path.data(), static_cast<Py_ssize_t>(path.size()));
      if (text == nullptr) return nullptr;
      PyList_SET_ITEM(list.get(), static_cast<Py_ssize_t>(i), text);
    }
    return list.release();
  } catch (const std::bad_alloc&) {
    return PyErr_NoMemory();
  }
}

}  // namespace varnok::native
