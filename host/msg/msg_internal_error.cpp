#include "msg/msg_internal_error.h"

#include <cstdio>
#include <exception>

#include "common/host_call_log.h"

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
