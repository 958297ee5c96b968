#include "swavo/swavo_recompile_op.h"

#include <set>

#include "common/host_call_log.h"
#include "common/host_world.h"

namespace {
struct SWAVO_STATE {
  bool place_fixup_flow = false;
  bool user_recompile = false;
  std::set<int> skippable_stages;
};
}  // namespace

bool SWAVO_RECOMPILE_OP::is_recompile_place_fixup_flow() { return host_world_slot<SWAVO_STATE>().place_fixup_flow; }
void SWAVO_RECOMPILE_OP::reset_hint_db() { host::log_call("SWAVO_RECOMPILE_OP::reset_hint_db"); }
bool SWAVO_RECOMPILE_OP::is_user_swavo_recompile_flow() { return host_world_slot<SWAVO_STATE>().user_recompile; }
bool SWAVO_RECOMPILE_OP::can_skip_fitter_stage_for_all_partitions(int snapshot) {
  return host_world_slot<SWAVO_STATE>().skippable_stages.count(snapshot) != 0;
}

namespace host::swavo {
void set_place_fixup_flow(bool on) { host_world_slot<SWAVO_STATE>().place_fixup_flow = on; }
void set_user_recompile_flow(bool on) { host_world_slot<SWAVO_STATE>().user_recompile = on; }
void set_can_skip_stage(int snapshot, bool on) {
  if (on)
    host_world_slot<SWAVO_STATE>().skippable_stages.insert(snapshot);
  else
    host_world_slot<SWAVO_STATE>().skippable_stages.erase(snapshot);
}
}  // namespace host::swavo
