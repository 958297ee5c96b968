// The accessories' hold analysis and timing update.
#include "cfg/cfg.h"
#include "common/host_call_log.h"
#include "common/host_world.h"
#include "hov/hov_utility.h"
#include "msg/msg_internal_error.h"
#include "sta/sta_analysis.h"

namespace {
struct CONSTRAINT_COUNTS {
  int reads = 0;
  int skips = 0;
};
CONSTRAINT_COUNTS& counts() { return host_world_slot<CONSTRAINT_COUNTS>(); }
}  // namespace

void HOV_ACCESSORIES::run_hold_analysis(bool flag1, const ANALYSIS_PARAMETERS& parameters, bool flag2) {
  host::log_call("HOV_ACCESSORIES::run_hold_analysis", flag1, static_cast<int>(parameters.analyze_hold), flag2);
  if (!parameters.analyze_hold) MSG_INTERNAL_ERROR::report("analyze_hold", "HOV", "hov_hold_analysis", __LINE__);
  KEM_NETLIST* kem = get_kem_netlist();
  if (kem == nullptr) return;
  KEM_DIRTY dirty;
  kem = host::hov::apply_pending_taints(&dirty);
  host::sta::update(kem, dirty);
}

void HOV_ACCESSORIES::update(CMP_FACADE* cmp, VOK_ATOM_NETLIST* netlist, int a, int b, int c, const INVOKE_MODE& mode,
                             int d) {
  host::log_call("HOV_ACCESSORIES::update", cmp, netlist, a, b, c, mode.mode, mode.flag, mode.values[0],
                 mode.values[1], mode.values[2], d);
  if (cfg_is_on("internal_hov_disable_skipping_of_read_sdc_dont_cache", false))
    ++counts().reads;
  else
    ++counts().skips;
  KEM_DIRTY dirty;
  KEM_NETLIST* kem = host::hov::apply_pending_taints(&dirty);
  host::sta::update(kem, dirty);
}

int host::hov::constraint_reads() { return counts().reads; }
int host::hov::constraint_skips() { return counts().skips; }
