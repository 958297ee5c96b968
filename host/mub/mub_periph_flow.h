#pragma once
// The periphery flow's early placement load.
#include "common/host_api.h"

class HOST_API MUB_PERIPH_FLOW {
public:
  // recorded: loads the periphery placement before placement; scripted,
  // default true.
  static bool early_place_load();
  // recorded: loads the periphery placement kept by the recompile before a
  // fix-up route; scripted, default true.
  static bool late_place_load();
};
