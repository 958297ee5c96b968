#pragma once
// Debug name of a device element kind.
#include <cstdio>

#include "dev/dev_element_enum.h"
#include "msg/msg_internal_error.h"
#include "pelk/pelk_symbol.h"

inline const char* pral_get_debug_string(DEV_ELEMENT_ENUM element) {
  const unsigned value = static_cast<unsigned>(element) & 0xFFFFu;
  if (value == 0 || value >= static_cast<unsigned>(puve_get_generic_dev_element_enum())) {
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "Invalid element %d", static_cast<int>(value));
    MSG_INTERNAL_ERROR::report(buffer, "VELMO", "puve_dev_element_enum_sys", 3658);
  }
  return puve_enum_to_symbol(element).cname();
}
