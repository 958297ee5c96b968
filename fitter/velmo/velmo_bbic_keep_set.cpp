// Keep sets: which atoms of a blackboxed partition its shell keeps.
#include "velmo_bbic_keep_set.h"

#include <algorithm>
#include <set>
#include <utility>
#include <vector>

#include "cfg/cfg.h"
#include "jov/jov_design.h"
#include "kiv/kiv_model.h"
#include "msg/msg_internal_error.h"
#include "omz/omz_instance_name.h"
#include "omz/omz_ip.h"
#include "pelk/pelk_symbol.h"
#include "r5t/r5t_interface.h"
#include "r5t/r5t_kiv_model.h"
#include "velmo_debug.h"
#include "velmo_expert.h"
#include "vok/vok_atom_netlist.h"
#include "zel/zel_atom_util.h"
#include "zel/zel_lcell_util.h"
#include "zmp_hash_lite_sys.h"

namespace {

[[noreturn]] void l_internal_error(const char* condition, int line) {
  MSG_INTERNAL_ERROR::report(condition, "VELMO", "velmo_bbic", line);
}

bool l_is_box_type(const VOK_ATOM_NODE* a) { return a->get_basic_type() == 3 || a->get_basic_type() == 284; }

std::string l_netlist_name(const VOK_ATOM_NETLIST* n) {
  const VOK_ATOM_BLACKBOX* box = n ? n->get_parent_box() : nullptr;
  return box && box->get_instance_name() ? box->get_instance_name()->get_short_hpath(OMZ_HPATH_FORMAT_SHORT) : "|";
}

// The first output term of an atom (a port's only one), or null.
VOK_ATOM_OTERM* l_first_oterm(const VOK_ATOM_NODE* a) {
  for (VOK_ATOM_OTERM* o : a->oterms()) return o;
  return nullptr;
}
VOK_ATOM_ITERM* l_first_iterm(const VOK_ATOM_NODE* a) {
  for (VOK_ATOM_ITERM* t : a->iterms()) return t;
  return nullptr;
}

JOV_DESIGN* l_design() { return JOV_ROOT::get()->get_design(""); }

VOK_ATOM_NETLIST* l_netlist_of(const JOV_PARTITION* p) {
  return p->get_state(JOV_PARTITION::s_unspecified)->get_atom_netlist();
}

}  // namespace

bool velmo_bbic_is_register(const VOK_ATOM_NODE* a) {
  return (a->is_ff() && !ZEL_ZOTA_UTIL::is_ff_bypassed(a)) || a->is_ram() || a->is_mac();
}

// The walks keep the visiting order, inserts and counts of a depth-first
// recursion but run on an explicit stack: long combinational paths are
// valid input.
int velmo_bbic_undelete_fanins_up_to_registers(VOK_ATOM_NODE* start, VELMO_BBIC_KEEP_SET& keep) {
  struct FRAME {
    VOK_ATOM_NODE* node;
    std::size_t slot;
    int count;
  };
  keep.insert(start);
  std::vector<FRAME> stack{{start, 0, 1}};
  for (;;) {
    FRAME& f = stack.back();
    if (f.slot >= f.node->get_iterm_slot_count()) {
      const int count = f.count;
      stack.pop_back();
      if (stack.empty()) return count;
      stack.back().count += count;
      continue;
    }
    const VOK_ATOM_ITERM* t = f.node->get_iterm_slot(f.slot++);
    const VOK_ATOM_OTERM* s = t ? t->get_source(VOK_TRAVERSE_AS_STORED) : nullptr;
    VOK_ATOM_NODE* d = s ? s->get_my_node() : nullptr;
    if (d == nullptr || keep.contains(d)) continue;
    keep.insert(d);
    if (velmo_bbic_is_register(d)) continue;
    stack.push_back({d, 0, 1});
  }
}

