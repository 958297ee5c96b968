// Partition states of blackboxed runs: shell build, switches, and the
// global data that hangs off whichever netlists are active.
#include "velmo_bbic_states.h"

#include <map>
#include <vector>

#include "cfg/cfg.h"
#include "gesk/gesk_bundle.h"
#include "hov/hov_utility.h"
#include "jov/jov_bbic_services.h"
#include "jov/jov_enum.h"
#include "kem/kem_manager.h"
#include "kiv/kiv_model.h"
#include "msg/msg_internal_error.h"
#include "place_db/place_db.h"
#include "r5t/r5t_directives.h"
#include "r5t/r5t_interface.h"
#include "r5t/r5t_kiv_model.h"
#include "swavo/swavo_recompile_op.h"
#include "velmo_bbic.h"
#include "velmo_bbic_root_routing.h"
#include "velmo_bbic_shell_models.h"
#include "velmo_debug.h"
#include "velmo_expert.h"
#include "vok/vok_atom_kiv_model.h"
#include "vok/vok_atom_netlist.h"
#include "vok/vok_chip_db_entry.h"
#include "w3j3/w3j3_cfg_db_manager.h"
#include "w3j3/w3j3_mapping_model.h"
#include "w3j3/w3j3_port_map_db.h"
#include "wexan/wexan_design.h"
#include "wexan/wexan_env.h"
#include "wexan/wexan_finalize_services.h"
#include "zmp_hash_lite_sys.h"

namespace {

[[noreturn]] void l_internal_error(const char* condition, int line) {
  MSG_INTERNAL_ERROR::report(condition, "VELMO", "velmo_bbic", line);
}

JOV_DESIGN* l_design() { return JOV_ROOT::get()->get_design(""); }

VOK_ATOM_NETLIST* l_active_netlist(const JOV_PARTITION* p) { return p->get_state()->get_atom_netlist(); }

// The preserved parent made writable by the final restore, and the state
// that was made writable; put back by velmo_bbic_restore_read_only_parent.
JOV_PARTITION* s_writable_parent = nullptr;
JOV_STATE* s_writable_state = nullptr;

// Disconnects the boundary terms with the connect state each keeps.
void l_disconnect(const VELMO_BBIC_ITERM_SET& boundary) {
  for (auto it = boundary.begin(); it != boundary.end(); ++it) {
    VOK_ATOM_ITERM* t = *it;
    if (t == nullptr) l_internal_error("iterm", __LINE__);
    t->disconnect_from_source(velmo_bbic_get_disconnect_state_for_iterm(t));
  }
}

}  // namespace

