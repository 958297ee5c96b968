// Root routing merge and preserved slacks of a blackboxed run.
#include "velmo_bbic_root_routing.h"

#include <vector>

#include "gesk/gesk_bundle.h"
#include "jov/jov_design.h"
#include "msg/msg_internal_error.h"
#include "omz/omz_instance_name.h"
#include "velmo_bbic_shell_routing.h"
#include "velmo_expert.h"
#include "velmo_bbic_shell_models.h"
#include "velmo_debug.h"
#include "vok/vok_atom_netlist.h"
#include "vok/vok_chip_db_entry.h"
#include "vok/vok_re_routing.h"
#include "vok/vok_re_stitched_network.h"
#include "vok/vok_routing_model.h"
#include "w3j3/w3j3_port_map_db.h"
#include "zmp_hash_set.h"

namespace {

[[noreturn]] void l_internal_error(const char* condition, int line) {
  MSG_INTERNAL_ERROR::report(condition, "VELMO", "velmo_bbic", line);
}

std::string l_short_name(const VOK_ATOM_NODE* n) {
  return n->get_instance_name() != nullptr ? n->get_instance_name()->get_short_hpath(OMZ_HPATH_FORMAT_SHORT) : "";
}

void l_print_network_sizes(const char* when, const VOK_ROUTING_MODEL& model) {
  msg_vdebug_impl(2, "%s: blc=%u, fcd=%u, crf=%u", when, vok_re_network_size(*model.get_network(0)),
                  vok_re_network_size(*model.get_network(2)), vok_re_network_size(*model.get_network(1)));
}

}  // namespace

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

void remove_cross_partition_routing() {
  VELMO_SCOPED_PROFILE_BIN bin("remove_cross_partition_routing", nullptr);
  JOV_DESIGN* design = JOV_ROOT::get()->get_design("");
  ZMP_HASH_SET_LITE<JOV_PARTITION*> work;
  ZMP_HASH_SET<VOK_ATOM_NODE*> modifiable_children;  // 61 buckets
  for (const auto& p : design->get_partitions()) {
    if (p->is_excluded_from_cross_partition_routing()) continue;
    if (!p->is_state_loaded(JOV_PARTITION::s_unspecified)) continue;
    VOK_ATOM_NETLIST* netlist = p->get_state()->get_atom_netlist();
    if (!netlist->is_modifiable()) continue;
    if (p->get_parent()->get_state()->get_atom_netlist()->is_modifiable()) continue;
    work.insert(p->get_parent());
    modifiable_children.insert(netlist->get_parent_box());
  }
  if (work.size() == 0) return;
  if (!(work.size() == 1U)) l_internal_error("work.size() == 1U", __LINE__);

  GESK_BUNDLE* bundle = GESK_BUNDLE_SINGLETON::get_bundle();
  if (bundle == nullptr) l_internal_error("bundle", __LINE__);
  W3J3_PORT_MAP_DB* port_map_db = bundle->get_port_map_db();
  if (port_map_db == nullptr) l_internal_error("port_map_db", __LINE__);
  W3J3_PORT_MAP_INTERFACE* port_map_interface = W3J3_PORT_MAP_INTERFACE::get_instance(port_map_db, nullptr);
  if (port_map_interface == nullptr) l_internal_error("port_map_interface", __LINE__);
  const WUMP_ROUTE_INFO* route_info = velmo_bbic_get_route_info();
  VOK_ATOM_NETLIST* top = design->get_top_partition()->get_state()->get_atom_netlist();

  JOV_PARTITION* parent = *work.begin();
  JOV_STATE* state = parent->get_state();
  VOK_ROUTING_MODEL* model = velmo_bbic_get_model<VOK_ROUTING_MODEL>(*state->get_kiv_state(), "routing");
  if (model == nullptr) return;
  auto modifier = std::make_unique<VOK_RE_STITCHED_NETWORK_MODIFIER>(
      top, model->get_network(0), model->get_network(2), model->get_network(1), route_info, port_map_interface);
  l_print_network_sizes("BEFORE", *model);
  const VELMO_BBIC_STOP_FN stop = velmo_bbic_stop_fn(route_info);
  for (VOK_ATOM_NODE* node : state->get_atom_netlist()->get_atom_list()) {
    for (VOK_ATOM_ITERM* iterm : node->iterms()) {
      VOK_ATOM_OTERM* src = iterm->get_source(VOK_TRAVERSE_AS_STORED);
      if (src == nullptr) continue;
      VOK_ATOM_NODE* src_node = src->get_my_node();
      const bool src_refitted = modifiable_children.exists(src_node);
      if (!node->is_box()) {
        if (src_node->is_box() && src_refitted) modifier->remove_connectivity_for_iterm(iterm, stop);
      } else if (modifiable_children.exists(node)) {
        if (src_node->is_box() || src_node->is_port()) {
          bool global = false;
          for (VOK_ATOM_ITERM* sink : src->fanout(VOK_TRAVERSE_AS_STORED)) global = global || sink->is_global();
          if (global) continue;
          if (src_node->is_box()) l_internal_error("!src_node->is_box()", __LINE__);
          l_internal_error("!src_node->is_port()", __LINE__);
        }
        std::vector<VOK_ATOM_ITERM*> fixed_sinks;
        for (VOK_ATOM_ITERM* sink : src->fanout(VOK_TRAVERSE_HIERARCHICAL))
          if (!sink->get_my_node()->is_modifiable()) fixed_sinks.push_back(sink);
        modifier->remove_connectivity_for_oterm(src, &fixed_sinks);
      } else if (src_node->is_box()) {
        msg_vdebug_impl(2, "Found box -> box connection %d -> %d (%s -> %s)", src_node->get_id(), node->get_id(),
                        l_short_name(src_node).c_str(), l_short_name(node).c_str());
        if (src_refitted) l_internal_error("!modifiable_children.exists( src_node )", __LINE__);
      } else if (src_node->is_port()) {
        msg_vdebug_impl(2, "Found port -> box connection %d -> %d (%s -> %s)", src_node->get_id(), node->get_id(),
                        l_short_name(src_node).c_str(), l_short_name(node).c_str());
      }
    }
  }
  modifier->commit();
  l_print_network_sizes("AFTER", *model);
  modifier.reset();
}
