#pragma once
// The HUV report.
#include "common/host_api.h"

class HOST_API WIF_HUV_RPT {
public:
  // recorded: writes the gathered HUV report out.
  static void flush_huv_report();
};
