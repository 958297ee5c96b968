#pragma once
// Debug printing and message posting under the component's module tag. Used
// from every subsystem, also from worker threads: nothing here keeps state.
#include <cstdarg>

#include "msg/msg_base.h"



// printf-style debug line; the host decides whether it is printed.
inline void msg_vdebug_impl(MSG_D_LEVEL level, const char* format, ...)
    __attribute__((format(printf, 2, 3)));
inline void msg_vdebug_impl(MSG_D_LEVEL level, const char* format, ...) {
  va_list args;
  va_start(args, format);
  msg_local_vdebug("VELMO", level, format, args);
  va_end(args);
}

// Whether a debug line at `level` would print; guards costly output.
inline bool msg_vdebug_is_enabled(MSG_D_LEVEL level) {
  if (!msg_initialized || !MSG_D::debug_messages_enabled(nullptr)) return false;
  MSG_D probe(nullptr);
  return probe.set_enabled("VELMO", level);
}

// Posts a heap message and destroys it; returns what its post returned.
inline int msg_post(MSG_POST* message, MSG_REPORT* report) {
  message->set_report(report);
  int result = message->post();
  delete message;
  return result;
}
