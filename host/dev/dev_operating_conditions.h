#pragma once
// data: operating conditions of the configured part.
#include "common/host_api.h"

class HOST_API DEV_OPERATING_CONDITIONS {
public:
  // The part's default slow timing corner: the timing-model enum (index in
  // the device's corner list) of its first slow corner that is not for hold
  // only; 0 when it has none.
  static int get_default_slow_timing_corner(int part);
};
