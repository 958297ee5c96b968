#include "swavo/swavo_recompile_op.h"

#include "common/host_call_log.h"
#include "common/host_world.h"

#include <set>

namespace {
struct SWAVO_STATE {
  bool user_flow = false;
  bool incremental_hep = false;
  bool gave_up = false;
  std::vector<int> modified;
  std::string argument;
  std::set<int> skippable;
};
SWAVO_STATE& l_state() { return host_world_slot<SWAVO_STATE>(); }
}  // namespace

bool SWAVO_RECOMPILE_OP::is_user_swavo_recompile_flow() { return l_state().user_flow; }

void SWAVO_RECOMPILE_OP::parse_recompile_argument(const std::string& argument) {
  host::log_call("SWAVO_RECOMPILE_OP::parse_recompile_argument", argument);
  l_state().argument = argument;
}

void SWAVO_RECOMPILE_OP::reset_swavo_recompile_to_current() {
  host::log_call("SWAVO_RECOMPILE_OP::reset_swavo_recompile_to_current");
}

bool SWAVO_RECOMPILE_OP::enable_post_spar_incremental_hep() { return l_state().incremental_hep; }
const std::vector<int>& SWAVO_RECOMPILE_OP::get_spar_modified_atom_ids() { return l_state().modified; }
bool SWAVO_RECOMPILE_OP::did_spar_give_up() { return l_state().gave_up; }
bool SWAVO_RECOMPILE_OP::can_skip_fitter_stage_for_all_partitions(int snapshot) {
  return l_state().skippable.count(snapshot) != 0;
}

namespace host::swavo {
void set_user_flow(bool on) { l_state().user_flow = on; }
void set_post_spar_incremental_hep(bool on) { l_state().incremental_hep = on; }
void set_spar_modified_atom_ids(std::vector<int> ids) { l_state().modified = std::move(ids); }
void set_spar_gave_up(bool on) { l_state().gave_up = on; }
void set_skippable_snapshot(int snapshot, bool skippable) {
  if (skippable) {
    l_state().skippable.insert(snapshot);
  } else {
    l_state().skippable.erase(snapshot);
  }
}
const std::string& recompile_argument() { return l_state().argument; }
}  // namespace host::swavo
