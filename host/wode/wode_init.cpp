#include "wode/wode_init.h"

#include "common/host_call_log.h"

void wode_initialize_threads() { host::log_call("wode_initialize_threads"); }
void lab_dummy() { host::log_call("lab_dummy"); }
void wux_clk_dummy() { host::log_call("wux_clk_dummy"); }