void create_bbic_states_for_partition(JOV_PARTITION* partition, const VELMO_BBIC_KEEP_SET& keep_set,
                                      const VELMO_BBIC_KEPT_ROUTING& kept) {
  if (partition == nullptr) l_internal_error("partition", __LINE__);
  KIV_STATE& full = *partition->get_state(JOV_PARTITION::s_unspecified)->get_kiv_state();
  KIV_STATE& shell = *partition->add_state(JOV_PARTITION::BBIC_DEPOPULATED)->get_kiv_state();
  // The shell starts with the full state's models; the full state alone
  // owns those it shares.
  for (KIV_MODEL* m : full.get_models()) shell.add_model(m);
  shell.dont_delete_models_when_cleared();
  full.delete_models_when_cleared();

  velmo_bbic_copy_netlist_model(shell, full);
  velmo_bbic_copy_routing_model(shell, full);

  if (R5T_KIV_MODEL* old_model = velmo_bbic_get_model<R5T_KIV_MODEL>(full, R5T_KIV_MODEL::s_model_type_string)) {
    auto* directives = new R5T_DIRECTIVES();
    if (old_model->get_r5t() != nullptr) directives->merge(*old_model->get_r5t());
    auto* model = new R5T_KIV_MODEL(directives);
    VOK_ATOM_NETLIST* shell_netlist = velmo_bbic_get_netlist(shell);
    if (shell_netlist == nullptr) l_internal_error("empty_netlist", __LINE__);
    model->set_atom_netlist(shell_netlist);
    const KIV_PATH path = old_model->get_path();
    shell.remove_model(old_model);
    shell.add_model(model);
    model->set_path(path);
  }

  if (cfg_is_on("jov_bbic_debug_keep_reasons", false)) {
    msg_vdebug_impl(2, "Start dumping reasons why BBIC kept atoms");
    for (const std::string& r : keep_set.reasons()) msg_vdebug_impl(2, "   %s", r.c_str());
    msg_vdebug_impl(2, "Done  dumping reasons why BBIC kept atoms");
  }

  // The keep set names full-netlist atoms; the shell's copies carry the
  // same ids.
  ZMP_HASH_LITE<int, VOK_ATOM_NODE*> by_id;
  for (auto it = keep_set.nodes().begin(); it != keep_set.nodes().end(); ++it)
    if (by_id.lookup((*it)->get_id()) == nullptr) by_id.insert((*it)->get_id(), *it);
  VOK_ATOM_NETLIST* netlist = velmo_bbic_get_netlist(shell);
  if (netlist == nullptr) l_internal_error("netlist", __LINE__);
  VELMO_BBIC_KEEP_SET shell_keep;
  for (VOK_ATOM_NODE* a : netlist->nodes(VOK_TRAVERSE_AS_STORED))
    if (by_id.lookup(a->get_id()) != nullptr) shell_keep.insert(a);
  VOK_ATOM_KIV_MODEL* nm = velmo_bbic_get_model<VOK_ATOM_KIV_MODEL>(shell, "netlist");
  if (nm == nullptr || nm->get_atom_netlist() == nullptr) l_internal_error("netlist", __LINE__);
  netlist = nm->get_atom_netlist();

  // Inputs crossing between kept and hidden atoms, either way.
  VELMO_BBIC_ITERM_SET boundary;
  for (auto it = shell_keep.nodes().begin(); it != shell_keep.nodes().end(); ++it) {
    VOK_ATOM_NODE* a = *it;
    for (VOK_ATOM_ITERM* t : a->iterms()) {
      VOK_ATOM_OTERM* src = t->get_source(VOK_TRAVERSE_AS_STORED);
      if (src != nullptr && !shell_keep.contains(src->get_my_node())) boundary.insert(t);
    }
    for (VOK_ATOM_OTERM* o : a->oterms())
      for (VOK_ATOM_ITERM* f : o->fanout(VOK_TRAVERSE_AS_STORED))
        if (!shell_keep.contains(f->get_my_node())) boundary.insert(f);
  }

  filter_routing(partition, shell, netlist, shell_keep, kept);
  velmo_bbic_filter_directives(shell, *netlist, shell_keep, boundary);
  const bool debug_high = cfg_is_on("jov_bbic_debug_high", false);
  if (debug_high) velmo_bbic_dump_netlist(*netlist, "pre");

  std::vector<VOK_ATOM_NODE*> removed;
  for (VOK_ATOM_NODE* a : netlist->nodes(VOK_TRAVERSE_AS_STORED)) {
    if (shell_keep.contains(a)) continue;
    if (a->is_box() || a->is_port()) {
      for (VOK_ATOM_ITERM* t : a->iterms()) boundary.insert(t);
      for (VOK_ATOM_OTERM* o : a->oterms())
        for (VOK_ATOM_ITERM* f : o->fanout(VOK_TRAVERSE_AS_STORED)) boundary.insert(f);
    } else {
      a->set_flagged_for_removal(true);
      removed.push_back(a);
    }
  }
  l_disconnect(boundary);
  netlist->remove_flagged_nodes();
  for (VOK_ATOM_NODE* a : removed) a->release();
  if (cfg_is_on("velmo_bbic_clear_cfm", true)) netlist->string_pairs().clear();
  unsigned hier_size = 0;
  for (VOK_ATOM_NODE* a : netlist->nodes(VOK_TRAVERSE_HIERARCHICAL)) {
    (void)a;
    ++hier_size;
  }
  msg_vdebug_impl(2, "Post filter-netlist size=%u", hier_size);
  if (debug_high) velmo_bbic_dump_netlist(*netlist, "post");

  partition->set_active_state(JOV_PARTITION::BBIC_DEPOPULATED);
  JOV_UTILS::set_read_only_status(shell, true);
}

