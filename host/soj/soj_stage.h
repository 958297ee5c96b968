#pragma once
// recorded: the verification stage tracker of the early retiming stage.
#include "common/host_api.h"

namespace FITTER::SOJ {

class HOST_API PLAN_EARLY_RETIME_STAGE {
public:
  // recorded: the stage object (the world's; never null).
  static PLAN_EARLY_RETIME_STAGE* get_instance();
  // recorded: the stage starts, and ends with the step's result.
  void initialize();
  void finalize(bool result);
  // recorded: the caller is done with the stage.
  void release();
};

}  // namespace FITTER::SOJ
