#pragma once
// Current-strength translation of I/O assignments and the I/O rules report.
#include "common/host_api.h"

class HOST_API BAV {
public:
  // recorded: scripted, default true.
  static bool translate_current_strengths(bool flag);
  // recorded: writes the I/O rules report.
  static void report_io_rules();
};
