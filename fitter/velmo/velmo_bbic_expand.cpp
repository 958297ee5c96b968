// Keep-set expansion: the passes that grow a blackboxed partition's keep set
// until it is closed under their rules.
#include <array>
#include <map>
#include <optional>
#include <set>
#include <vector>

#include "cfg/cfg.h"
#include "dev/dev_basic_info.h"
#include "dev/dev_die_info.h"
#include "dev/dev_location.h"
#include "jov/jov_design.h"
#include "msg/msg_internal_error.h"
#include "pelk/pelk_symbol.h"
#include "pexa/pexa_utility.h"
#include "r5t/r5t_interface.h"
#include "velmo_bbic_keep_set.h"
#include "velmo_debug.h"
#include "vok/vok_atom_netlist.h"
#include "yos/yos_interface.h"
#include "zel/zel_atom_util.h"
#include "zel/zel_dev_zota_util.h"
#include "zel/zel_lcell_util.h"

namespace {

[[noreturn]] void l_internal_error(const char* condition, int line) {
  MSG_INTERNAL_ERROR::report(condition, "VELMO", "velmo_bbic", line);
}

using SLICE = std::array<int, 3>;

// The die information the slice passes convert locations with.
const DEV_DIE_INFO* l_die_info(bool check_ale) {
  const DEV_DEVICE* device = PEXA_UTILITY::get_current_device();
  if (device == nullptr) l_internal_error("dev_device", __LINE__);
  const DEV_DIE_INFO* die = device->get_die_info();
  if (die == nullptr) l_internal_error("dev_die_info", __LINE__);
  if (check_ale && device->get_basic_info()->get_int_data(32) != 6) l_internal_error("ale_size == 6", __LINE__);
  return die;
}

// The slice of a placed atom: (x, y, sub / 6), or (x, y, 0) for RAMs. A
// pipeline register in a routing slot (bit 31) sits in no slice.
bool l_slice(const DEV_DIE_INFO* die, const VOK_ATOM_NODE* a, bool ram, SLICE* out) {
  if (!a->is_placed() || (a->get_location_gid() & 0x80000000u) != 0) return false;
  DEV_LOCATION loc;
  if (!die->get_location(a->get_location_gid(), loc)) return false;
  *out = {loc[DEV_LOCATION_X], loc[DEV_LOCATION_Y], ram ? 0 : loc[DEV_LOCATION_SUB] / 6};
  return true;
}

// Collects the slices of kept atoms that qualify, then keeps every atom
// not kept yet in one of them that qualifies as a member; the count of new
// atoms.
template <class KEY, class MEMBER>
unsigned l_expand_slices(VOK_ATOM_NETLIST* n, VELMO_BBIC_KEEP_SET& keep, const DEV_DIE_INFO* die, bool ram, KEY key,
                         MEMBER member) {
  std::set<SLICE> slices;
  SLICE s{};
  for (VOK_ATOM_NODE* a : n->nodes(VOK_TRAVERSE_AS_STORED))
    if (keep.contains(a) && key(a) && l_slice(die, a, ram, &s)) slices.insert(s);
  unsigned added = 0;
  for (VOK_ATOM_NODE* a : n->nodes(VOK_TRAVERSE_AS_STORED))
    if (!keep.contains(a) && member(a) && l_slice(die, a, ram, &s) && slices.count(s)) keep.insert(a), ++added;
  return added;
}

VOK_ATOM_OTERM* l_primary_oterm(const VOK_ATOM_NODE* a) {
  return a->get_oterm_slot_count() > 0 ? a->get_oterm_slot(0) : nullptr;
}

// The passes below scan the netlist once and test keep-set membership as
// they go: an atom a pass has just added and that comes later in the
// netlist is handled in the same pass.
void l_expand_periphery(VOK_ATOM_NETLIST* n, VELMO_BBIC_KEEP_SET& keep) {
  for (VOK_ATOM_NODE* a : n->nodes(VOK_TRAVERSE_AS_STORED)) {
    if (!keep.contains(a)) continue;
    if (a->is_io_pad()) {
      int id = -1;
      if (yos_current_interface()->get_int_data(a, static_cast<YOS_INT_DATA_ENUM>(429), &id))
        if (VOK_ATOM_NODE* partner = a->get_parent_netlist()->get_atom_by_id(id)) keep.insert(partner);
      if (a->is_bidir() || a->is_input())
        for (VOK_ATOM_OTERM* o : a->oterms())
          for (VOK_ATOM_ITERM* f = o->get_first_fanout(VOK_TRAVERSE_AS_STORED); f; f = f->get_next_fanout(VOK_TRAVERSE_AS_STORED))
            if (f->get_my_node() && f->get_my_node()->is_peripheral()) keep.insert(f->get_my_node());
    }
    if (ZEL_ATOM_UTIL::must_be_in_periphery(a->get_basic_type())) velmo_bbic_undelete_fanins_up_to_registers(a, keep);
    if (a->is_prblock()) velmo_bbic_undelete_fanouts_up_to_registers(a, keep);
    if (velmo_bbic_is_ff_driving_io_obuff(a)) velmo_bbic_undelete_fanins_up_to_registers(a, keep);
  }
}

void l_expand_chains(VOK_ATOM_NETLIST* n, VELMO_BBIC_KEEP_SET& keep) {
  const bool sumout = cfg_is_on("jov_bbic_expand_chain_sumout", true);
  const bool ff_driver = cfg_is_on("jov_bbic_expand_chain_bypass_ff_driver", ZEL_DEV_ZOTA_UTIL::is_zota_device(nullptr, 0));
  std::vector<VOK_ATOM_NODE*> chain;
  std::set<const VOK_ATOM_NODE*> seen;
  for (VOK_ATOM_NODE* a : keep.nodes()) {
    if (seen.count(a) || !ZEL_LCELL_UTIL::is_atom_part_of_chain(a)) continue;
    for (VOK_ATOM_NODE* c : ZEL_LCELL_UTIL::get_atoms_in_chain(a))
      if (seen.insert(c).second) chain.push_back(c);
  }
  (void)n;
  for (VOK_ATOM_NODE* c : chain) {
    keep.insert(c);
    if (sumout)
      for (VOK_ATOM_OTERM* o : c->oterms())
        if (o->get_any_usage_as() == 8) velmo_bbic_must_keep_at_least_one_fanout(o, keep);
    if (ff_driver && c->is_lcell_comb())
      for (const VOK_ATOM_ITERM* t : c->citerms()) {
        const VOK_ATOM_OTERM* s = t->get_source(VOK_TRAVERSE_HIERARCHICAL);
        if (s && s->get_my_node() && velmo_bbic_is_register(s->get_my_node())) keep.insert(s->get_my_node());
      }
  }
}

void l_expand_seven_luts(VOK_ATOM_NETLIST* n, VELMO_BBIC_KEEP_SET& keep) {
  std::vector<VOK_ATOM_NODE*> drivers;
  for (VOK_ATOM_NODE* a : n->nodes(VOK_TRAVERSE_AS_STORED)) {
    if (!a->is_lcell_comb() || !keep.contains(a)) continue;
    int driven = 0;
    drivers.clear();
    for (const VOK_ATOM_ITERM* t : a->citerms()) {
      const VOK_ATOM_OTERM* s = t->get_source(VOK_TRAVERSE_AS_STORED);
      if (s == nullptr || s->get_my_node() == nullptr) continue;
      ++driven;
      if (!keep.contains(s->get_my_node())) drivers.push_back(s->get_my_node());
    }
    if (driven > 6)
      for (VOK_ATOM_NODE* d : drivers) keep.insert(d);
  }
}

void l_expand_qfb(VELMO_BBIC_KEEP_SET& keep) {
  const R5T_INTERFACE* r5t = R5T_INTERFACE::get_instance();
  if (r5t == nullptr) l_internal_error("top_r5t", __LINE__);
  const PELK qfb = PELK::intern(1, "QFB");
  std::vector<VOK_ATOM_NODE*> candidates;
  for (VOK_ATOM_NODE* c : keep.nodes()) {
    if (!c->is_lcell_comb()) continue;
    for (const VOK_ATOM_ITERM* t : c->citerms()) {
      const VOK_ATOM_OTERM* s = t->get_source(VOK_TRAVERSE_AS_STORED);
      VOK_ATOM_NODE* d = s ? s->get_my_node() : nullptr;
      if (d == nullptr || !velmo_bbic_is_register(d) || keep.contains(d)) continue;
      const std::vector<PELK> mapping = r5t->get_atom_mapping(t);
      if (!mapping.empty() && mapping.front() == qfb) candidates.push_back(d);
    }
  }
  for (VOK_ATOM_NODE* d : candidates) keep.insert(d);
}

void l_expand_hierarchy(JOV_PARTITION* p, VOK_ATOM_NETLIST* n, VELMO_BBIC_KEEP_SET& keep) {
  const unsigned pre = keep.size();
  const bool top = p->get_parent() == nullptr;
  for (VOK_ATOM_NODE* a : n->nodes(VOK_TRAVERSE_AS_STORED)) {
    const bool kept = keep.contains(a);
    if (kept && a->is_port()) {
      if (!top) {
        velmo_bbic_expand_one_level(a, keep, velmo_bbic_partition_has_clock_routing(p));
      } else {
        if (a->is_output()) velmo_bbic_undelete_fanins_up_to_registers(a, keep);
        if (a->is_input()) velmo_bbic_undelete_fanouts_up_to_registers(a, keep);
      }
    } else if (kept && a->is_box()) {
      msg_vdebug_impl(2, "expand_hierarchical: box %s for partition %s", a->get_string_hpath().c_str(), p->get_name().c_str());
      velmo_bbic_expand_one_level(a, keep, velmo_bbic_partition_has_clock_routing(p));
    } else if (!kept && a->is_port() && top) {
      l_internal_error("!node->is_port() || !partition->is_top()", __LINE__);
    }
  }
  msg_vdebug_impl(2, "BBIC: expand_hierarchical added %u nodes for partition %s", keep.size() - pre, p->get_name().c_str());
}

void l_expand_global_fanout(VOK_ATOM_NETLIST* n, VELMO_BBIC_KEEP_SET& keep) {
  unsigned added = 0;
  for (VOK_ATOM_NODE* a : n->nodes(VOK_TRAVERSE_AS_STORED)) {
    if (!keep.contains(a)) continue;
    for (VOK_ATOM_OTERM* o : a->oterms())
      for (VOK_ATOM_ITERM* f = o->get_first_fanout(VOK_TRAVERSE_AS_STORED); f; f = f->get_next_fanout(VOK_TRAVERSE_AS_STORED))
        if (f->is_global()) {
          added += velmo_bbic_must_keep_at_least_one_fanout(o, keep);
          break;
        }
  }
  msg_vdebug_impl(2, "bbic_expand_global_fanout added %u nodes", added);
}

}  // namespace

