#pragma once
// The RAM manager: LUT-RAM conversion and the RAM power optimisation.
#include "common/host_api.h"

class WEXAN_ENV;

class HOST_API VINTO {
public:
  VINTO();
  virtual ~VINTO();
  // recorded: scripted, default true.
  bool perform_lutram_conversion(WEXAN_ENV* env);
  // recorded: scripted, default true.
  bool perform_ram_power_opt(WEXAN_ENV* env);
};
