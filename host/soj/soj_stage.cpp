#include "soj/soj_stage.h"

#include "common/host_call_log.h"
#include "common/host_world.h"

namespace FITTER::SOJ {
PLAN_EARLY_RETIME_STAGE* PLAN_EARLY_RETIME_STAGE::get_instance() {
  host::log_call("FITTER::SOJ::PLAN_EARLY_RETIME_STAGE::get_instance");
  return &host_world_slot<PLAN_EARLY_RETIME_STAGE>();
}
void PLAN_EARLY_RETIME_STAGE::initialize() { host::log_call("FITTER::SOJ::PLAN_EARLY_RETIME_STAGE::initialize"); }
void PLAN_EARLY_RETIME_STAGE::finalize(bool result) {
  host::log_call("FITTER::SOJ::PLAN_EARLY_RETIME_STAGE::finalize", result);
}
void PLAN_EARLY_RETIME_STAGE::release() { host::log_call("FITTER::SOJ::PLAN_EARLY_RETIME_STAGE::release"); }
}  // namespace FITTER::SOJ
