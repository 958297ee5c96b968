#pragma once
// The periphery placement utility made at start-up and kept by the entry
// points until shut-down; the host's planning flow reaches its estimators and
// router constraints through the base.
#include "wexan/wexan_utilities.h"

class VELMO_PERIPHERY_PLACEMENT_UTIL : public WEXAN_PERIPHERY_FLOW {
public:
  VELMO_PERIPHERY_PLACEMENT_UTIL();
  ~VELMO_PERIPHERY_PLACEMENT_UTIL() override;
  VELMO_PERIPHERY_PLACEMENT_UTIL(const VELMO_PERIPHERY_PLACEMENT_UTIL&) = delete;
  VELMO_PERIPHERY_PLACEMENT_UTIL& operator=(const VELMO_PERIPHERY_PLACEMENT_UTIL&) = delete;
};