bool velmo_bbic_is_ff_driving_io_obuff(const VOK_ATOM_NODE* a) {
  if (!velmo_bbic_is_register(a)) return false;
  const VOK_ATOM_OTERM* o = l_primary_oterm(a);
  for (const VOK_ATOM_ITERM* f = o ? o->get_first_fanout(VOK_TRAVERSE_AS_STORED) : nullptr; f;
       f = f->get_next_fanout(VOK_TRAVERSE_AS_STORED))
    if (f->get_my_node() && f->get_my_node()->is_io_obuf()) return true;
  return false;
}

void velmo_bbic_expand_one_level(VOK_ATOM_NODE* a, VELMO_BBIC_KEEP_SET& keep, bool ordinary_only) {
  for (const VOK_ATOM_ITERM* t : a->citerms()) {
    if (ordinary_only && t->is_global()) continue;
    const VOK_ATOM_OTERM* s = t->get_source(VOK_TRAVERSE_AS_STORED);
    if (s && s->get_my_node()) keep.insert(s->get_my_node());
  }
  for (VOK_ATOM_OTERM* o : a->oterms())
    for (VOK_ATOM_ITERM* f = o->get_first_fanout(VOK_TRAVERSE_AS_STORED); f; f = f->get_next_fanout(VOK_TRAVERSE_AS_STORED))
      if (!(ordinary_only && f->is_global()) && f->get_my_node() && !f->get_my_node()->is_box()) keep.insert(f->get_my_node());
}

