#pragma once
// The Tcl command framework's interpreter access.
#include "common/host_api.h"

struct Tcl_Interp;

// data: the interpreter, null while none exists.
HOST_API Tcl_Interp* umbr_get_interpreter();
// recorded: evaluates a script in the interpreter; scripted, default 0
// (TCL_OK).
HOST_API int umbr_tcl_eval(Tcl_Interp* interp, const char* script);
