#include "msg/msg_internal_error.h"

#include <cstdio>
#include <cstdlib>
#include <exception>

#include "common/host_call_log.h"

namespace {
std::terminate_handler g_previous_terminate = nullptr;

// An internal error that nobody catches (one raised under a C library's
// callback, such as a package's init function run by Tcl's `load`) ends the
// process the way velmo-fit ends it: one "Internal Error" line on stderr and
// status 3, not an abort.
[[noreturn]] void terminate_on_internal_error() {
  if (const std::exception_ptr e = std::current_exception()) {
    try {
      std::rethrow_exception(e);
    } catch (const HOST_INTERNAL_ERROR& x) {
      std::fprintf(stderr, "Internal Error: %s\n", x.what().c_str());
      std::fflush(nullptr);
      std::_Exit(3);
    } catch (...) {
    }
  }
  if (g_previous_terminate != nullptr) g_previous_terminate();
  std::abort();
}

const bool g_terminate_installed = [] {
  g_previous_terminate = std::set_terminate(&terminate_on_internal_error);
  return true;
}();
}  // namespace

HOST_INTERNAL_ERROR::HOST_INTERNAL_ERROR(std::string c, std::string t, std::string f, int l)
    : condition(std::move(c)), tag(std::move(t)), file(std::move(f)), line(l) {}

HOST_INTERNAL_ERROR::~HOST_INTERNAL_ERROR() = default;

std::string HOST_INTERNAL_ERROR::what() const {
  return condition + " (" + file + ":" + std::to_string(line) + ")";
}

void MSG_INTERNAL_ERROR::report(const char* condition, const char* tag, const char* file, int line) {
  const char* c = condition ? condition : "";
  const char* t = tag ? tag : "";
  const char* f = file ? file : "";
  host::log_call("MSG_INTERNAL_ERROR::report", c, t, f, line);
  if (std::uncaught_exceptions() > 0) {
    // Raised while another error unwinds: there is no one left to catch it.
    std::fprintf(stderr, "Internal Error during unwinding: %s (%s:%d)\n", c, f, line);
    std::terminate();
  }
  throw HOST_INTERNAL_ERROR(c, t, f, line);
}
