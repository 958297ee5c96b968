#include "wez/wez_file_system.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

bool WEZ_FILE_SYSTEM::exists(const char* path) {
  std::error_code ec;
  return std::filesystem::exists(path, ec);
}

bool WEZ_FILE_SYSTEM::mkdir(const char* path) {
  std::error_code ec;
  return std::filesystem::create_directory(path, ec);
}

namespace {

// Removes the entry `name` of the folder open as `dir`: a folder with all it
// holds, anything else (a link among them) as the entry itself. Each folder
// is opened below its parent's descriptor without following a link, so an
// entry made a link between the look and the open is never followed.
bool remove_entry(int dir, const char* name) {
  struct stat st;
  if (::fstatat(dir, name, &st, AT_SYMLINK_NOFOLLOW) != 0) return errno == ENOENT;
  if (!S_ISDIR(st.st_mode)) return ::unlinkat(dir, name, 0) == 0 || errno == ENOENT;
  const int fd = ::openat(dir, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) return false;
  DIR* folder = ::fdopendir(fd);
  if (folder == nullptr) {
    ::close(fd);
    return false;
  }
  // The names first: a folder read while its entries go may skip some.
  std::vector<std::string> names;
  while (const dirent* e = ::readdir(folder)) {
    const std::string entry = e->d_name;
    if (entry != "." && entry != "..") names.push_back(entry);
  }
  bool ok = true;
  for (const std::string& entry : names) ok = remove_entry(::dirfd(folder), entry.c_str()) && ok;
  ::closedir(folder);
  return ok && (::unlinkat(dir, name, AT_REMOVEDIR) == 0 || errno == ENOENT);
}

}  // namespace

bool WEZ_FILE_SYSTEM::remove_recursively(const char* path, void*, void*) {
  // A trailing slash would make the last name resolve through a link: the
  // entry is the name without it.
  std::string entry = path ? path : "";
  while (entry.size() > 1 && entry.back() == '/') entry.pop_back();
  const std::size_t slash = entry.rfind('/');
  const std::string parent = slash == std::string::npos ? "." : slash == 0 ? "/" : entry.substr(0, slash);
  const std::string name = slash == std::string::npos ? entry : entry.substr(slash + 1);
  // The root, or a name that is its folder or the folder's parent, is no
  // entry to remove.
  if (name.empty() || name == "." || name == "..") return false;
  const int dir = ::open(parent.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir < 0) return errno == ENOENT;
  const bool ok = remove_entry(dir, name.c_str());
  ::close(dir);
  return ok;
}
