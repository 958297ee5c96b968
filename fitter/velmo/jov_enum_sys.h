#pragma once
// Parsing of the partition database's enumerations from their text. Included
// at the end of the host's enumeration header.
#include <cstdio>
#include <string>

#include "msg/msg_internal_error.h"

template <class BASE> inline bool JOV_ENUM_IMPL<BASE>::set_from_str(const std::string& str, bool ok) {
  (void)ok;
  if (str.empty()) MSG_INTERNAL_ERROR::report("!str.empty()", "VELMO", "jov_enum_sys", 207);
  int n = 0;
  const char* const* names = BASE::get_strings_and_size(&n);
  for (int i = 0; i < n; ++i) {
    if (str == names[i]) {
      m_value = static_cast<ENUM>(i);
      return true;
    }
  }
  char buffer[4096];
  std::snprintf(buffer, sizeof(buffer), "Parse error: invalid enum string '%s'.", str.c_str());
  MSG_INTERNAL_ERROR::report(buffer, "VELMO", "jov_enum_sys", 227);
}
