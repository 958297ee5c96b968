#pragma once
// The periphery flow's steps around register packing.
#include "common/host_api.h"

class HOST_API MUB_PERIPH_FLOW {
public:
  // recorded: readies the periphery for register packing; scripted, default
  // true.
  static bool pre_regpack();
};