void set_active_state_for_all_bbic_partitions(JOV_PARTITION::STATE_ENUM target, bool full) {
  VELMO_SCOPED_PROFILE_BIN bin("set_active_state_for_all_bbic_partitions", "BBIC", nullptr);
  VELMO_BBIC_REBUILD_SET rebuild;
  if (full) rebuild = clear_global_data();
  JOV_DESIGN* design = l_design();
  for (const auto& p : design->get_partitions())
    if (p->has_state(JOV_PARTITION::BBIC_DEPOPULATED)) p->set_active_state(target);
  if (full) {
    rebuild_global_data_from_partition_state(rebuild, false);
    velmo_bbic_set_active(false);
    if (cfg_is_on("jov_bbic_debug", false)) {
      velmo_bbic_dump_netlist(*l_active_netlist(design->get_top_partition()), "done");
      velmo_bbic_dump_routing("done");
    }
    return;
  }
  if (GESK_BUNDLE* bundle = GESK_BUNDLE_SINGLETON::get_bundle())
    bundle->m_atom_netlist = l_active_netlist(design->get_top_partition());
}

void velmo_bbic_empty_state() {
  if (velmo_bbic_is_active()) set_active_state_for_all_bbic_partitions(JOV_PARTITION::BBIC_DEPOPULATED, false);
}

void velmo_bbic_restore_state() {
  VELMO_SCOPED_PROFILE_BIN bin("velmo_bbic_restore_state", "BBIC", nullptr);
  if (!velmo_bbic_is_active()) return;
  JOV_DESIGN* design = l_design();
  JOV_ENUM_IMPL<JOV_SNAPSHOT_BASE> snapshot;
  snapshot.set_from_str(design->get_current_snapshot_str(), true);
  const bool at_final = snapshot.get_value() == JOV_SNAPSHOT_BASE::FINAL;
  set_active_state_for_all_bbic_partitions(JOV_PARTITION::DEFAULT, at_final);
  if (cfg_is_on("jov_inherit_preservation", false) || !at_final) return;
  s_writable_parent = nullptr;
  s_writable_state = nullptr;
  // A preserved parent of a recompiled nested partition becomes writable.
  // It stays a preserved partition: it is remembered so that the finalize
  // restore makes it read-only again before the final-stage passes (hold
  // fixing, retiming) look at what they may change.
  ZMP_HASH_SET_LITE<JOV_PARTITION*> work;
  for (const auto& p : design->get_partitions()) {
    if (p->is_top() || !p->is_state_loaded(JOV_PARTITION::s_unspecified)) continue;
    if (!l_active_netlist(p.get())->is_modifiable()) continue;
    if (l_active_netlist(p->get_parent())->is_modifiable()) continue;
    work.insert(p->get_parent());
  }
  if (!(work.size() <= 1U)) l_internal_error("work.size() <= 1U", __LINE__);
  if (work.size() == 1U) {
    s_writable_parent = *work.begin();
    s_writable_state = s_writable_parent->get_state();
    JOV_UTILS::set_read_only_status(*s_writable_state->get_kiv_state(), false);
  }
}

