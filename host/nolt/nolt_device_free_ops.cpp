#include "nolt/nolt_device_free_ops.h"

#include "common/host_call_log.h"
#include "common/host_script.h"

NOLT_PRE_FIT_NETLIST_ADJUST_OP::NOLT_PRE_FIT_NETLIST_ADJUST_OP(WEXAN_ENV*) {}
NOLT_PRE_FIT_NETLIST_ADJUST_OP::~NOLT_PRE_FIT_NETLIST_ADJUST_OP() = default;
bool NOLT_PRE_FIT_NETLIST_ADJUST_OP::work() {
  host::log_call("NOLT_PRE_FIT_NETLIST_ADJUST_OP::work");
  return host::script::next<bool>("NOLT_PRE_FIT_NETLIST_ADJUST_OP::work", true);
}

NOLT_METASTABLE_FF_CONVERSION_OP::NOLT_METASTABLE_FF_CONVERSION_OP(WEXAN_ENV*) {}
NOLT_METASTABLE_FF_CONVERSION_OP::~NOLT_METASTABLE_FF_CONVERSION_OP() = default;
bool NOLT_METASTABLE_FF_CONVERSION_OP::work() {
  host::log_call("NOLT_METASTABLE_FF_CONVERSION_OP::work");
  return host::script::next<bool>("NOLT_METASTABLE_FF_CONVERSION_OP::work", true);
}
