#include "norbo/norbo_zota_manager.h"

#include "common/host_call_log.h"

void NORBO_ZOTA_MANAGER::commit_clock_routing() { host::log_call("NORBO_ZOTA_MANAGER::commit_clock_routing"); }
