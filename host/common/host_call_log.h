#pragma once
// recorded: the host call log. Recorded members append one HOST_CALL so a test
// can assert the order of lending, releasing, stage calls and host operations.
// Arguments are rendered deterministically; addresses are never printed.
#include <cstdint>
#include <sstream>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>
#include "common/host_api.h"

struct HOST_CALL {
  std::string name;  // FAMILY_CLASS::member
  std::string args;  // comma-separated rendered arguments
  int thread = 0;    // 0 = main thread, 1..4 = job workers
};

namespace host {

// Stable small number of the calling thread (0 for the main thread).
HOST_API int thread_number();
HOST_API void set_thread_number(int n);

namespace log_detail {
HOST_API std::string quote(std::string_view s);
inline std::string render(bool v) { return v ? "true" : "false"; }
inline std::string render(const char* s) { return s ? quote(s) : "null"; }
inline std::string render(const std::string& s) { return quote(s); }
inline std::string render(std::string_view s) { return quote(s); }
inline std::string render(std::nullptr_t) { return "null"; }
template <class T> std::string render(const T& v) {
  if constexpr (std::is_enum_v<T>) {
    return std::to_string(static_cast<long long>(v));
  } else if constexpr (std::is_integral_v<T>) {
    return std::to_string(v);
  } else if constexpr (std::is_floating_point_v<T>) {
    std::ostringstream os;
    os << v;
    return os.str();
  } else if constexpr (std::is_pointer_v<T>) {
    return v ? "ptr" : "null";
  } else {
    return "obj";
  }
}
}  // namespace log_detail

// A preformatted argument (e.g. "atom#17") that must not be quoted.
struct raw_arg {
  std::string text;
};
namespace log_detail {
inline std::string render(const raw_arg& a) { return a.text; }
}

HOST_API void log_call_rendered(std::string_view name, std::string args);

template <class... A> void log_call(std::string_view name, const A&... args) {
  std::string out;
  ((out += (out.empty() ? "" : ", ") + log_detail::render(args)), ...);
  log_call_rendered(name, std::move(out));
}

// The calls logged since the last reset, in order.
HOST_API std::vector<HOST_CALL> calls();
// "name(args)" per call, handy in assertions and failure output.
HOST_API std::vector<std::string> call_lines();
HOST_API std::vector<std::string> call_names();
// How many logged calls have exactly this name.
HOST_API int call_count(const std::string& name);
HOST_API void clear_calls();

}  // namespace host
