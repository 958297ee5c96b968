#pragma once
// recorded: the host's Tcl interpreter as far as the fitter evaluates report
// commands in it. Every script is recorded and succeeds.
#include <string>
#include <vector>

#include "common/host_api.h"

struct UMBR_INTERP {
  std::vector<std::string> scripts;
};

// The world's interpreter (never null).
HOST_API UMBR_INTERP* umbr_get_interpreter();
// Evaluates a script; 0 (TCL_OK).
HOST_API int umbr_tcl_eval(UMBR_INTERP* interp, const char* script);
