#pragma once
// The periphery flow's steps around placement and register packing.
#include "common/host_api.h"

class HOST_API MUB_PERIPH_FLOW {
public:
  // recorded: loads the periphery placement before placement; scripted,
  // default true.
  static bool early_place_load();
  // recorded: loads the periphery placement kept by the recompile before a
  // fix-up route; scripted, default true.
  static bool late_place_load();
  // recorded: readies the periphery for register packing; scripted, default
  // true.
  static bool pre_regpack();
};