int velmo_bbic_undelete_fanouts_up_to_registers(VOK_ATOM_NODE* start, VELMO_BBIC_KEEP_SET& keep) {
  struct FRAME {
    VOK_ATOM_NODE* node;
    std::size_t slot;           // next output slot
    const VOK_ATOM_ITERM* next;  // next fanout of slot - 1
    int count;
  };
  keep.insert(start);
  std::vector<FRAME> stack{{start, 0, nullptr, 1}};
  for (;;) {
    FRAME& f = stack.back();
    if (f.next == nullptr) {
      while (f.next == nullptr && f.slot < f.node->get_oterm_slot_count()) {
        const VOK_ATOM_OTERM* o = f.node->get_oterm_slot(f.slot++);
        f.next = o ? o->get_first_fanout(VOK_TRAVERSE_AS_STORED) : nullptr;
      }
      if (f.next == nullptr) {
        const int count = f.count;
        stack.pop_back();
        if (stack.empty()) return count;
        stack.back().count += count;
        continue;
      }
    }
    const VOK_ATOM_ITERM* t = f.next;
    f.next = t->get_next_fanout(VOK_TRAVERSE_AS_STORED);
    if (t->is_global()) continue;
    VOK_ATOM_NODE* d = t->get_my_node();
    if (d == nullptr || keep.contains(d)) continue;
    keep.insert(d);
    if (velmo_bbic_is_register(d)) continue;
    stack.push_back({d, 0, nullptr, 1});
  }
}

bool velmo_bbic_must_keep_at_least_one_fanout(VOK_ATOM_OTERM* oterm, VELMO_BBIC_KEEP_SET& keep) {
  int kept = 0;
  VOK_ATOM_NODE* candidate = nullptr;
  for (VOK_ATOM_ITERM* t = oterm->get_first_fanout(VOK_TRAVERSE_AS_STORED); t != nullptr;
       t = t->get_next_fanout(VOK_TRAVERSE_AS_STORED)) {
    VOK_ATOM_NODE* a = t->get_my_node();
    if (a == nullptr || a->is_port() || a->is_box()) continue;
    if (keep.contains(a)) {
      ++kept;
    } else if (candidate == nullptr || a->get_id() > candidate->get_id()) {
      candidate = a;
    }
  }
  if (kept != 0 || candidate == nullptr) return false;
  keep.insert(candidate);
  return true;
}

bool velmo_bbic_partition_has_clock_routing(const JOV_PARTITION* partition) {
  static const bool keep_reg = cfg_is_on("jov_bbic_keep_reg", false);
  if (keep_reg) return false;
  if (partition->get_parent() == nullptr) return true;
  for (const JOV_PARTITION* p = partition; p->get_parent() != nullptr; p = p->get_parent())
    if (p->has_clock_routing()) return true;
  return false;
}

int velmo_bbic_get_number_of_real_atoms(VOK_ATOM_NETLIST* netlist) {
  int n = 0;
  for (VOK_ATOM_NODE* a : netlist->nodes(VOK_TRAVERSE_HIERARCHICAL)) n += !l_is_box_type(a);
  return n;
}

void velmo_bbic_dump_stats(VOK_ATOM_NETLIST* netlist, const VELMO_BBIC_KEEP_SET& keep, const std::string& label) {
  const int real = velmo_bbic_get_number_of_real_atoms(netlist);
  int kept = 0;
  for (VOK_ATOM_NODE* a : keep.nodes()) kept += !l_is_box_type(a);
  const double percent = real == 0 ? 100.0 : static_cast<double>(kept) / real * 100.0;
  msg_vdebug_impl(2, "BBIC stats @ %s: Netlist (%s) atoms(%d) ==> KEEPING (%d = %.2f%%)", label.c_str(),
                  l_netlist_name(netlist).c_str(), real, kept, percent);
}

void VELMO_BBIC::get_all_nodes_to_boundary_registers(VOK_ATOM_NETLIST* netlist, VELMO_BBIC_NODE_SET_TRACKING<1>& keep) {
  velmo_get_all_nodes_to_boundary_registers(netlist, keep);
}