void velmo_bbic_expand_lutram_slices(VOK_ATOM_NETLIST* n, VELMO_BBIC_KEEP_SET& keep) {
  if (!cfg_is_on("jov_bbic_expand_lutram_slices", true)) return;
  const DEV_DIE_INFO* die = l_die_info(true);
  auto lutram = [](const VOK_ATOM_NODE* a) { return a->is_lutram(); };
  const unsigned added = l_expand_slices(n, keep, die, false, lutram, lutram);
  msg_vdebug_impl(2, "expand_lutram_slices added %u nodes", added);
}

void velmo_bbic_expand_ram_slices(VOK_ATOM_NETLIST* n, VELMO_BBIC_KEEP_SET& keep) {
  if (!cfg_is_on("jov_bbic_expand_ram_slices", false)) return;
  const DEV_DIE_INFO* die = l_die_info(false);
  auto ram = [](const VOK_ATOM_NODE* a) { return a->is_ram(); };
  const unsigned added = l_expand_slices(n, keep, die, true, ram, ram);
  msg_vdebug_impl(2, "expand_ram_slices added %u nodes", added);
}

void velmo_bbic_expand_bypassed_ffs(VOK_ATOM_NETLIST* n, VELMO_BBIC_KEEP_SET& keep) {
  if (!cfg_is_on("jov_bbic_expand_bypassed_ffs", false)) return;
  const DEV_DIE_INFO* die = l_die_info(false);
  unsigned found = 0;
  auto bypassed = [&](const VOK_ATOM_NODE* a) {
    const bool b = ZEL_ZOTA_UTIL::is_ff_bypassed(a);
    found += b;
    return b;
  };
  auto member = [](const VOK_ATOM_NODE* a) { return a->is_lcell_comb() || a->is_ff(); };
  const unsigned added = l_expand_slices(n, keep, die, false, bypassed, member);
  msg_vdebug_impl(2, "expand_bypassed_ffs found %u bypassed_ffs, added %u nodes", found, added);
}