void velmo_bbic_restore_read_only_parent() {
  JOV_PARTITION* parent = s_writable_parent;
  JOV_STATE* state = s_writable_state;
  s_writable_parent = nullptr;
  s_writable_state = nullptr;
  if (parent == nullptr || state == nullptr || JOV_ROOT::get() == nullptr) return;
  // Only a partition of the current design: a run that ended without this
  // step leaves nothing to put back in a later one.
  JOV_DESIGN* design = JOV_ROOT::get()->get_design("");
  if (design == nullptr) return;
  for (const auto& p : design->get_partitions())
    if (p.get() == parent) {
      if (parent->get_state() == state && state->get_kiv_state() != nullptr)
        JOV_UTILS::set_read_only_status(*state->get_kiv_state(), true);
      return;
    }
}

void VELMO_BBIC::restore_all_blackbox_contents() {
  velmo_bbic_restore_state();
  msg_vdebug_impl(2, "BBIC: Done - restored all original partition contents!");
  WEXAN_ENV* env = WEXAN_ENV::get_env();
  if (env != nullptr && env->get_design() != nullptr) env->get_design()->load_basic_atom_information();
  WEXAN_JOV_PR_UTILITY::destroy_instance();
  if (WEXAN_JOV_PR_UTILITY::get_new_instance() == nullptr) l_internal_error("pr_util", __LINE__);
  if (env != nullptr) env->indicate_that_atom_netlist_is_modified();
  velmo_bbic_restore_read_only_parent();
}

VELMO_BBIC_REBUILD_SET clear_global_data() {
  VELMO_BBIC_REBUILD_SET rebuild;
  if (WEXAN_ENV* env = WEXAN_ENV::get_env()) env->delete_hov_utility_completely();
  if (!(KEM_MANAGER::get() == nullptr || KEM_MANAGER::get()->get_kem_netlist() == nullptr))
    l_internal_error("KEM_MANAGER::get() == nullptr || KEM_MANAGER::get()->get_kem_netlist() == nullptr", __LINE__);
  SWAVO_RECOMPILE_OP::get_spar_modified_atom_ids().clear();
  {
    VELMO_SCOPED_PROFILE_BIN bin("unlink_partitions", nullptr);
    std::vector<VOK_ATOM_NODE*> boxes;
    for (VOK_ATOM_NODE* a : l_active_netlist(l_design()->get_top_partition())->nodes(VOK_TRAVERSE_PARTITION))
      if (a->is_box()) boxes.push_back(a);
    for (VOK_ATOM_NODE* a : boxes) {
      auto* box = dynamic_cast<VOK_ATOM_BLACKBOX*>(a);
      if (box == nullptr) l_internal_error("box", __LINE__);
      box->set_child_netlist(nullptr, false);
    }
  }
  W3J3_PORT_MAP_INTERFACE::destroy_instance();
  if (PLACE_DB::is_initted()) {
    PLACE_DB::get()->reset();
    rebuild.insert(GLOBAL_DATA_TO_REBUILD::REBUILD_PLACE_DB);
  }
  return rebuild;
}

void rebuild_global_data_from_partition_state(const VELMO_BBIC_REBUILD_SET& rebuild, bool from_partition_models) {
  relink_partitions_to_boxes();
  process_hybrid_r5t_and_w3j3_models(from_partition_models);
  velmo_bbic_merge_re_networks();
  if (!from_partition_models) {
    WEXAN_ENV* env = WEXAN_ENV::get_env();
    if (env == nullptr) l_internal_error("env", __LINE__);
    env->indicate_that_atom_netlist_is_modified();
    env->run_w3j3(hov_get_atom_netlist_taint_manager());
  }
  if (rebuild.count(GLOBAL_DATA_TO_REBUILD::REBUILD_PLACE_DB) != 0) {
    msg_vdebug_impl(2, "BBIC is pushing new data to the PLACE_DB Singleton.");
    PLACE_DB::get()->update(true);
  }
}

