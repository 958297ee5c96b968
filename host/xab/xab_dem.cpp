#include "xab/xab_dem.h"

#include "common/host_call_log.h"

void XAB_DEM::shutdown() { host::log_call("XAB_DEM::shutdown"); }