bool velmo_bbic_has_clock_skew_settings(const VOK_ATOM_NODE* reg) {
  static const int tbff_threshold = cfg_get_int_value("velmo_bbic_tbff_threshold", 200);
  static const int pw_threshold = cfg_get_int_value("velmo_bbic_pw_threshold", 2);
  static const bool debug = cfg_is_on("velmo_bbic_tbff_debug", false);
  int pulse_width = -1;
  int borrow = 0;
  const bool has_pw = yos_current_interface()->get_enum_data(reg, static_cast<YOS_ENUM_DATA_ENUM>(72), &pulse_width);
  const bool has_borrow = yos_current_interface()->get_int_data(reg, static_cast<YOS_INT_DATA_ENUM>(119), &borrow);
  if (!has_pw || !has_borrow) return false;
  if (debug && (borrow > 0 || pulse_width > 0))
    msg_vdebug_impl(2, "BBIC clock skew: atom %d time borrow %d pulse width %d", reg->get_id(), borrow, pulse_width);
  return borrow >= tbff_threshold || pulse_width >= pw_threshold;
}

void velmo_bbic_expand_ffs(VOK_ATOM_NETLIST* n, VELMO_BBIC_KEEP_SET& keep) {
  if (!cfg_is_on("jov_bbic_expand_ffs", true)) return;
  static const bool clk_skew = cfg_is_on("velmo_bbic_expand_clk_skew_ffs", true);
  unsigned c1 = 0, c2 = 0, c3 = 0, c4 = 0, c5 = 0, c6 = 0;
  for (VOK_ATOM_NODE* r : n->nodes(VOK_TRAVERSE_AS_STORED)) {
    if (!velmo_bbic_is_register(r) || !keep.contains(r)) continue;
    const bool zota_or_bypassed = ZEL_ATOM_UTIL::is_zota_marked_reg(r) || ZEL_ZOTA_UTIL::is_ff_bypassed(r);
    for (const VOK_ATOM_ITERM* t : r->citerms()) {
      const VOK_ATOM_OTERM* s = t->get_source(VOK_TRAVERSE_AS_STORED);
      VOK_ATOM_NODE* d = s ? s->get_my_node() : nullptr;
      if (d == nullptr || keep.contains(d)) continue;
      const int u = t->get_any_usage_as();
      if (u == 7 || u == 33) keep.insert(d), ++c1;
      if (u != 20 && ZEL_ATOM_UTIL::is_zota_marked_reg(d)) keep.insert(d), ++c2;
      if (zota_or_bypassed && u == 20) keep.insert(d), ++c3;
    }
    bool skew = false;
    if (clk_skew) {
      skew = velmo_bbic_has_clock_skew_settings(r);
      c5 += skew;
    }
    if (zota_or_bypassed) ++c4;
    else if (!skew) continue;
    if (VOK_ATOM_OTERM* o = l_primary_oterm(r); o != nullptr && velmo_bbic_must_keep_at_least_one_fanout(o, keep)) ++c6;
  }
  msg_vdebug_impl(2, "expand_ffs added %u + %u (zota) secondary signal drivers", c1, c2);
  msg_vdebug_impl(2, "expand_ffs added %u fanouts for %u nodes with clock skew settings and %u zotas", c6, c5, c4);
  msg_vdebug_impl(2, "expand_ffs added %u drivers for zota ffs", c3);
}

