#pragma once
// Timing models: the persistent default model and background loads.
#include <vector>
#include "common/host_api.h"
#include "dev/dev_basic_info.h"

// data: one switch delay of a timing model (ps) per corner kind.
struct YEB_DELAY {
  int min_ps = 0;
  int max_ps = 0;
};

class HOST_API YEB_TIMING_MODEL {
public:
  YEB_TIMING_MODEL();
  virtual ~YEB_TIMING_MODEL();
  YEB_TIMING_MODEL(const YEB_TIMING_MODEL&) = delete;
  YEB_TIMING_MODEL& operator=(const YEB_TIMING_MODEL&) = delete;
  // component: the switch delays of a routing switch; the base model has
  // none and leaves the vector as it is.
  inline virtual void get_switch_delays(unsigned switch_id, std::vector<YEB_DELAY>& delays) const;

  // recorded: loads the default timing model and keeps it for the process.
  static void preload_persistant_default_timing_model();
  // recorded: starts loading a timing model in the background; the caller
  // does not wait for it.
  static void get_timing_model_async(DEV_DEVICE_ENUM device, int speed_grade, int timing_model, bool flag1,
                                     bool flag2);
};

#include "yeb_timing_model_sys.h"
