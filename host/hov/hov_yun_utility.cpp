#include "hov/hov_yun_utility.h"

#include "common/host_call_log.h"

void HOV_YUN_UTILITY::prepare() { host::log_call("HOV_YUN_UTILITY::prepare"); }

void HOV_YUN_UTILITY::balance_slacks() { host::log_call("HOV_YUN_UTILITY::balance_slacks"); }

void HOV_YUN_UTILITY::finish_preparation() { host::log_call("HOV_YUN_UTILITY::finish_preparation"); }

void HOV_YUN_UTILITY::remove_timing(bool all, bool keep_netlist) {
  host::log_call("HOV_YUN_UTILITY::remove_timing", all, keep_netlist);
}
