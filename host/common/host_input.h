#pragma once
// Files the user names as inputs (a design, its settings, a configuration
// file). An input is a regular file, a FIFO or standard input: anything
// else (a device such as /dev/zero) may never end. Whatever it is, an input
// is read up to kLimitBytes, past the text of any design a device of the
// host holds, so that one that never ends cannot fill the memory.
#include <cstdint>
#include <istream>
#include <memory>
#include <string>

#include "common/host_api.h"

namespace host::input {

inline constexpr std::uint64_t kLimitBytes = std::uint64_t{256} << 20;

// Why `path` cannot be an input ("is a character device, ..."); "" when it
// can, or when it cannot be looked at (its reading says why).
HOST_API std::string kind_refusal(const std::string& path);

// What is said of an input longer than the limit, after its name and ": ".
HOST_API std::string too_large_text();

// The file at `path` as a stream that ends at the limit. A regular file
// longer than that gives no byte at all.
class HOST_API LIMITED_FILE : public std::istream {
public:
  explicit LIMITED_FILE(const std::string& path);
  ~LIMITED_FILE() override;
  LIMITED_FILE(const LIMITED_FILE&) = delete;
  LIMITED_FILE& operator=(const LIMITED_FILE&) = delete;

  bool is_open() const;
  // The input holds more than the limit: the stream ended there.
  bool too_large() const;

private:
  class BUFFER;
  std::unique_ptr<BUFFER> m_buffer;
};

}  // namespace host::input
