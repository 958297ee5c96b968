#include "oxter/oxter_env.h"

#include "common/host_call_log.h"
#include "common/host_world.h"

namespace {
struct OXTER_STATE {
  OXTER_MAC_MERGE_ESTIMATOR* mac_estimator = nullptr;
};
OXTER_STATE& state() { return host_world_slot<OXTER_STATE>(); }
}  // namespace

OXTER_MAC_MERGE_ESTIMATOR::~OXTER_MAC_MERGE_ESTIMATOR() = default;

OXTER_MAC_MERGE_ESTIMATOR* OXTER_ENV::get_mac_merge_estimator() { return state().mac_estimator; }

void OXTER_ENV::set_mac_merge_estimator(OXTER_MAC_MERGE_ESTIMATOR* estimator) {
  host::log_call("OXTER_ENV::set_mac_merge_estimator", estimator);
  state().mac_estimator = estimator;
}

OXTER_ENV* OXTER_ENV::get() {
  static OXTER_ENV env;
  return &env;
}