void velmo_get_all_nodes_to_boundary_registers(VOK_ATOM_NETLIST* netlist, VELMO_BBIC_KEEP_SET& keep) {
  VELMO_SCOPED_PROFILE_BIN bin("velmo_get_all_nodes_to_boundary_registers", "BBIC");
  static const bool hide_inputs = cfg_is_on("bbic_hide_logic_to_preserved_partition", false);
  static const bool hide_outputs = cfg_is_on("bbic_hide_logic_to_preserved_partition", false);
  static const bool show_all = cfg_is_on("bbic_show_all_keep_node_stat", false);
  msg_vdebug_impl(2, ".. BBIC to only keep nodes up to first registers");
  std::vector<std::pair<VOK_ATOM_NODE*, int>> records;
  for (VOK_ATOM_NODE* n : netlist->nodes(VOK_TRAVERSE_AS_STORED)) {
    const bool box = n->is_box();
    const bool input = !box && n->is_port() && n->is_input();
    const bool output = !box && n->is_port() && n->is_output();
    if (!box && !input && !output) continue;
    bool forward = box || input, backward = box || output;
    if (input && hide_inputs) {
      const VOK_ATOM_ITERM* outer = vok_hier_get_equivalent_iterm(l_first_oterm(n));
      if (outer == nullptr) l_internal_error("iterm", __LINE__);
      const VOK_ATOM_OTERM* driver = outer->get_source(VOK_TRAVERSE_HIERARCHICAL);
      if (driver == nullptr || driver->get_my_node() == nullptr || !driver->get_my_node()->is_modifiable())
        forward = false;
    }
    if (output && hide_outputs) {
      VOK_ATOM_OTERM* outer = vok_hier_get_equivalent_oterm(l_first_iterm(n));
      if (outer == nullptr) l_internal_error("oterm", __LINE__);
      bool feeds_modifiable = false;
      for (const VOK_ATOM_ITERM* f : outer->fanout(VOK_TRAVERSE_HIERARCHICAL))
        feeds_modifiable = feeds_modifiable || (f->get_my_node() && f->get_my_node()->is_modifiable());
      if (!feeds_modifiable) backward = false;
    }
    if (forward) records.emplace_back(n, velmo_bbic_undelete_fanouts_up_to_registers(n, keep));
    if (backward) records.emplace_back(n, velmo_bbic_undelete_fanins_up_to_registers(n, keep));
  }
  velmo_bbic_dump_stats(netlist, keep, "After expand to FF");
  std::sort(records.begin(), records.end(), [](const auto& a, const auto& b) { return a.second > b.second; });
  for (const auto& [seed, count] : records)
    if (count > 1 || show_all)
      msg_vdebug_impl(2, ".... %s port(%s) led to %d keep nodes", seed->is_input() ? "input" : "output",
                      seed->get_string_hpath().c_str(), count);
}

void velmo_get_all_nodes_to_boundary_nodes(VOK_ATOM_NETLIST* netlist, VELMO_BBIC_KEEP_SET& keep) {
  VELMO_SCOPED_PROFILE_BIN bin("velmo_get_all_nodes_to_boundary_nodes", "BBIC");
  msg_vdebug_impl(2, ".. BBIC to only keep first nodes");
  for (VOK_ATOM_NODE* n : netlist->nodes(VOK_TRAVERSE_AS_STORED)) {
    if (!n->is_port() || !n->is_input()) continue;
    keep.insert(n);
    VOK_ATOM_OTERM* o = l_first_oterm(n);
    if (o == nullptr) continue;
    for (VOK_ATOM_ITERM* f : o->fanout(VOK_TRAVERSE_HIERARCHICAL))
      if (!f->is_global() && f->get_my_node()) keep.insert(f->get_my_node());
  }
  velmo_bbic_dump_stats(netlist, keep, "After keeping up to first node at the input");
  for (VOK_ATOM_NODE* n : netlist->nodes(VOK_TRAVERSE_AS_STORED)) {
    if (!n->is_port() || !n->is_output()) continue;
    keep.insert(n);
    const VOK_ATOM_ITERM* t = l_first_iterm(n);
    const VOK_ATOM_OTERM* s = t ? t->get_source(VOK_TRAVERSE_AS_STORED) : nullptr;
    if (s && s->get_my_node()) keep.insert(s->get_my_node());
  }
  velmo_bbic_dump_stats(netlist, keep, "After keeping up to first node at the output");
}

void velmo_bbic_determine_keep_set(JOV_PARTITION* partition, VOK_ATOM_NETLIST* netlist, VELMO_BBIC_KEEP_SET& keep) {
  if (partition == nullptr) l_internal_error("partition", __LINE__);
  if (netlist == nullptr) l_internal_error("netlist", __LINE__);
  velmo_bbic_dump_stats(netlist, keep, "Before Blackboxify");
  static bool notice_printed = false;
  if (!notice_printed) {
    notice_printed = true;
    velmo_bbic_print_hack_notice(__FILE__, __LINE__, 476317u, "Employ keep_to_boundary_reg + all_reg strategy if in conventional ITC design");
  }
  if (cfg_is_on("bbic_keep_to_boundary_node", false)) {
    velmo_get_all_nodes_to_boundary_nodes(netlist, keep);
  } else if (cfg_is_on("bbic_keep_to_boundary_reg", true)) {
    velmo_get_all_nodes_to_boundary_registers(netlist, keep);
  } else {
    msg_vdebug_impl(2, ".. BBIC to only remove all nodes in netlist (except bp of course)");
    for (VOK_ATOM_NODE* n : netlist->nodes(VOK_TRAVERSE_AS_STORED))
      if (n->is_port()) keep.insert(n);
  }
  velmo_bbic_dump_stats(netlist, keep, "After Blackboxify");
}