void velmo_bbic_expand_nodes_to_keep(JOV_PARTITION* p, VOK_ATOM_NETLIST* n, VELMO_BBIC_KEEP_SET& keep) {
  const DEV_DEVICE* device = PEXA_UTILITY::get_current_device();
  if (device == nullptr) l_internal_error("dev_device", __LINE__);
  if (device->get_die_info() == nullptr) l_internal_error("die_info", __LINE__);
  if (device->get_basic_info()->get_int_data(32) != 6) l_internal_error("ale_size == 6", __LINE__);
  bool logic_modules = false;
  for (VOK_ATOM_NODE* a : n->nodes(VOK_TRAVERSE_AS_STORED)) logic_modules = logic_modules || a->is_logic_module();
  // The ALM map depends only on the netlist and the key, which the passes do
  // not change: built once per call, at the first logic-module pass.
  VELMO_BBIC_ALM_KEY_FN alm_key;
  std::optional<VELMO_BBIC_ALM_MAP> alm_map;
  for (unsigned iteration = 0; iteration < 10; ++iteration) {
    const unsigned pre = keep.size();
    if (cfg_is_on("jov_bbic_expand_peripheral", true)) l_expand_periphery(n, keep);
    if (cfg_is_on("jov_bbic_expand_chains", true)) l_expand_chains(n, keep);
    if (cfg_is_on("jov_bbic_expand_seven_luts", true)) l_expand_seven_luts(n, keep);
    if (cfg_is_on("jov_bbic_expand_lutram_fanout", true))
      for (VOK_ATOM_NODE* a : n->nodes(VOK_TRAVERSE_AS_STORED))
        if (a->is_lutram() && keep.contains(a))
          for (VOK_ATOM_OTERM* o : a->oterms()) velmo_bbic_must_keep_at_least_one_fanout(o, keep);
    velmo_bbic_expand_lutram_slices(n, keep);
    velmo_bbic_expand_ram_slices(n, keep);
    if (cfg_is_on("jov_bbic_expand_qfbk", true)) l_expand_qfb(keep);
    if (logic_modules) {
      if (!alm_map) {
        alm_key = velmo_bbic_alm_key_function(6);
        alm_map = velmo_bbic_build_alm_map(n, alm_key);
      }
      velmo_bbic_expand_logic_modules(n, keep, alm_key, &*alm_map);
    }
    velmo_bbic_expand_ffs(n, keep);
    velmo_bbic_expand_bypassed_ffs(n, keep);
    l_expand_hierarchy(p, n, keep);
    if (cfg_is_on("jov_bbic_expand_global_fanout", true)) l_expand_global_fanout(n, keep);
    const unsigned post = keep.size();
    if (post == pre) break;
    msg_vdebug_impl(2, "expand_nodes_to_keep[%s:%u]: %u -> %u", p->get_name().c_str(), iteration, pre, post);
  }
}