void velmo_bbic_relink_boxes(JOV_DESIGN& design, const char* source_file) {
  ZMP_HASH_LITE<const OMZ_INSTANCE_NAME*, VOK_ATOM_BLACKBOX*> iname_to_box;
  auto fail = [source_file](const char* condition, int line) {
    MSG_INTERNAL_ERROR::report(condition, "VELMO", source_file, line);
  };
  for (const auto& p : design.get_partitions())
    for (VOK_ATOM_NODE* a : l_active_netlist(p.get())->nodes(VOK_TRAVERSE_AS_STORED)) {
      if (!a->is_box()) continue;
      auto* box = dynamic_cast<VOK_ATOM_BLACKBOX*>(a);
      if (box == nullptr) fail("bb", __LINE__);
      if (iname_to_box.lookup(a->get_instance_name()) == nullptr) iname_to_box.insert(a->get_instance_name(), box);
    }
  for (const auto& p : design.get_partitions()) {
    VOK_ATOM_NETLIST* netlist = l_active_netlist(p.get());
    if (p->get_parent() != nullptr) {
      VOK_ATOM_BLACKBOX* const* found = iname_to_box.lookup(p->get_instance_name());
      if (found == nullptr) fail("find_it != iname_to_box.end()", __LINE__);
      if (*found == nullptr) fail("bb", __LINE__);
      (*found)->set_child_netlist(netlist, false);
    } else {
      VOK_CHIP_DB_ENTRY::current()->set_atom_netlist(netlist);
    }
  }
}

void relink_partitions_to_boxes() {
  VELMO_SCOPED_PROFILE_BIN bin("relink_partitions_to_boxes", nullptr);
  velmo_bbic_relink_boxes(*l_design(), "velmo_bbic");
  if (GESK_BUNDLE* bundle = GESK_BUNDLE_SINGLETON::get_bundle())
    bundle->m_atom_netlist = VOK_CHIP_DB_ENTRY::current()->get_atom_netlist();
}

void process_hybrid_r5t_and_w3j3_models(bool from_partition_models) {
  GESK_BUNDLE* bundle = GESK_BUNDLE_SINGLETON::get_bundle();
  if (bundle == nullptr) l_internal_error("bundle", __LINE__);
  W3J3_PORT_MAP_DB* port_map = bundle->get_port_map_db();
  W3J3_CFG_DB_MANAGER* cfg_db = W3J3_CFG_DB_MANAGER::get_instance();
  if (port_map != nullptr) port_map->reset();
  if (cfg_db != nullptr) cfg_db->reset();
  R5T_INTERFACE::destroy_instance();
  R5T_INTERFACE* r5t = R5T_INTERFACE::create_instance();
  // Sized only when present, like its reset.
  if (cfg_db != nullptr) cfg_db->set_atom_netlist_size(VOK_ATOM_NODE::s_next_id);
  for (const auto& p : l_design()->get_partitions()) {
    JOV_STATE* state = p->get_state();
    if (r5t != nullptr && p->has_directives() && state->get_r5t_directives() != nullptr)
      r5t->merge(*state->get_r5t_directives());
    if (!from_partition_models) continue;
    W3J3_MAPPING_MODEL* model =
        velmo_bbic_get_model<W3J3_MAPPING_MODEL>(*state->get_kiv_state(), W3J3_MAPPING_MODEL::s_model_type_string);
    if (model == nullptr) continue;
    if (port_map != nullptr) port_map->merge(*model->get_port_map_db());
    if (cfg_db != nullptr) {
      const std::map<std::uint32_t, std::uint32_t> locations = model->atom_locations();
      for (const auto& [id, location] : locations) {
        if (location == 0xFFFFFFFFu) continue;
        const std::uint32_t coordinate[4] = {0, 0, 0, location};
        cfg_db->set_location(id, coordinate);
      }
    }
  }
  JOV_DATABASE_UTILS::mark_read_only_r5t_constraints();
  if (cfg_is_on("jov_bbic_debug_high", false) && port_map != nullptr)
    port_map->debug_dump("post_bbic.port_map", 1, bundle->get_device());
}
