#include "umbr/umbr_tcl.h"

#include "common/host_call_log.h"
#include "common/host_world.h"

UMBR_INTERP* umbr_get_interpreter() { return &host_world_slot<UMBR_INTERP>(); }

int umbr_tcl_eval(UMBR_INTERP* interp, const char* script) {
  host::log_call("umbr_tcl_eval", std::string(script));
  if (interp) interp->scripts.emplace_back(script);
  return 0;
}