namespace {

// Follows the carry chain from `a` forwards (each carry-out with exactly
// one fanout) or backwards (carry-in drivers), keeping atoms until one is
// kept already. A loop rather than a recursion: chains may be long.
bool l_search_logic_module_cout(VELMO_BBIC_KEEP_SET& keep, VOK_ATOM_NODE* a) {
  bool added = false;
  for (;;) {
    VOK_ATOM_OTERM* cout = a->get_output_term_by_type(DB_OUTPUT_PORT_CARRY_OUT, 0);
    if (cout == nullptr || !cout->has_fanout_exactly(1, VOK_TRAVERSE_HIERARCHICAL)) return added;
    VOK_ATOM_ITERM* f = cout->get_first_fanout(VOK_TRAVERSE_HIERARCHICAL);
    VOK_ATOM_NODE* next = f ? f->get_my_node() : nullptr;
    if (next == nullptr || keep.contains(next)) return added;
    keep.insert(next);
    added = true;
    a = next;
  }
}

bool l_search_logic_module_cin(VELMO_BBIC_KEEP_SET& keep, VOK_ATOM_NODE* a) {
  bool added = false;
  for (;;) {
    const VOK_ATOM_ITERM* cin = a->get_input_term_by_type(DB_INPUT_PORT_CARRY_IN, 0);
    const VOK_ATOM_OTERM* s = cin ? cin->get_source(VOK_TRAVERSE_HIERARCHICAL) : nullptr;
    VOK_ATOM_NODE* prev = s ? s->get_my_node() : nullptr;
    if (prev == nullptr || keep.contains(prev)) return added;
    keep.insert(prev);
    added = true;
    a = prev;
  }
}

}  // namespace

VELMO_BBIC_ALM_KEY_FN velmo_bbic_alm_key_function(int ale_size) {
  const DEV_DIE_INFO* die = l_die_info(false);
  return [die, ale_size](const VOK_ATOM_NODE* a) -> VELMO_BBIC_ALM_LOC {
    const std::uint32_t gid = a->get_location_gid();
    if (gid == 0xFFFFFFFFu || (gid & 0x80000000u) != 0) return {false, 0u, 0u, 0u};
    DEV_LOCATION loc;
    if (!die->get_location(gid, loc)) l_internal_error("place_block", __LINE__);
    return {true, static_cast<unsigned>(loc[DEV_LOCATION_X]), static_cast<unsigned>(loc[DEV_LOCATION_Y]),
            static_cast<unsigned>(loc[DEV_LOCATION_SUB] / ale_size)};
  };
}

bool velmo_bbic_expand_logic_modules_by_chains(VOK_ATOM_NETLIST* n, VELMO_BBIC_KEEP_SET& keep) {
  (void)n;
  std::vector<VOK_ATOM_NODE*> modules;
  for (VOK_ATOM_NODE* a : keep.nodes())
    if (a->is_logic_module()) modules.push_back(a);
  bool changed = false;
  for (VOK_ATOM_NODE* m : modules) {
    VOK_ATOM_OTERM* cout = m->get_output_term_by_type(DB_OUTPUT_PORT_CARRY_OUT, 0);
    if (cout != nullptr && cout->has_fanout_exactly(1, VOK_TRAVERSE_HIERARCHICAL)) {
      VOK_ATOM_ITERM* f = cout->get_first_fanout(VOK_TRAVERSE_HIERARCHICAL);
      if (f && f->get_my_node() && !keep.contains(f->get_my_node())) {
        keep.insert(f->get_my_node());
        l_search_logic_module_cout(keep, f->get_my_node());
        changed = true;
      }
    }
    const VOK_ATOM_ITERM* cin = m->get_input_term_by_type(DB_INPUT_PORT_CARRY_IN, 0);
    const VOK_ATOM_OTERM* s = cin ? cin->get_source(VOK_TRAVERSE_HIERARCHICAL) : nullptr;
    if (s && s->get_my_node() && !keep.contains(s->get_my_node())) {
      keep.insert(s->get_my_node());
      l_search_logic_module_cin(keep, s->get_my_node());
      changed = true;
    }
  }
  return changed;
}

