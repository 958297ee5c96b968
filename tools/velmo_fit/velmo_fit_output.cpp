#include "velmo_fit_output.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <string>

bool g_stdout_closed = false;

namespace {

bool g_stderr_closed = false;

// A closed standard output or error would hand its descriptor to the next
// file opened (the report, say): it is noted and kept taken by /dev/null
// (the run fails at the end when standard output was closed). Checked
// before any library initialises (one of them fills the standard
// descriptors itself).
void note_closed_standard_descriptors(int, char**, char**) {
  for (const int fd : {STDOUT_FILENO, STDERR_FILENO}) {
    if (fcntl(fd, F_GETFD) >= 0) continue;
    (fd == STDOUT_FILENO ? g_stdout_closed : g_stderr_closed) = true;
    const int null = open("/dev/null", O_WRONLY);
    if (null >= 0 && null != fd) {
      dup2(null, fd);
      close(null);
    }
  }
}
__attribute__((section(".preinit_array"), used)) void (*const g_note_closed_standard_descriptors)(int, char**,
                                                                                                  char**) =
    &note_closed_standard_descriptors;

}  // namespace

namespace velmo_fit {

bool closed_at_start(int fd) {
  return (fd == STDOUT_FILENO && g_stdout_closed) || (fd == STDERR_FILENO && g_stderr_closed);
}

bool stdout_written() { return std::fflush(stdout) == 0 && !std::ferror(stdout) && !g_stdout_closed; }

bool probe_writable(const std::string& probe_path) {
  const int fd = open(probe_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (fd < 0) return false;
  const std::string bytes(4096, ' ');
  bool ok = true;
  for (std::size_t done = 0; done < bytes.size();) {
    const ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno == EFBIG) break;  // the file-size limit, not the path
    if (n <= 0) {
      ok = false;
      break;
    }
    done += static_cast<std::size_t>(n);
  }
  // A file system that takes the bytes only when they are written back says
  // so at close.
  if (close(fd) != 0 && errno != EINTR) ok = false;
  unlink(probe_path.c_str());
  return ok;
}

bool device_takes_writes(const std::string& path) {
  struct stat st {};
  if (stat(path.c_str(), &st) != 0 || !S_ISCHR(st.st_mode)) return true;
  // Not blocking on the open (a line waiting for its carrier) nor on the
  // write: a device busy at this moment still takes writes.
  const int fd = open(path.c_str(), O_WRONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return false;
  const bool ok = write(fd, "", 0) == 0 || errno == EAGAIN;
  close(fd);
  return ok;
}

}  // namespace velmo_fit
