#include "oxter/oxter_env.h"

#include "common/host_call_log.h"
#include "common/host_world.h"

namespace {
struct OXTER_STATE {
  OXTER_MAC_MERGE_ESTIMATOR* mac_estimator = nullptr;
  OXTER_RAM_ESTIMATOR* ram_estimator = nullptr;
  RCF_DRL_RCF_WRAPPER* router_constraints = nullptr;
};
OXTER_STATE& state() { return host_world_slot<OXTER_STATE>(); }
}  // namespace

OXTER_MAC_MERGE_ESTIMATOR::~OXTER_MAC_MERGE_ESTIMATOR() = default;
OXTER_RAM_ESTIMATOR::~OXTER_RAM_ESTIMATOR() = default;

OXTER_MAC_MERGE_ESTIMATOR* OXTER_ENV::get_mac_merge_estimator() { return state().mac_estimator; }

void OXTER_ENV::set_mac_merge_estimator(OXTER_MAC_MERGE_ESTIMATOR* estimator) {
  host::log_call("OXTER_ENV::set_mac_merge_estimator", estimator);
  state().mac_estimator = estimator;
}

OXTER_ENV* OXTER_ENV::get() {
  static OXTER_ENV env;
  return &env;
}

OXTER_RAM_ESTIMATOR* OXTER_ENV::get_ram_estimator() { return state().ram_estimator; }

void OXTER_ENV::set_ram_estimator(OXTER_RAM_ESTIMATOR* estimator) {
  host::log_call("OXTER_ENV::set_ram_estimator", estimator);
  state().ram_estimator = estimator;
}

RCF_DRL_RCF_WRAPPER* OXTER_ENV::get_dynamic_router_constraints() { return state().router_constraints; }

void OXTER_ENV::set_dynamic_router_constraints(RCF_DRL_RCF_WRAPPER* constraints) {
  host::log_call("OXTER_ENV::set_dynamic_router_constraints", constraints);
  state().router_constraints = constraints;
}
