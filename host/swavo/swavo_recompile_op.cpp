#include "swavo/swavo_recompile_op.h"

#include <set>

#include "common/host_call_log.h"
#include "common/host_script.h"
#include "common/host_world.h"

#include <map>
#include <set>

#include "vok/vok_atom_netlist.h"
#include "zel/zel_atom_util.h"

namespace {
struct SWAVO_STATE {
  bool place_fixup_flow = false;
  bool place_fixup_muvo = false;
  bool hold_fixup_flow = false;
  bool spar_gave_up = false;
  std::vector<int> previous_networks;
  bool user_flow = false;
  bool incremental_hep = false;
  std::vector<unsigned> modified;
  std::map<int, unsigned> placed_zota;
  std::string argument;
  std::set<int> skippable;
  std::set<unsigned> zota_resources;
};
SWAVO_STATE& l_swavo() { return host_world_slot<SWAVO_STATE>(); }
}  // namespace

bool SWAVO_RECOMPILE_OP::is_recompile_place_fixup_flow() { return host_world_slot<SWAVO_STATE>().place_fixup_flow; }
void SWAVO_RECOMPILE_OP::reset_hint_db() { host::log_call("SWAVO_RECOMPILE_OP::reset_hint_db"); }
bool SWAVO_RECOMPILE_OP::is_recompile_place_fixup_muvo() { return l_swavo().place_fixup_muvo; }
bool SWAVO_RECOMPILE_OP::is_recompile_hold_fixup_flow() { return l_swavo().hold_fixup_flow; }
bool SWAVO_RECOMPILE_OP::did_spar_give_up() { return l_swavo().spar_gave_up; }
const std::vector<int>& SWAVO_RECOMPILE_OP::get_previous_routing_networks() { return l_swavo().previous_networks; }
bool SWAVO_RECOMPILE_OP::reset_swavo_recompile_to_current() {
  host::log_call("SWAVO_RECOMPILE_OP::reset_swavo_recompile_to_current");
  return host::script::next<bool>("SWAVO_RECOMPILE_OP::reset_swavo_recompile_to_current", true);
}

bool SWAVO_RECOMPILE_OP::is_user_swavo_recompile_flow() { return l_swavo().user_flow; }
void SWAVO_RECOMPILE_OP::parse_recompile_argument(const std::string& argument) {
  host::log_call("SWAVO_RECOMPILE_OP::parse_recompile_argument", argument);
  l_swavo().argument = argument;
}
bool SWAVO_RECOMPILE_OP::enable_post_spar_incremental_hep() { return l_swavo().incremental_hep; }
std::vector<unsigned>& SWAVO_RECOMPILE_OP::get_spar_modified_atom_ids() { return l_swavo().modified; }
void SWAVO_RECOMPILE_OP::set_spar_give_up_flag(bool gave_up) {
  host::log_call("SWAVO_RECOMPILE_OP::set_spar_give_up_flag", gave_up);
  l_swavo().spar_gave_up = gave_up;
}
unsigned SWAVO_RECOMPILE_OP::get_placed_zota_atom_id(int location_index) {
  const auto& placed = l_swavo().placed_zota;
  if (auto it = placed.find(location_index); it != placed.end()) return it->second;
  if (VOK_ATOM_NETLIST* top = host::vok::top_netlist())
    for (VOK_ATOM_NODE* atom : top->get_atom_list())
      if (atom->get_location_index() == location_index && ZEL_ATOM_UTIL::is_zota_marked_reg(atom))
        return static_cast<unsigned>(atom->get_id());
  return 0xFFFFFFFFu;
}
bool SWAVO_RECOMPILE_OP::can_skip_fitter_stage_for_all_partitions(int snapshot) {
  return l_swavo().skippable.count(snapshot) != 0;
}

namespace host::swavo {
void set_user_flow(bool on) { l_swavo().user_flow = on; }
void set_post_spar_incremental_hep(bool on) { l_swavo().incremental_hep = on; }
void set_spar_modified_atom_ids(std::vector<int> ids) { l_swavo().modified.assign(ids.begin(), ids.end()); }
void set_placed_zota_atom_id(int location_index, unsigned atom_id) { l_swavo().placed_zota[location_index] = atom_id; }
void set_skippable_snapshot(int snapshot, bool skippable) {
  if (skippable) {
    l_swavo().skippable.insert(snapshot);
  } else {
    l_swavo().skippable.erase(snapshot);
  }
}
const std::string& recompile_argument() { return l_swavo().argument; }
void set_place_fixup_flow(bool on) { host_world_slot<SWAVO_STATE>().place_fixup_flow = on; }
void set_place_fixup_muvo(bool on) { l_swavo().place_fixup_muvo = on; }
void set_hold_fixup_flow(bool on) { l_swavo().hold_fixup_flow = on; }
void set_spar_gave_up(bool on) { l_swavo().spar_gave_up = on; }
void set_previous_routing_networks(std::vector<int> networks) { l_swavo().previous_networks = std::move(networks); }
}  // namespace host::swavo

bool SWAVO_RECOMPILE_OP::is_routing_resource_containing_zotas(unsigned location) {
  return l_swavo().zota_resources.count(location) != 0;
}
namespace host::swavo {
void set_zota_routing_resources(std::set<unsigned> locations) { l_swavo().zota_resources = std::move(locations); }
}  // namespace host::swavo
