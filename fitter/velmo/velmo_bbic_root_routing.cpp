// Root routing merge and preserved slacks of a blackboxed run.
#include "velmo_bbic_root_routing.h"

#include <vector>

#include "jov/jov_design.h"
#include "velmo_bbic_shell_models.h"
#include "velmo_debug.h"
#include "vok/vok_atom_netlist.h"
#include "vok/vok_chip_db_entry.h"
#include "vok/vok_re_routing.h"
#include "vok/vok_routing_model.h"

void velmo_bbic_merge_re_networks() {
  JOV_DESIGN* design = JOV_ROOT::get()->get_design("");
  VOK_CHIP_DB_ENTRY* entry = VOK_CHIP_DB_ENTRY::current();
  VOK_RE_ROUTING* root = entry->get_routing();
  root->clear();
  // The root routing is bound to the flattened design netlist.
  root->attach_atom_netlist(design->get_top_partition()->get_state()->get_atom_netlist(), 1);
  for (const auto& p : design->get_partitions()) {
    JOV_STATE* state = p->get_state();
    VOK_ROUTING_MODEL* model = velmo_bbic_get_model<VOK_ROUTING_MODEL>(*state->get_kiv_state(), "routing");
    if (model == nullptr || model->get_routing() == nullptr) continue;
    model->get_routing()->attach_atom_netlist(state->get_atom_netlist(), 0);
    root->merge_partition(*model->get_routing());
  }
}

VOK_RE_PRESSLACK_CONTAINER velmo_bbic_build_preserved_slacks() {
  const JOV_DESIGN* design = JOV_ROOT::get()->get_design("");
  const VOK_RE_ROUTING& root = *VOK_CHIP_DB_ENTRY::current()->get_routing();
  std::vector<const std::vector<VOK_RE_PRESSLACK>*> lists;
  for (const auto& p : design->get_partitions()) {
    const JOV_STATE* state = p->get_state();
    if (state != nullptr && !state->get_preserved_slacks().empty()) lists.push_back(&state->get_preserved_slacks());
  }
  return VOK_RE_PRESSLACK_UTIL::merge_partition_slacks(lists, root);
}

void velmo_store_preserved_slacks_on_hidden_routing(VOK_CHIP_DB_ENTRY& entry,
                                                    const ZMP_HASH_SET_LITE<unsigned int, ZMP_OPS<unsigned int, void>>& kept,
                                                    const VOK_RE_PRESSLACK_CONTAINER& slacks) {
  VOK_RE_PRESSLACK_CONTAINER& hidden = entry.get_preserved_slacks_on_routing_hidden_by_bbic();
  int stored = 0;
  for (const VOK_RE_PRESSLACK& r : slacks.records())
    if (kept.size() == 0 || kept.find(r.gid).is_end()) {
      hidden.add(r);
      ++stored;
    }
  msg_vdebug_impl(2, "BBIC Preserved %d slack records on hidden routing", stored);
}
