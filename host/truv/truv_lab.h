#pragma once
// The lab-analysis hooks.
#include "common/host_api.h"

class HOST_API TRUV_LAB {
public:
  // recorded: whether lab analysis is supported; scripted, default true.
  static bool is_supported();
  // recorded
  static void initialize();
};
