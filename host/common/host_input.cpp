#include "common/host_input.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <streambuf>

namespace host::input {

std::string kind_refusal(const std::string& path) {
  struct stat st {};
  if (path.empty() || stat(path.c_str(), &st) != 0) return std::string();
  if (S_ISREG(st.st_mode) || S_ISFIFO(st.st_mode)) return std::string();
  // Standard input is read whatever it is (a terminal, a socket): the user
  // chose to give it.
  struct stat in {};
  if (fstat(STDIN_FILENO, &in) == 0 && in.st_dev == st.st_dev && in.st_ino == st.st_ino) return std::string();
  const char* kind = S_ISDIR(st.st_mode)    ? "a directory"
                     : S_ISCHR(st.st_mode)  ? "a character device"
                     : S_ISBLK(st.st_mode)  ? "a block device"
                     : S_ISSOCK(st.st_mode) ? "a socket"
                                            : "no file";
  return std::string("is ") + kind + ", not a regular file, a FIFO or standard input";
}

static_assert(kLimitBytes == 268435456, "the text below gives the limit");
std::string too_large_text() {
  return "longer than 268,435,456 bytes, past the text of any design a device holds: not read further";
}

class LIMITED_FILE::BUFFER : public std::streambuf {
public:
  explicit BUFFER(const std::string& path) : m_fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC)) {
    struct stat st {};
    if (m_fd >= 0 && fstat(m_fd, &st) == 0 && S_ISREG(st.st_mode) &&
        static_cast<std::uint64_t>(st.st_size) > kLimitBytes)
      m_too_large = true;
  }
  ~BUFFER() override {
    if (m_fd >= 0) ::close(m_fd);
  }
  bool is_open() const { return m_fd >= 0; }
  bool too_large() const { return m_too_large; }

protected:
  int_type underflow() override {
    if (gptr() < egptr()) return traits_type::to_int_type(*gptr());
    if (m_fd < 0 || m_too_large) return traits_type::eof();
    // One byte more than the limit allows tells an input of exactly the
    // limit from a longer one.
    const std::uint64_t room = kLimitBytes + 1 - m_read;
    for (;;) {
      const ssize_t n = ::read(m_fd, m_bytes, room < sizeof m_bytes ? static_cast<std::size_t>(room) : sizeof m_bytes);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) return traits_type::eof();
      m_read += static_cast<std::uint64_t>(n);
      if (m_read > kLimitBytes) {
        m_too_large = true;
        return traits_type::eof();
      }
      setg(m_bytes, m_bytes, m_bytes + n);
      return traits_type::to_int_type(*gptr());
    }
  }

private:
  int m_fd;
  bool m_too_large = false;
  std::uint64_t m_read = 0;
  char m_bytes[65536];
};

LIMITED_FILE::LIMITED_FILE(const std::string& path)
    : std::istream(nullptr), m_buffer(std::make_unique<BUFFER>(path)) {
  rdbuf(m_buffer.get());
  if (!m_buffer->is_open()) setstate(std::ios::failbit);
}

LIMITED_FILE::~LIMITED_FILE() = default;

bool LIMITED_FILE::is_open() const { return m_buffer->is_open(); }
bool LIMITED_FILE::too_large() const { return m_buffer->too_large(); }

}  // namespace host::input
