#pragma once
// Partial-reconfiguration programming-file ids.
#include "common/host_api.h"

class HOST_API WEXAN_PR_POF_UTILITY {
public:
  // recorded: assigns the partial-reconfiguration programming-file ids;
  // scripted, default true.
  static bool process_prpof_id();
};
