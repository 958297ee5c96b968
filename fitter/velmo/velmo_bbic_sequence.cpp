// The blackboxing sequence: keep sets of the selected partitions, the
// routing and slacks they leave, the shell states and the rebuilt global
// data; and the test mode that only computes keep sets.
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "cfg/cfg.h"
#include "jov/jov_bbic_services.h"
#include "msg/msg_internal_error.h"
#include "omz/omz_instance_name.h"
#include "r5t/r5t_interface.h"
#include "velmo_bbic.h"
#include "velmo_bbic_dead_zones.h"
#include "velmo_bbic_keep_set.h"
#include "velmo_bbic_root_routing.h"
#include "velmo_bbic_shell_routing.h"
#include "velmo_bbic_states.h"
#include "velmo_debug.h"
#include "vok/vok_atom_netlist.h"
#include "vok/vok_chip_db_entry.h"

namespace {

[[noreturn]] void l_internal_error(const char* condition, int line) {
  MSG_INTERNAL_ERROR::report(condition, "VELMO", "velmo_bbic", line);
}

JOV_DESIGN* l_design() { return JOV_ROOT::get()->get_design(""); }
VOK_ATOM_NETLIST* l_netlist(const JOV_PARTITION* p) { return p->get_state()->get_atom_netlist(); }
bool l_selected(const VELMO_BBIC_PARTITION_SET& s, JOV_PARTITION* p) { return s.find(p) != s.end(); }

std::string l_short(const VOK_ATOM_NODE* a) {
  return a->get_instance_name() != nullptr ? a->get_instance_name()->get_short_hpath(OMZ_HPATH_FORMAT_SHORT) : "";
}

using NETLIST_TO_PARTITION = std::map<const VOK_ATOM_NETLIST*, JOV_PARTITION*>;

VELMO_BBIC_KEEP_SET* l_keep(const VELMO_BBIC_KEEP_SET_TABLE& t, const JOV_PARTITION* p) {
  const auto i = static_cast<std::size_t>(p->get_id());
  return i < t.size() ? t[i] : nullptr;
}

JOV_PARTITION* l_partition_of(const NETLIST_TO_PARTITION& map, const VOK_ATOM_NODE* a) {
  auto it = map.find(a->get_parent_netlist());
  if (it == map.end()) l_internal_error("find_it != netlist_to_partition.end()", __LINE__);
  return it->second;
}

bool l_kept(const VELMO_BBIC_KEEP_SET_TABLE& t, const JOV_PARTITION* p, const VOK_ATOM_NODE* a) {
  const VELMO_BBIC_KEEP_SET* k = l_keep(t, p);
  return k == nullptr || k->contains(a);
}

// A side hidden because its whole partition lies hidden in a hidden parent.
bool l_hidden_inside_parent(const VELMO_BBIC_KEEP_SET_TABLE& t, const JOV_PARTITION* p) {
  const JOV_PARTITION* parent = p->get_parent();
  if (parent == nullptr) return false;
  const VELMO_BBIC_KEEP_SET* k = l_keep(t, parent);
  return k != nullptr && !k->contains(l_netlist(p)->get_parent_box());
}

void l_check_keep_sets(const NETLIST_TO_PARTITION& map, const VELMO_BBIC_KEEP_SET_TABLE& t) {
  unsigned errors = 0;
  for (VOK_ATOM_NODE* a : l_netlist(l_design()->get_top_partition())->nodes(VOK_TRAVERSE_HIERARCHICAL)) {
    JOV_PARTITION* pd = l_partition_of(map, a);
    for (VOK_ATOM_ITERM* term : a->iterms()) {
      if (term->is_global() && velmo_bbic_partition_has_clock_routing(pd)) continue;
      VOK_ATOM_OTERM* local = term->get_source(VOK_TRAVERSE_AS_STORED);
      VOK_ATOM_OTERM* s = term->get_source(VOK_TRAVERSE_HIERARCHICAL);
      if (local == nullptr || s == nullptr || local == s) continue;
      JOV_PARTITION* ps = l_partition_of(map, s->get_my_node());
      if (ps == pd) continue;
      const bool src_kept = l_kept(t, ps, s->get_my_node());
      const bool dst_kept = l_kept(t, pd, a);
      if (src_kept == dst_kept) continue;
      if (l_hidden_inside_parent(t, src_kept ? pd : ps)) continue;
      const std::string src_name = l_short(s->get_my_node()) + "." + s->get_wysiwyg_port_name();
      msg_vdebug_impl(2, "BAD cross partition path %d -> %d (%d -> %d) (%s -> %s) %s -> %s", s->get_my_node()->get_id(),
                      a->get_id(), src_kept ? 1 : 0, dst_kept ? 1 : 0, ps->get_name().c_str(), pd->get_name().c_str(),
                      src_name.c_str(), l_short(a).c_str());
      ++errors;
    }
  }
  if (errors != 0) {
    msg_vdebug_impl(2, "BBIC %u errors determining keep_set!!", errors);
    l_internal_error("errors == 0", __LINE__);
  }
}

void l_compute_keep_sets(const VELMO_BBIC_PARTITION_SET& selected, VELMO_BBIC_KEEP_SET_TABLE& table) {
  JOV_DESIGN* design = l_design();
  NETLIST_TO_PARTITION netlist_to_partition;
  int max_id = 0;
  for (const auto& p : design->get_partitions()) {
    netlist_to_partition[l_netlist(p.get())] = p.get();
    max_id = std::max(max_id, p->get_id());
  }
  table.assign(static_cast<std::size_t>(max_id) + 1, nullptr);
  for (auto it = selected.begin(); it != selected.end(); ++it)
    table[static_cast<std::size_t>((*it)->get_id())] = new VELMO_BBIC_KEEP_SET();

  for (const auto& p : design->get_partitions()) {
    if (l_selected(selected, p.get())) continue;
    JOV_PARTITION* q = p->get_parent();
    if (q != nullptr && l_selected(selected, q)) {
      VELMO_BBIC_KEEP_SET& kq = *l_keep(table, q);
      msg_vdebug_impl(2, "Update keep set for partition %s for bbox %s", q->get_name().c_str(), p->get_name().c_str());
      VOK_ATOM_NODE* box = l_netlist(p.get())->get_parent_box();
      if (box == nullptr) l_internal_error("box", __LINE__);
      velmo_bbic_undelete_fanins_up_to_registers(box, kq);
      velmo_bbic_undelete_fanouts_up_to_registers(box, kq);
      if (JOV_PARTITION* g = q->get_parent()) {
        std::vector<VOK_ATOM_NODE*> atoms(kq.nodes().begin(), kq.nodes().end());
        for (VOK_ATOM_NODE* n : atoms) {
          if (n->is_box() && n != box) {
            msg_vdebug_impl(2, "Found sibling BBOX during timing traversal %d %s", n->get_id(), l_short(n).c_str());
          } else if (n->is_port() && n->get_parent_netlist() == l_netlist(q)) {
            msg_vdebug_impl(2, "Found port during timing traversal %d %s", n->get_id(), l_short(n).c_str());
            // Without a keep set for G there is nothing to propagate into.
            VELMO_BBIC_KEEP_SET* kg = l_keep(table, g);
            if (!n->is_input() || kg == nullptr) continue;
            VOK_ATOM_OTERM* out = nullptr;
            for (VOK_ATOM_OTERM* o : n->oterms()) {
              out = o;
              break;
            }
            VOK_ATOM_ITERM* outer = out != nullptr ? vok_hier_get_equivalent_iterm(out) : nullptr;
            if (outer == nullptr) continue;
            kg->insert(outer->get_my_node());
            VOK_ATOM_OTERM* src = outer->get_source(VOK_TRAVERSE_AS_STORED);
            if (src == nullptr) l_internal_error("src_oterm", __LINE__);
            velmo_bbic_undelete_fanins_up_to_registers(src->get_my_node(), *kg);
          }
        }
      }
    }
    for (JOV_PARTITION* x : p->get_children())
      if (l_selected(selected, x)) velmo_bbic_determine_keep_set(x, l_netlist(x), *l_keep(table, x));
  }
  if (cfg_is_on("jov_bbic_keep_all_partitions", false))
    for (const auto& p : design->get_partitions())
      if (l_selected(selected, p.get())) velmo_bbic_determine_keep_set(p.get(), l_netlist(p.get()), *l_keep(table, p.get()));
  velmo_bbic_add_required_nodes_to_keep_set(selected, table);

  const int max_expansions = cfg_get_int_value("velmo_bbic_max_expansions", 10);
  int iterations = 0;
  if (cfg_is_on("jov_bbic_expand_keep_set", true)) {
    static bool notice_printed = false;
    if (!notice_printed) {
      notice_printed = true;
      velmo_bbic_print_hack_notice(__FILE__, __LINE__, 476309u, "Fix fitter/w3j3 and remove ugly bbic_expand_keep_set");
    }
    for (bool changed = true; changed && iterations != max_expansions; ++iterations) {
      changed = false;
      for (auto it = selected.begin(); it != selected.end(); ++it) {
        JOV_PARTITION* p = *it;
        VELMO_BBIC_KEEP_SET& k = *l_keep(table, p);
        const unsigned pre = k.size();
        velmo_bbic_expand_nodes_to_keep(p, l_netlist(p), k);
        const unsigned post = k.size();
        if (!(pre <= post)) l_internal_error("pre <= post", __LINE__);
        if (post > pre) {
          msg_vdebug_impl(2, "BBIC: expand_nodes_to_keep on partition %s %u -> %u", p->get_name().c_str(), pre, post);
          changed = true;
        }
      }
      for (auto it = selected.begin(); it != selected.end(); ++it) {
        JOV_PARTITION* p = *it;
        VOK_ATOM_NODE* box = l_netlist(p)->get_parent_box();
        const VELMO_BBIC_KEEP_SET* kp = p->get_parent() != nullptr ? l_keep(table, p->get_parent()) : nullptr;
        if (box == nullptr || kp == nullptr || kp->empty() || !kp->contains(box)) continue;
        VELMO_BBIC_KEEP_SET& k = *l_keep(table, p);
        const unsigned pre = k.size();
        velmo_bbic_add_ports_to_set(p, l_netlist(p), k);
        const unsigned post = k.size();
        if (!(pre <= post)) l_internal_error("pre <= post", __LINE__);
        changed = changed || post > pre;
      }
    }
  }
  unsigned removed = 0;
  for (auto it = selected.begin(); it != selected.end(); ++it)
    if (l_keep(table, *it)->empty()) {
      msg_vdebug_impl(2, "BBIC completely removes partition %d (%s)", (*it)->get_id(), (*it)->get_name().c_str());
      ++removed;
    }
  msg_vdebug_impl(2, "BBIC completely removed %u partitions (%u expansions performed)", removed,
                  static_cast<unsigned>(iterations));
  if (cfg_is_on("jov_bbic_check_keep_set", false)) l_check_keep_sets(netlist_to_partition, table);
}

}  // namespace

