#pragma once
// Timing models: the persistent default model and background loads.
#include "common/host_api.h"
#include "dev/dev_basic_info.h"

class HOST_API YEB_TIMING_MODEL {
public:
  // recorded: loads the default timing model and keeps it for the process.
  static void preload_persistant_default_timing_model();
  // recorded: starts loading a timing model in the background; the caller
  // does not wait for it.
  static void get_timing_model_async(DEV_DEVICE_ENUM device, int speed_grade, int timing_model, bool flag1,
                                     bool flag2);
};