void velmo_bbic_add_ports_to_set(JOV_PARTITION* partition, VOK_ATOM_NETLIST* netlist, VELMO_BBIC_KEEP_SET& keep) {
  unsigned added = 0;
  for (VOK_ATOM_NODE* n : netlist->nodes(VOK_TRAVERSE_AS_STORED))
    if (n->is_port() && keep.insert(n)) ++added;
  if (added != 0) msg_vdebug_impl(2, "BBIC: Added %u ports for partition %s", added, partition->get_name().c_str());
}

namespace {

// The top partition's EMIF IP atoms: tile-control atoms and atoms whose
// "SR_CLOUD" metadata is "EMIF" name the IP instances; every atom of those
// instances is kept.
void l_add_emif_atoms(JOV_PARTITION* top, VOK_ATOM_NETLIST* netlist, VELMO_BBIC_KEEP_SET& keep) {
  const R5T_INTERFACE* r5t = nullptr;
  const KIV_STATE* kiv = top->get_state(JOV_PARTITION::DEFAULT)->get_kiv_state();
  for (const KIV_MODEL* m : kiv->get_models())
    if (m->get_type() == R5T_KIV_MODEL::s_model_type_string) r5t = static_cast<const R5T_KIV_MODEL*>(m)->get_metadata();
  const PELK key = PELK::intern(4, "SR_CLOUD");
  const PELK emif = PELK::intern(4, "EMIF");
  std::set<const OMZ_IP_BASIC_INFO*> ips;
  for (VOK_ATOM_NODE* n : netlist->nodes(VOK_TRAVERSE_AS_STORED)) {
    const bool qualifies = n->is_tile_ctrl() || (r5t != nullptr && r5t->get_atom_metadata(n->get_id(), key) == emif);
    if (!qualifies) continue;
    if (n->get_instance_name() == nullptr) l_internal_error("iname", __LINE__);
    if (const OMZ_IP_BASIC_INFO* ip = OMZ_IP::get_basic_ip_info(n->get_instance_name(), false)) ips.insert(ip);
  }
  unsigned added = 0;
  for (VOK_ATOM_NODE* n : netlist->nodes(VOK_TRAVERSE_AS_STORED)) {
    const OMZ_IP_BASIC_INFO* ip = n->get_instance_name() ? OMZ_IP::get_basic_ip_info(n->get_instance_name(), false) : nullptr;
    if (ip != nullptr && ips.count(ip)) {
      keep.insert(n);
      ++added;
    }
  }
  msg_vdebug_impl(2, "Added %u EMIF atoms", added);
}

}  // namespace

