// The timing netlist's update of listed atoms, the taint list it works
// from, and the accessories' compound mode.
#include <set>
#include <string>
#include <vector>

#include "common/host_call_log.h"
#include "common/host_world.h"
#include "hov/hov_utility.h"
#include "msg/msg_internal_error.h"
#include "sta/sta_analysis.h"
#include "sta/sta_io_constraints.h"
#include "vok/vok_atom_netlist.h"
#include "wexan/wexan_env.h"

namespace {
struct COMPOUND_STATE {
  int mode = 0;
};

std::string id_list(const std::set<int>& ids) {
  std::string text;
  for (int id : ids) text += (text.empty() ? "" : " ") + std::to_string(id);
  return text;
}
}  // namespace

int HOV_ACCESSORIES::get_compound_mode() const { return host_world_slot<COMPOUND_STATE>().mode; }
void HOV_ACCESSORIES::set_compound_mode(int mode) { host_world_slot<COMPOUND_STATE>().mode = mode; }

void HOV_ACCESSORIES::incrementally_update(const std::vector<VOK_ATOM_NODE*>& atoms, CMP_FACADE* cmp, int corner_flag,
                                           int mode, bool flag1, bool flag2) {
  std::set<int> ids;
  for (const VOK_ATOM_NODE* atom : atoms)
    if (atom != nullptr) ids.insert(atom->get_id());
  host::log_call("HOV_ACCESSORIES::incrementally_update", id_list(ids), cmp, corner_flag, mode, flag1, flag2);
  if (corner_flag != 0 && corner_flag != 1)
    MSG_INTERNAL_ERROR::report("corner flag 0 or 1", "HOV", "hov_incremental_update", __LINE__);
  HOV_ATOM_NETLIST_TAINT_MANAGER* taints = hov_get_atom_netlist_taint_manager();
  KEM_NETLIST* kem = host::hov::current_kem_netlist();
  if (kem == nullptr || taints->is_globally_tainted()) {
    // Nothing to update in place: the whole netlist is brought up to date.
    KEM_DIRTY dirty;
    kem = host::hov::apply_pending_taints(&dirty);
    host::sta::update(kem, dirty);
    return;
  }
  std::set<unsigned> done;
  for (int id : ids) done.insert(static_cast<unsigned>(id));
  KEM_DIRTY dirty;
  host::timing::add_pin_buffers(host::vok::top_netlist(), &ids);
  kem->rebuild_atoms(host::vok::top_netlist(), ids, &dirty);
  taints->clear_tainted_atom_ids(done);
  host::sta::update(kem, dirty);
}

void WEXAN_ENV::run_w3j3_and_expand_taint_list(HOV_ATOM_NETLIST_TAINT_MANAGER* taints,
                                               std::vector<VOK_ATOM_NODE*>* atoms) {
  host::log_call("WEXAN_ENV::run_w3j3_and_expand_taint_list", taints);
  atoms->clear();
  VOK_ATOM_NETLIST* top = host::vok::top_netlist();
  if (top == nullptr) return;
  if (taints->is_globally_tainted()) {
    for (VOK_ATOM_NODE* atom : top->get_atom_list()) atoms->push_back(atom);
    return;
  }
  for (unsigned id : taints->get_tainted_atom_ids())
    if (VOK_ATOM_NODE* atom = top->get_atom_by_id(static_cast<int>(id))) atoms->push_back(atom);
}
