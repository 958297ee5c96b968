#pragma once
// Partial-reconfiguration rules of the large-periphery families.
#include "common/host_api.h"

class HOST_API JOPP {
public:
  // recorded: initialises the partial-reconfiguration rules; scripted,
  // default true.
  static bool init_pr();
};