void velmo_bbic_compute_keep_sets(const VELMO_BBIC_PARTITION_SET& selected, VELMO_BBIC_KEEP_SET_TABLE& table) {
  l_compute_keep_sets(selected, table);
}

void velmo_bbic_run_sequence(const VELMO_BBIC_PARTITION_SET& selected) {
  JOV_DESIGN* design = l_design();
  velmo_bbic_merge_re_networks();
  const VOK_RE_PRESSLACK_CONTAINER slacks = velmo_bbic_build_preserved_slacks();
  VOK_ATOM_NETLIST* top = l_netlist(design->get_top_partition());
  velmo_bbic_dump_netlist(*top, "initial");
  if (cfg_is_on("jov_bbic_debug", false)) {
    velmo_bbic_dump_directives(*top, R5T_INTERFACE::get_instance()->get_directives(), "initial");
    velmo_bbic_dump_routing("initial");
  }
  const int before = velmo_bbic_get_number_of_real_atoms(top);
  if (cfg_is_on("jov_inherit_preservation", false)) remove_cross_partition_routing();
  if (cfg_is_on("jov_detect_placement_dead_zones", false)) velmo_bbic_detect_placement_dead_zones();

  VELMO_BBIC_KEEP_SET_TABLE keep_sets;
  // The keep sets are released when the call ends, also when an internal
  // error unwinds it.
  struct RELEASE_KEEP_SETS {
    VELMO_BBIC_KEEP_SET_TABLE& table;
    ~RELEASE_KEEP_SETS() {
      for (VELMO_BBIC_KEEP_SET*& k : table) {
        delete k;
        k = nullptr;
      }
    }
  } release_keep_sets{keep_sets};
  l_compute_keep_sets(selected, keep_sets);
  VELMO_BBIC_KEPT_ROUTING kept;
  determine_routing_to_keep(kept, keep_sets);
  velmo_store_preserved_slacks_on_hidden_routing(*VOK_CHIP_DB_ENTRY::current(), kept, slacks);
  const VELMO_BBIC_REBUILD_SET rebuild = clear_global_data();
  const bool root_only = cfg_is_on("jov_bbic_debug_root_only", false);
  for (auto it = selected.begin(); it != selected.end(); ++it) {
    JOV_PARTITION* p = *it;
    if (root_only && p != design->get_top_partition()) continue;
    msg_vdebug_impl(2, "create_bbic_states_for_partition: %d %s", p->get_id(), p->get_name().c_str());
    VELMO_BBIC_KEEP_SET*& k = keep_sets[static_cast<std::size_t>(p->get_id())];
    create_bbic_states_for_partition(p, *k, kept);
    delete k;
    k = nullptr;
  }
  if (root_only) l_internal_error("!ini_debug_top", __LINE__);
  msg_vdebug_impl(2, "Blackboxed %u partitions", static_cast<unsigned>(selected.size()));
  rebuild_global_data_from_partition_state(rebuild, true);

  top = l_netlist(design->get_top_partition());
  velmo_bbic_dump_netlist(*top, "bboxed");
  velmo_bbic_dump_routing("bboxed");
  const int after = velmo_bbic_get_number_of_real_atoms(top);
  // 64-bit product: the int product overflows past 21 million atoms.
  const int percent = before == 0 ? 0 : static_cast<int>(static_cast<std::int64_t>(after) * 100 / before);
  msg_vdebug_impl(2, "+--------------+");
  msg_vdebug_impl(2, "B B i C %02d%%", percent);
  msg_vdebug_impl(2, "Before: %d", before);
  msg_vdebug_impl(2, "After : %d", after);
  msg_vdebug_impl(2, "+--------------+");
  msg_vdebug_impl(2, "Post-BBIC Design Stats");
  JOV_DEBUG::dump_design_partition_stat(*design);
}

void velmo_bbic_test_blackboxify() {
  for (const auto& p : l_design()->get_partitions()) {
    VELMO_BBIC_KEEP_SET keep;
    velmo_bbic_determine_keep_set(p.get(), l_netlist(p.get()), keep);
  }
}