VELMO_BBIC_ALM_MAP velmo_bbic_build_alm_map(VOK_ATOM_NETLIST* n, const VELMO_BBIC_ALM_KEY_FN& key) {
  VELMO_BBIC_ALM_MAP alms;
  for (VOK_ATOM_NODE* m : n->nodes(VOK_TRAVERSE_AS_STORED)) {
    if (!m->is_logic_module()) continue;
    const VELMO_BBIC_ALM_LOC loc = key(m);
    if (!std::get<BBIC_ALM_LOC_FOUND>(loc)) l_internal_error("std::get<BBIC_ALM_LOC_FOUND>(alm_loc)", __LINE__);
    if (alms.count(loc) != 0) l_internal_error("atoms_in_logic_module_alms.count( alm_loc ) == 0", __LINE__);
    alms[loc].push_back(m);
  }
  for (VOK_ATOM_NODE* a : n->nodes(VOK_TRAVERSE_AS_STORED)) {
    if (a->is_logic_module()) continue;
    const VELMO_BBIC_ALM_LOC loc = key(a);
    if (!std::get<BBIC_ALM_LOC_FOUND>(loc)) continue;
    if (auto it = alms.find(loc); it != alms.end()) it->second.push_back(a);
  }
  return alms;
}

bool velmo_bbic_expand_logic_modules_by_ffs(VOK_ATOM_NETLIST* n, VELMO_BBIC_KEEP_SET& keep, const VELMO_BBIC_ALM_KEY_FN& key) {
  return velmo_bbic_expand_logic_modules_by_ffs(velmo_bbic_build_alm_map(n, key), keep, key);
}

bool velmo_bbic_expand_logic_modules_by_ffs(const VELMO_BBIC_ALM_MAP& alms, VELMO_BBIC_KEEP_SET& keep,
                                            const VELMO_BBIC_ALM_KEY_FN& key) {
  std::set<VELMO_BBIC_ALM_LOC> hit;
  for (VOK_ATOM_NODE* k : keep.nodes()) {
    const VELMO_BBIC_ALM_LOC loc = key(k);
    if (std::get<BBIC_ALM_LOC_FOUND>(loc) && alms.count(loc)) hit.insert(loc);
  }
  std::vector<VOK_ATOM_NODE*> atoms, drivers;
  for (const auto& loc : hit) {
    const auto& v = alms.at(loc);
    atoms.insert(atoms.end(), v.begin(), v.end());
  }
  if (atoms.empty()) return false;
  for (VOK_ATOM_NODE* a : atoms) {
    if (!a->is_ff()) continue;
    for (const VOK_ATOM_ITERM* t : a->citerms()) {
      const VOK_ATOM_OTERM* s = t->get_source(VOK_TRAVERSE_AS_STORED);
      if (s && s->get_my_node()) drivers.push_back(s->get_my_node());
    }
  }
  bool added = false;
  for (VOK_ATOM_NODE* a : atoms) added = keep.insert(a) || added;
  for (VOK_ATOM_NODE* d : drivers) added = keep.insert(d) || added;
  return added;
}

void velmo_bbic_expand_logic_modules(VOK_ATOM_NETLIST* n, VELMO_BBIC_KEEP_SET& keep, const VELMO_BBIC_ALM_KEY_FN& key,
                                     const VELMO_BBIC_ALM_MAP* map) {
  int count = 0;
  for (;;) {
    if (!(++count < 1000)) l_internal_error("++count < 1000", __LINE__);
    const bool a = velmo_bbic_expand_logic_modules_by_chains(n, keep);
    const bool b = map ? velmo_bbic_expand_logic_modules_by_ffs(*map, keep, key)
                       : velmo_bbic_expand_logic_modules_by_ffs(n, keep, key);
    if (!a && !b) return;
  }
}
