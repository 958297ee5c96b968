#include "nolt/nolt_ops.h"

#include "common/host_call_log.h"
#include "common/host_script.h"

NOLT_PROGRAMMABLE_CLOCK_SKEW_OP::NOLT_PROGRAMMABLE_CLOCK_SKEW_OP(WEXAN_ENV* env) : m_env(env) {
  host::log_call("NOLT_PROGRAMMABLE_CLOCK_SKEW_OP::NOLT_PROGRAMMABLE_CLOCK_SKEW_OP", env);
}

NOLT_PROGRAMMABLE_CLOCK_SKEW_OP::~NOLT_PROGRAMMABLE_CLOCK_SKEW_OP() {
  host::log_call("NOLT_PROGRAMMABLE_CLOCK_SKEW_OP::~NOLT_PROGRAMMABLE_CLOCK_SKEW_OP");
}

bool NOLT_PROGRAMMABLE_CLOCK_SKEW_OP::work(int operation_type) {
  host::log_call("NOLT_PROGRAMMABLE_CLOCK_SKEW_OP::work", operation_type);
  return host::script::next<bool>("NOLT_PROGRAMMABLE_CLOCK_SKEW_OP::work", true);
}

NOLT_FF_POWER_UP_OP::NOLT_FF_POWER_UP_OP(WEXAN_ENV* env) : m_env(env) {
  host::log_call("NOLT_FF_POWER_UP_OP::NOLT_FF_POWER_UP_OP", env);
}

NOLT_FF_POWER_UP_OP::~NOLT_FF_POWER_UP_OP() { host::log_call("NOLT_FF_POWER_UP_OP::~NOLT_FF_POWER_UP_OP"); }

bool NOLT_FF_POWER_UP_OP::work(int step) {
  host::log_call("NOLT_FF_POWER_UP_OP::work", step);
  (void)m_env;
  return host::script::next<bool>("NOLT_FF_POWER_UP_OP::work", true);
}
