#include "wexan/wexan_swavo_recompile_utility.h"

#include "common/host_call_log.h"
#include "common/host_world.h"

namespace {
struct SWAVO_SKIP_STATE {
  bool all_skip = false;
};
}  // namespace

bool WEXAN_SWAVO_RECOMPILE_UTILITY::all_partitions_can_skip_fitter() {
  return host_world_slot<SWAVO_SKIP_STATE>().all_skip;
}

namespace host::wexan {
void set_all_partitions_can_skip_fitter(bool on) { host_world_slot<SWAVO_SKIP_STATE>().all_skip = on; }
}  // namespace host::wexan

void WEXAN_SWAVO_RECOMPILE_UTILITY::generate_swavo_recompile_reports(bool flag, bool legality) {
  host::log_call("WEXAN_SWAVO_RECOMPILE_UTILITY::generate_swavo_recompile_reports", flag, legality);
}
