#include "umbr/umbr_tcl.h"

#include "common/host_call_log.h"
#include "common/host_script.h"

Tcl_Interp* umbr_get_interpreter() { return nullptr; }

int umbr_tcl_eval(Tcl_Interp* interp, const char* script) {
  host::log_call("umbr_tcl_eval", interp, script);
  return host::script::next<int>("umbr_tcl_eval", 0);
}
