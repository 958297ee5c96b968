#pragma once
// Guard of the timing netlist's retimer mode: while one lives, timing
// netlists the timing utility builds are built in retimer mode
// (KEM_MANAGER::is_kem_netlist_in_retimer_mode).
#include "common/host_api.h"

class HOST_API WEXAN_HOV_RETIMER_MODE {
public:
  // recorded: turns retimer mode on.
  WEXAN_HOV_RETIMER_MODE();
  // recorded: turns it off again.
  ~WEXAN_HOV_RETIMER_MODE();
  WEXAN_HOV_RETIMER_MODE(const WEXAN_HOV_RETIMER_MODE&) = delete;
  WEXAN_HOV_RETIMER_MODE& operator=(const WEXAN_HOV_RETIMER_MODE&) = delete;
};