void velmo_bbic_add_required_nodes_to_keep_set(const VELMO_BBIC_PARTITION_SET& blackboxed,
                                               VELMO_BBIC_KEEP_SET_TABLE& keep_sets) {
  VELMO_SCOPED_PROFILE_BIN bin("bbic_add_required_nodes_to_keep_set", nullptr);
  auto is_blackboxed = [&](const JOV_PARTITION* p) {
    return blackboxed.find(const_cast<JOV_PARTITION*>(p)) != blackboxed.end();
  };
  auto keep_of = [&](const JOV_PARTITION* p) -> VELMO_BBIC_KEEP_SET* {
    const auto id = static_cast<std::size_t>(p->get_id());
    return id < keep_sets.size() ? keep_sets[id] : nullptr;
  };
  for (const auto& owned : l_design()->get_partitions()) {
    JOV_PARTITION* p = owned.get();
    if (!is_blackboxed(p)) continue;
    VELMO_BBIC_KEEP_SET* k = keep_of(p);
    if (k == nullptr) continue;
    VOK_ATOM_NETLIST* n = l_netlist_of(p);
    const unsigned pre = k->size();
    const bool top = p->get_parent() == nullptr;
    if (top) {
      if (cfg_is_on("velmo_bbic_top_grab_ports", true)) velmo_bbic_add_ports_to_set(p, n, *k);
      if (cfg_is_on("velmo_bbic_top_grab_periph", true)) {
        unsigned count = 0;
        for (VOK_ATOM_NODE* a : n->nodes(VOK_TRAVERSE_AS_STORED))
          if (ZEL_ATOM_UTIL::must_be_in_periphery(a->get_basic_type())) k->insert(a), ++count;
        msg_vdebug_impl(2, "Added %u peripheral atoms", count);
      }
      if (cfg_is_on("velmo_bbic_top_grab_emif", true)) l_add_emif_atoms(p, n, *k);
    }
    if ((top && cfg_is_on("velmo_bbic_include_top_globals", false)) || cfg_is_on("velmo_bbic_include_globals", false) ||
        !velmo_bbic_partition_has_clock_routing(p)) {
      unsigned count = 0;
      for (VOK_ATOM_NODE* a : n->nodes(VOK_TRAVERSE_AS_STORED)) {
        bool global = false;
        for (const VOK_ATOM_ITERM* t : a->citerms()) global = global || t->is_global();
        if (global) k->insert(a), ++count;
      }
      msg_vdebug_impl(2, "BBIC: Added %u atoms with global iterms for partition %s", count, p->get_name().c_str());
    }
    if (cfg_is_on("jov_bbic_keep_dsp", false)) {
      unsigned count = 0;
      for (VOK_ATOM_NODE* a : n->nodes(VOK_TRAVERSE_AS_STORED))
        if ((a->is_mac() || a->is_fp_mac()) && k->insert(a)) ++count;
      msg_vdebug_impl(2, "Added %u dsp atoms", count);
    }
    if (cfg_is_on("jov_bbic_keep_gnd_oterm", true) && !k->empty())
      if (VOK_ATOM_OTERM* gnd = n->get_ground_oterm(); gnd != nullptr && gnd->get_my_node() != nullptr)
        k->insert(gnd->get_my_node());
    msg_vdebug_impl(2, "add_required_nodes_to_keep_set[ %s ] : %u -> %u", p->get_name().c_str(), pre, k->size());
    if (k->empty()) continue;
    for (JOV_PARTITION* t = p; t->get_parent() != nullptr && is_blackboxed(t); t = t->get_parent()) {
      msg_vdebug_impl(2, "KEEP partition %s - cannot be completely removed due to %u required nodes",
                      t->get_name().c_str(), keep_of(t) ? keep_of(t)->size() : 0u);
      if (!is_blackboxed(t->get_parent())) continue;
      VELMO_BBIC_KEEP_SET* parent_keep = keep_of(t->get_parent());
      if (parent_keep == nullptr) l_internal_error("keep_sets[tmp_partition->get_parent()->get_id()] != nullptr", __LINE__);
      if (VOK_ATOM_BLACKBOX* box = l_netlist_of(t)->get_parent_box()) parent_keep->insert(box);
    }
  }

  // Drivers of global inputs of visible atoms stay visible.
  ZMP_HASH_LITE<VOK_ATOM_NETLIST*, JOV_PARTITION*> netlist_to_partition;
  for (const auto& p : l_design()->get_partitions()) netlist_to_partition.insert(l_netlist_of(p.get()), p.get());
  auto partition_of = [&](VOK_ATOM_NODE* a) {
    JOV_PARTITION* const* found = netlist_to_partition.lookup(a->get_parent_netlist());
    if (found == nullptr) l_internal_error("find_it != netlist_to_partition.end()", __LINE__);
    if (*found == nullptr) l_internal_error("partition", __LINE__);
    return *found;
  };
  unsigned count = 0;
  auto keep_driver = [&](VOK_ATOM_NODE* d) {
    VELMO_BBIC_KEEP_SET* kd = keep_of(partition_of(d));
    if (kd != nullptr && !kd->contains(d)) kd->insert(d), ++count;
  };
  VOK_ATOM_NETLIST* top = l_netlist_of(l_design()->get_top_partition());
  for (VOK_ATOM_NODE* a : top->nodes(VOK_TRAVERSE_HIERARCHICAL)) {
    VELMO_BBIC_KEEP_SET* ka = keep_of(partition_of(a));
    if (ka != nullptr && !ka->contains(a)) continue;
    for (const VOK_ATOM_ITERM* t : a->citerms()) {
      const VOK_ATOM_OTERM* s = t->get_source(VOK_TRAVERSE_HIERARCHICAL);
      if (s == nullptr || s->get_my_node() == nullptr || !t->is_global()) continue;
      VOK_ATOM_NODE* d = s->get_my_node();
      keep_driver(d);
      if (!ZEL_LCELL_UTIL::atom_is_wire_lut_used_for_routing(d)) continue;
      for (const VOK_ATOM_ITERM* dt : d->citerms()) {
        const VOK_ATOM_OTERM* ds = dt->get_source(VOK_TRAVERSE_HIERARCHICAL);
        if (ds != nullptr && ds->get_my_node() != nullptr) keep_driver(ds->get_my_node());
      }
    }
  }
  msg_vdebug_impl(2, "Added %u global drivers", count);
}
