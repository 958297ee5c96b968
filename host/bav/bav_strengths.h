#pragma once
// Current-strength translation of I/O assignments.
#include "common/host_api.h"

class HOST_API BAV {
public:
  // recorded: scripted, default true.
  static bool translate_current_strengths(bool flag);
};
