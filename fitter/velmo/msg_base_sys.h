#pragma once
// The message object's setters, written by the component's message catalogue.
// Included at the end of the host's message header.
#include <cstdarg>

inline void MSG_BASE::set_id(unsigned int id) { m_id = id; }

inline void MSG_BASE::set_severity_level(int level) { m_severity_level = level; }

inline void MSG_BASE::fill_args(const char* format, ...) {
  va_list args;
  va_start(args, format);
  fill_args_(format, args);
  va_end(args);
}

inline void MSG_BASE::set_report(MSG_REPORT* report) { m_report = report; }
