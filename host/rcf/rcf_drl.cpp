#include "rcf/rcf_drl.h"

#include "common/host_call_log.h"
#include "common/host_world.h"
#include "thr/thr_drl.h"

namespace {
struct RCF_STATE {
  RCF_DRL_RCF_WRAPPER* current = nullptr;
};
RCF_STATE& state() { return host_world_slot<RCF_STATE>(); }
}  // namespace

RCF_DRL_RCF_WRAPPER::RCF_DRL_RCF_WRAPPER() { host::counters::add("RCF_DRL_RCF_WRAPPER", 1); }
RCF_DRL_RCF_WRAPPER::~RCF_DRL_RCF_WRAPPER() { host::counters::add("RCF_DRL_RCF_WRAPPER", -1); }

RCF_DRL_RCF_WRAPPER* rcf_drl_get_rcf_wrapper_ptr() { return state().current; }
void rcf_drl_set_rcf_wrapper_ptr(RCF_DRL_RCF_WRAPPER* wrapper) { state().current = wrapper; }

RCF_DRL_RCF_WRAPPER* rcf_drl_rcf_wrapper_factory() {
  host::log_call("rcf_drl_rcf_wrapper_factory");
  state().current = new RCF_DRL_RCF_WRAPPER();
  return state().current;
}

void rcf_drl_rcf_wrapper_delete(RCF_DRL_RCF_WRAPPER* wrapper) {
  host::log_call("rcf_drl_rcf_wrapper_delete", wrapper);
  if (state().current == wrapper) state().current = nullptr;
  delete wrapper;
}
