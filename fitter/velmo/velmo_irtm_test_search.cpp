// The retimer's move search: which registers may move, register lookups,
// the routing-element trees of the nets a move touches, and the forward and
// backward searches that turn a critical register into a filled move.
#include <algorithm>
#include <cstdint>
#include <list>
#include <unordered_set>
#include <vector>

#include "kem/kem_netlist.h"
#include "msg/msg_internal_error.h"
#include "sta/sta_analysis.h"
#include "velmo_debug.h"
#include "velmo_irtm_test.h"
#include "vok/vok_atom_netlist.h"
#include "vok/vok_fanout_count.h"
#include "wump/wump_die_info.h"
#include "wump/wump_route_objects.h"
#include "yeb/yeb_timing_model.h"
#include "zel/zel_atom_mod_manager.h"
#include "zel/zel_atom_util.h"
#include "zel/zel_dev_zota_util.h"

namespace {

[[noreturn]] void ie(const char* condition, int line) {
  MSG_INTERNAL_ERROR::report(condition, "VELMO", "velmo_irtm_test_search", line);
}

// Pipeline registers in routing slots have neither clock enable nor
// synchronous clear: a move that fills slots while it bypasses a register
// with either would drop them and change what the design computes.
bool drops_secondary_signals(IRTM_MANAGER& m, IRTM_FF* ff, const IRTM_MOVE* move) {
  if (move->m_slots.empty()) return false;
  bool drops = ff->has_secondary_signals();
  for (std::uint32_t gid : move->m_bypassed) {
    const IRTM_FF* r = m.get_irtm_ff(gid);
    drops = drops || (r && r->has_secondary_signals());
  }
  if (drops) msg_vdebug_impl(2, "    slot registers cannot take a clock enable or clear");
  return drops;
}

constexpr int IN_CARRY = DB_INPUT_PORT_CARRY_IN;
constexpr int IN_CLK = DB_INPUT_PORT_CLK;
constexpr int IN_ENA = DB_INPUT_PORT_ENA;
constexpr int IN_DATA = DB_INPUT_PORT_DATA_IN;
constexpr int IN_SCLR = DB_INPUT_PORT_SCLR;
constexpr int OUT_CARRY = DB_OUTPUT_PORT_CARRY_OUT;
constexpr int OUT_SUM = DB_OUTPUT_PORT_SUM;
constexpr int OUT_COMB = DB_OUTPUT_PORT_COMB;
constexpr int OUT_REG = DB_OUTPUT_PORT_REG;
constexpr std::uint32_t NO_GID = 0xFFFFFFFFu;
constexpr std::uint8_t CLOCK_INVERTED = 0x20;  // bit 5 of a terminal's state byte

IRTM_UTIL* util() { return IRTM_UTIL::s_instance; }
const DEV_DIE_INFO* die() { return util() ? util()->get_die_info() : nullptr; }
bool is_zota_lab_gid(std::uint32_t gid) { return ZEL_DEV_ZOTA_UTIL::is_zota_lab_gid(die(), gid); }

VOK_ATOM_ITERM* input(const VOK_ATOM_NODE* atom, int type) {
  return atom ? atom->get_input_term_by_type(static_cast<DB_INPUT_PORT_TYPE>(type), 0) : nullptr;
}
VOK_ATOM_OTERM* output(const VOK_ATOM_NODE* atom, int type) {
  return atom ? atom->get_output_term_by_type(static_cast<DB_OUTPUT_PORT_TYPE>(type), 0) : nullptr;
}
bool connected(const VOK_ATOM_ITERM* t) { return t && t->get_source(VOK_TRAVERSE_HIERARCHICAL) != nullptr; }
bool used(const VOK_ATOM_OTERM* o) { return o && !o->cfanout(VOK_TRAVERSE_HIERARCHICAL).empty(); }
bool clock_inverted(const VOK_ATOM_ITERM* clk) { return clk && (clk->get_state() & CLOCK_INVERTED) != 0; }
std::uint32_t gid_of(const IRTM_FF* ff) { return ff->get_atom()->get_location_gid(); }
std::uint32_t gid_of(const VOK_ATOM_OTERM* o) { return o->get_my_node()->get_location_gid(); }

RE_NON_TERMINAL* non_terminal(RE_NODE* node) { return static_cast<RE_NON_TERMINAL*>(node); }

std::vector<VOK_ATOM_ITERM*> iterms_below(RE_NODE* node) {
  std::vector<VOK_ATOM_ITERM*> out;
  non_terminal(node)->get_iterms(&out);
  return out;
}

// The terminals of a slot or source other than `self` whose atoms are
// retimable combinational cells: the first such atom, or null; `two` is set
// when a second, different one is found.
VOK_ATOM_NODE* single_comb_below(RE_NODE* node, const VOK_ATOM_ITERM* self, const VOK_ATOM_NODE* skip, bool* two) {
  VOK_ATOM_NODE* found = nullptr;
  *two = false;
  for (VOK_ATOM_ITERM* t : iterms_below(node)) {
    if (t == self) continue;
    VOK_ATOM_NODE* a = t->get_my_node();
    if (a == skip || !util()->is_retimable_comb(a)) continue;
    if (!found) {
      found = a;
    } else if (a != found) {
      *two = true;
      return found;
    }
  }
  return found;
}

// The fan-in edges of a keeper that the clock-network test looks at: a
// register or memory keeper (flags 0x8000, 0x10000) only the run of kind-1
// edges from its first kind-1 edge, any other keeper every fan-in edge.
template <class FN> void for_each_keeper_fanin(const KEM_NETLIST* kem, const KEM_NODE* keeper, FN&& fn) {
  const bool typed = keeper->has_any_flag(0x8000u | 0x10000u);
  int e = keeper->begin_fanin();
  if (typed)
    while (e >= 0 && kem->get_edge(e) && kem->get_edge(e)->get_kind() != 1) e = kem->get_edge(e)->get_next_fanin();
  while (e >= 0) {
    const KEM_EDGE* edge = kem->get_edge(e);
    if (!edge) break;
    fn(edge);
    e = typed ? edge->get_next_fanin_of_kind(1) : edge->get_next_fanin();
  }
}

// Element kind to cell-delay parameter of a slot's timing requirement; -1
// for a kind without one.
int delay_parameter(int kind, std::uint32_t gid) {
  switch (kind) {
    case 271: return 148;
    case 273: return 151;
    case 274: return 154;
    case 276: return 157;
    case 278: return 163;
    case 279: return 184;
    case 281: return 136;
    case 282: return 133;
    case 283: return 139;
    case 284:
    case 285: return 136;
    case 287: return 163;
    case 292: return 169;
    case 293: return 172;
    case 294: return 175;
    case 297: return 178;
    case 300: return 181;
    case 643:
      switch (util()->get_lab_zota_type(gid)) {
        case 0: return 187;
        case 2: return 191;
        default: return 189;
      }
    case 3237: return 166;
    case 3238: return 142;
    case 3239: return 145;
    case 3240: return 160;
    case 3241: return 196;
    default: return -1;
  }
}

}  // namespace

// ---------------------------------------------------------------- retimability and lookups

bool IRTM_MANAGER::is_retimable_ff(VOK_ATOM_NODE* atom) {
  if (!atom || !atom->is_ff() || !atom->is_modifiable() || ZEL_ZOTA_UTIL::is_ff_bypassed(atom)) return false;
  // The modification check of operation 41; an empty ignorable mask.
  const std::uint64_t ignorable = 0;
  std::uint64_t reasons = 0;
  ZEL_ATOM_MOD_MANAGER* amm = m_amu ? m_amu : ZEL_UTIL::get_atom_mod_manager();
  if (!amm->is_modification_allowed(atom, 41, "ZOTA", &reasons, 0) && (reasons & ~ignorable) != 0) return false;
  VOK_ATOM_OTERM* q = output(atom, OUT_REG);
  if (!used(q) || util()->feeds_partition(q)) return false;
  const KEM_NETLIST* kem = util()->get_kem_netlist();
  const KEM_NODE* node = kem->get_kem_node_from_oterm(q);
  if (!node || sta_is_node_in_clock_network(node)) return false;
  if (const KEM_NETLIST_CELL* cell = kem->get_cell_from_atom_id(atom->get_id())) {
    bool clock_fed = false;
    for (int id : cell->keeper_range())
      if (const KEM_NODE* keeper = kem->get_node(id))
        for_each_keeper_fanin(kem, keeper, [&](const KEM_EDGE* e) {
          clock_fed = clock_fed || sta_is_node_in_clock_network(e->get_src_node());
        });
    if (clock_fed) return false;
  }
  for (const VOK_ATOM_ITERM* t : atom->citerms()) {
    if (!connected(t)) continue;
    const int type = t->get_port_type();
    if (type != IN_CLK && type != IN_ENA && type != IN_DATA && type != IN_SCLR) return false;
    if (type != IN_CLK && util()->is_fed_by_partition(t)) return false;
  }
  const VOK_ATOM_ITERM* clk = input(atom, IN_CLK);
  if (!connected(clk) || !connected(input(atom, IN_DATA))) return false;
  const int code = clk->get_connection_code();
  if (code == 0 || code == 1 || code == 3 || code == 4) return false;
  if (q->has_fanout_exactly(1, VOK_TRAVERSE_HIERARCHICAL)) {
    const VOK_ATOM_ITERM* load = q->get_only_fanout_or_die(VOK_TRAVERSE_HIERARCHICAL);
    if (load->get_my_node()->is_lutram() && load->get_any_usage_as() == 83) return false;
  }
  return !util()->is_timing_dont_touch(atom);
}

IRTM_FF* IRTM_MANAGER::get_lab_irtm_ff(const PLACE_DB::LOCATION& loc) {
  if (!(loc.index == -1 && loc.element == 0)) ie("loc.index == -1 && loc.elem == DEV_ELEMENT_INVALID", __LINE__);
  return find_irtm_ff(PLACE_DB::get_atom(loc));
}

IRTM_FF* IRTM_MANAGER::get_peer_irtm_ff(IRTM_FF* ff) {
  PLACE_DB::LOCATION loc;
  if (!util()->get_gid_location(gid_of(ff), &loc)) return nullptr;
  // Pipeline positions pair up within each group of six sub-positions.
  switch (loc.z % 6) {
    case 1:
    case 4: ++loc.z; break;
    case 2:
    case 5: --loc.z; break;
    default: ie("0", __LINE__);
  }
  return get_lab_irtm_ff(loc);
}

bool IRTM_MANAGER::get_carry_chain(VOK_ATOM_NODE* atom, std::list<VOK_ATOM_NODE*>* chain,
                                   VOK_ATOM_ITERM** lab_entry) {
  chain->clear();
  PLACE_DB::LOCATION first;
  if (!util()->is_retimable_arith(atom) || !util()->get_gid_location(atom->get_location_gid(), &first)) return false;
  // A carry loop would walk forever: a cell met twice ends the walk.
  std::unordered_set<const VOK_ATOM_NODE*> seen{atom};
  for (VOK_ATOM_ITERM* t = input(atom, IN_CARRY); t;) {
    VOK_ATOM_OTERM* s = t->get_source(VOK_TRAVERSE_AS_STORED);
    if (!s) break;
    VOK_ATOM_NODE* a = s->get_my_node();
    if (get_number_of_local_fanouts(s) != 1 || !util()->is_retimable_arith(a) || s != output(a, OUT_CARRY)) return false;
    PLACE_DB::LOCATION loc;
    if (!util()->get_gid_location(a->get_location_gid(), &loc) || !seen.insert(a).second) return false;
    if (lab_entry && (loc.x != first.x || loc.y != first.y)) {
      *lab_entry = t;
      break;
    }
    chain->push_front(a);
    t = input(a, IN_CARRY);
  }
  chain->push_back(atom);
  for (VOK_ATOM_OTERM* o = output(atom, OUT_CARRY); o;) {
    const int n = get_number_of_local_fanouts(o);
    if (n == 0) return true;
    if (n > 1) return false;
    VOK_ATOM_ITERM* f = o->get_first_fanout(VOK_TRAVERSE_AS_STORED);
    VOK_ATOM_NODE* a = f->get_my_node();
    if (!util()->is_retimable_arith(a) || f != input(a, IN_CARRY) || !seen.insert(a).second) return false;
    chain->push_back(a);
    o = output(a, OUT_CARRY);
  }
  return true;
}

RE_NODE* IRTM_MANAGER::create_carry_re_tree(VOK_ATOM_ITERM*) { return nullptr; }

void IRTM_MANAGER::get_dst_iterms(VOK_ATOM_OTERM* oterm, std::vector<VOK_ATOM_ITERM*>* out, bool through_zota) {
  for (VOK_ATOM_ITERM* t : oterm->fanout(VOK_TRAVERSE_AS_STORED)) {
    const VOK_ATOM_NODE* a = t->get_my_node();
    if (ZEL_ATOM_UTIL::is_zota_marked_reg(a) && t->get_port_type() == IN_DATA && through_zota &&
        !is_zota_lab_gid(a->get_location_gid())) {
      if (VOK_ATOM_OTERM* q = output(a, OUT_REG)) get_dst_iterms(q, out, true);
      continue;
    }
    out->push_back(t);
  }
}

// ---------------------------------------------------------------- routing-element paths

RE_NON_TERMINAL* IRTM_MANAGER::find_source_node(VOK_ATOM_OTERM* oterm) {
  for (RE_NODE* node : m_re_manager.get_nodes()) {
    if (!node->is_src()) ie("node->is_src()", __LINE__);
    if (non_terminal(node)->get_source() == oterm) return non_terminal(node);
  }
  return nullptr;
}

RE_NODE* IRTM_MANAGER::create_re_tree(VOK_ATOM_OTERM* oterm) {
  if (RE_NON_TERMINAL* found = find_source_node(oterm)) return found;
  std::vector<VOK_ATOM_ITERM*> loads;
  get_dst_iterms(oterm, &loads, false);
  RE_NON_TERMINAL* root = m_re_manager.create_source_node(oterm);
  for (VOK_ATOM_ITERM* load : loads)
    if (!create_re_path(oterm, load, true)) ie("node", __LINE__);
  return root;
}

RE_NODE* IRTM_MANAGER::create_re_tree(VOK_ATOM_ITERM* iterm) {
  VOK_ATOM_OTERM* s = iterm ? iterm->get_source(VOK_TRAVERSE_AS_STORED) : nullptr;
  if (!s) return nullptr;
  create_re_tree(s);
  return m_re_manager.find_node(iterm);
}

RE_NODE* IRTM_MANAGER::create_re_path(VOK_ATOM_OTERM* oterm, VOK_ATOM_ITERM* iterm, bool walk_past_lab_slot) {
  const KEM_NETLIST* kem = util()->get_kem_netlist();
  const int sink = kem->get_re_hop_of_iterm(iterm);
  const std::uint32_t src_loc = gid_of(oterm);
  const VOK_ATOM_NODE* load = iterm->get_my_node();
  const std::uint32_t dst_loc = load->get_location_gid();
  if (m_re_manager.find_node(iterm)) ie("!m_iterm_map.exists(iterm)", __LINE__);
  RE_LEAF* leaf = m_re_manager.create_leaf_node(iterm);
  RE_NODE* child = leaf;
  const int type = iterm->get_port_type();
  const bool secondary = load->is_ff() && (type == IN_SCLR || type == IN_ENA);
  bool walk = sink >= 0;
  if (is_zota_lab_gid(src_loc)) {
    // A LAB pipeline register drives only the secondary signals of its LAB.
    if (load->is_ff()) {
      if (!secondary) ie("0", __LINE__);
      if (static_cast<std::int32_t>(src_loc) != util()->get_lab_zota_gid(iterm))
        ie("oterm_re_gid == util()->get_lab_zota_gid(iterm)", __LINE__);
    }
    walk = false;
  } else if (walk && (secondary || (load->is_lutram() && (iterm->get_any_usage_as() == 6 ||
                                                          iterm->get_any_usage_as() == 42)))) {
    // The LAB slot in front of a secondary signal.
    const std::int32_t g = util()->get_lab_zota_gid(iterm);
    if (g == -1) ie("lab_zota_gid != DEV_ILLEGAL_GLOBAL_ID", __LINE__);
    if (RE_NODE* slot = m_re_manager.find_re_node(static_cast<unsigned>(g))) {
      if (!slot->is_slot()) ie("is_slot()", __LINE__);
      non_terminal(slot)->add_child(leaf);
      return leaf;
    }
    RE_NON_TERMINAL* slot = m_re_manager.create_node(static_cast<unsigned>(g), sink);
    slot->add_child(leaf);
    child = slot;
    walk = walk_past_lab_slot;
  }
  if (walk) {
    const DEV_DIE_INFO* d = die();
    const bool load_in_lab_slot = is_zota_lab_gid(dst_loc);
    int h = 0;
    for (int n = sink; n >= 0;) {
      const KEM_NETLIST::RE_HOP& hop = kem->get_re_hop(n);
      const std::uint32_t e = hop.gid;
      if (e == src_loc) break;
      if (h == 0 && e != dst_loc && !load_in_lab_slot) {
        n = hop.parent;  // below the load's own block
        continue;
      }
      if (e != dst_loc && ZEL_DEV_ZOTA_UTIL::is_zota_gid(d, e)) {
        if (RE_NODE* existing = m_re_manager.find_re_node(e)) {
          if (!existing->is_slot()) ie("is_slot()", __LINE__);
          non_terminal(existing)->add_child(child);
          child = existing;
          break;  // joined the tree built so far
        }
        RE_NON_TERMINAL* slot = m_re_manager.create_node(e, n);
        slot->add_child(child);
        child = slot;
      }
      ++h;
      n = hop.parent;
    }
  }
  if (child->get_parent()) return child;
  RE_NON_TERMINAL* root = find_source_node(oterm);
  if (!root || !root->is_src()) ie("is_src()", __LINE__);
  root->add_child(child);
  return child;
}

bool IRTM_MANAGER::create_secsig_re_path(VOK_ATOM_ITERM* iterm) {
  if (m_re_manager.find_node(iterm)) return false;
  VOK_ATOM_OTERM* s = iterm->get_source(VOK_TRAVERSE_HIERARCHICAL);
  if (!find_source_node(s)) m_re_manager.create_source_node(s);
  create_re_path(s, iterm, false);
  return true;
}

bool IRTM_MANAGER::create_secsig_re_tree(IRTM_FF* ff, IRTM_FF** partner) {
  *partner = nullptr;
  if (ff->is_bypassed() || !ff->has_secondary_signals()) return false;
  IRTM_FF* p = get_peer_irtm_ff(ff);
  if (p && !ff->compatible(p, true, true)) return false;
  // The secondary signals of a pair share their LAB slots.
  auto pair_path = [&](int type, const char* same_source) {
    VOK_ATOM_ITERM* t = ff->get_input(type, false);
    if (!create_secsig_re_path(t)) return false;
    if (!p) return true;
    VOK_ATOM_ITERM* t2 = p->get_input(type, false);
    if (!t2 || t2->get_source(VOK_TRAVERSE_HIERARCHICAL) != t->get_source(VOK_TRAVERSE_HIERARCHICAL))
      ie(same_source, __LINE__);
    if (!create_secsig_re_path(t2)) return false;
    if (m_re_manager.find_node(t)->get_parent() != m_re_manager.find_node(t2)->get_parent())
      ie("node1->get_parent() == node2->get_parent()", __LINE__);
    return true;
  };
  if (ff->get_input(IN_SCLR, false) && !pair_path(IN_SCLR, "ff2->get_sclr()->get_source() == sclr_src")) return false;
  if (ff->get_input(IN_ENA, false) && !pair_path(IN_ENA, "ff2->get_ce()->get_source() == ce_src")) return false;
  *partner = p;
  return true;
}

int IRTM_MANAGER::get_incr_node_delay(RE_NODE* slot) {
  if (!slot->is_slot()) ie("is_slot()", __LINE__);
  RE_NODE* parent = slot->get_parent();
  std::uint32_t from;
  if (parent && parent->is_src())
    from = gid_of(non_terminal(parent)->get_source());
  else if (parent && parent->is_slot())
    from = non_terminal(parent)->get_re_gid();
  else
    ie("parent->is_slot()", __LINE__);
  return util()->get_max_re_hop_delay(from, non_terminal(slot)->get_routing_element_id());
}

// ---------------------------------------------------------------- forward moves

bool IRTM_MANAGER::forward_retime(IRTM_FF* ff, IRTM_MOVE* move) {
  if (!ff->get_output(OUT_REG, false) || !ff->get_input(IN_DATA, false) || !ff->get_input(IN_CLK, false) ||
      ff->is_bypassed())
    return false;
  move->clear();
  m_re_manager.clear();
  if (!forward_retime_soln(ff, move) || modifies_timing_dont_touch(move) || drops_secondary_signals(*this, ff, move))
    return false;
  if (m_init_state && m_init_state->is_enabled() && !m_init_state->compute_state_int(move, false)) {
    msg_vdebug_impl(2, "Failed to compute inital condition");
    return false;
  }
  implement_retiming(ff, move);
  return true;
}

bool IRTM_MANAGER::forward_retime_soln(IRTM_FF* ff, IRTM_MOVE* move) {
  const VOK_ATOM_ITERM* clk = ff->get_input(IN_CLK, true);
  VOK_ATOM_OTERM* clk_src = clk ? clk->get_source(VOK_TRAVERSE_HIERARCHICAL) : nullptr;
  const bool inverted = clock_inverted(clk);
  RE_NODE* root = create_re_tree(ff->get_output(OUT_REG, true));
  const int leaves = root->get_num_leaf();
  const int children = root->get_num_children();
  const std::int32_t tco = ff->get_tco();
  bool cross_logic = false;
  if (leaves == 0) {
    if (!find_zota_slot_forward(root, clk_src, inverted, move, tco - m_tco_gb)) return false;
  } else if (children == 1) {
    if (!root->is_src()) ie("is_src()", __LINE__);
    RE_NODE* child = root->children().front();
    if (!child->is_leaf()) ie("child->is_leaf()", __LINE__);
    VOK_ATOM_ITERM* t = child->cast_to_leaf()->get_iterm();
    if (t->get_my_node()->is_ff()) {
      if (!forward_retime_to_bypassed_ff(ff, child, move)) {
        move->failure.set(IRTM_FAILURE::NO_SLOT, t);
        return false;
      }
    } else {
      cross_logic = true;
    }
  } else if (leaves == children) {
    cross_logic = true;
  } else {
    const std::int32_t budget = tco - m_tco_gb;
    if (!root->is_src()) ie("is_src()", __LINE__);
    for (RE_NODE* child : root->children()) {
      if (child->is_leaf()) {
        VOK_ATOM_ITERM* t = child->cast_to_leaf()->get_iterm();
        if (!t->get_my_node()->is_ff() || !forward_retime_to_bypassed_ff(ff, child, move)) {
          move->failure.set(IRTM_FAILURE::NO_SLOT, t);
          return false;
        }
      } else if (child->is_slot()) {
        if (!find_zota_slot_forward(child, clk_src, inverted, move, budget)) {
          move->failure.set(IRTM_FAILURE::INCOMPATIBLE_ZOTA, static_cast<const VOK_ATOM_ITERM*>(nullptr));
          return false;
        }
      } else {
        ie("child->is_slot()", __LINE__);
      }
    }
  }
  if (cross_logic) {
    std::vector<VOK_ATOM_OTERM*> new_outputs;
    std::vector<VOK_ATOM_ITERM*> side_loads;
    if (!forward_retime_check_fanout_xcomb(ff, &new_outputs, &side_loads, move)) return false;
    if (!side_loads.empty()) {
      move->failure.set(IRTM_FAILURE::BAD_FANOUT, static_cast<const VOK_ATOM_OTERM*>(nullptr));
      return false;
    }
    const std::int32_t budget = tco + util()->get_min_lut_input_delay() - m_tco_gb;
    for (VOK_ATOM_OTERM* o : new_outputs) {
      RE_NODE* tree = create_re_tree(o);
      if (!tree->is_src()) ie("is_src()", __LINE__);
      for (RE_NODE* child : tree->children()) {
        if (child->is_leaf()) {
          if (!forward_retime_to_bypassed_ff(ff, child, move)) {
            move->failure.set(IRTM_FAILURE::NO_SLOT, child->cast_to_leaf()->get_iterm());
            return false;
          }
        } else if (!find_zota_slot_forward(child, clk_src, inverted, move, budget)) {
          move->failure.set(IRTM_FAILURE::INCOMPATIBLE_ZOTA, static_cast<const VOK_ATOM_ITERM*>(nullptr));
          return false;
        }
      }
    }
  }
  move->m_bypassed.push_back(gid_of(ff));
  return true;
}

std::int32_t IRTM_MANAGER::get_slot_requirement(std::uint32_t gid) {
  if (gid == NO_GID) return IRTM_NO_SLACK;
  const WUMP_DIE_INFO* wump = die()->get_wump_die_info();
  int kind = -1;
  if (static_cast<std::int32_t>(gid) >= 0) {
    if (auto block = wump->get_place_info()->get_place_block(gid)) kind = block->get_element_enum();
  } else if (const WUMP_ROUTE_ELEMENT* e = wump->get_route_info()->get_element_by_gid(gid)) {
    kind = e->get_element_enum();
  }
  const int parameter = delay_parameter(kind, gid);
  if (parameter < 0) return IRTM_NO_SLACK;
  std::int32_t requirement = 0;
  for (const auto& model : util()->get_models()) {
    YEB_CELL_DELAY delay;
    model->get_cell_delay(parameter, 0, delay);
    requirement = std::max(requirement, IRTM_UTIL::yeb_max(delay));
  }
  return requirement;
}

bool IRTM_MANAGER::find_zota_slot_forward(RE_NODE* node, VOK_ATOM_OTERM* clk_src, bool clk_inverted, IRTM_MOVE* move,
                                          int budget) {
  std::int32_t acc = 0;
  bool take = false;
  if (node->is_slot()) {
    if (node->get_num_leaf() > 0) {
      take = true;  // loads hang below it: no delay test
    } else {
      acc = get_incr_node_delay(node);
      const std::uint32_t gid = non_terminal(node)->get_re_gid();
      const std::int32_t requirement = get_slot_requirement(gid);
      take = static_cast<std::int64_t>(acc) + budget > requirement;
      msg_vdebug_impl(2, "    slot (%u): delay %d budget %d requirement %d -- %s", gid, acc, budget, requirement,
                      take ? "covered" : "passed");
    }
  }
  if (take && can_populate_clock(node, clk_src, clk_inverted, false)) {
    if (!node->is_slot()) ie("is_slot()", __LINE__);
    move->m_slots.push_back(non_terminal(node)->get_re_gid());
    return true;
  }
  if (node->get_num_leaf() > 0) return false;
  if (node->get_num_children() <= 0) ie("node->get_num_children() > 0", __LINE__);
  for (RE_NODE* child : node->children()) {
    if (!child->is_slot()) ie("child->is_slot()", __LINE__);
    if (!find_zota_slot_forward(child, clk_src, clk_inverted, move, budget + acc)) return false;
  }
  return true;
}

bool IRTM_MANAGER::forward_retime_check_fanout_xcomb(IRTM_FF* crit_ff, std::vector<VOK_ATOM_OTERM*>* new_outputs,
                                                     std::vector<VOK_ATOM_ITERM*>* side_loads, IRTM_MOVE* move) {
  new_outputs->clear();
  VOK_ATOM_OTERM* q = crit_ff->get_output(OUT_REG, false);
  if (!q) {
    move->failure.set(IRTM_FAILURE::BAD_FANOUT, static_cast<const VOK_ATOM_OTERM*>(nullptr));
    return false;
  }
  // The logic the register drives: LUTs, or one carry chain. A cell on two
  // of its inputs is crossed once.
  std::unordered_set<const VOK_ATOM_NODE*> crossed;
  std::vector<VOK_ATOM_NODE*> work;
  bool comb = false, arith = false;
  for (VOK_ATOM_ITERM* t : q->fanout(VOK_TRAVERSE_AS_STORED)) {
    VOK_ATOM_NODE* a = t->get_my_node();
    if (util()->is_retimable_comb(a)) {
      comb = true;
    } else if (util()->is_retimable_arith(a)) {
      arith = true;
    } else {
      move->failure.set(IRTM_FAILURE::BAD_FANOUT, t);
      return false;
    }
    if (crossed.insert(a).second) work.push_back(a);
  }
  if (comb && arith) {
    move->failure.set(IRTM_FAILURE::BAD_FANOUT, q);
    return false;
  }
  if (arith) {
    // Only the chain is crossed: a load of the register outside it stays a
    // side load, so the register is never taken from it.
    std::list<VOK_ATOM_NODE*> chain;
    if (!get_carry_chain(work.front(), &chain, nullptr)) {
      move->failure.set(IRTM_FAILURE::BAD_FANOUT, q);
      return false;
    }
    work.assign(chain.begin(), chain.end());
    crossed.clear();
    crossed.insert(chain.begin(), chain.end());
  }
  bool found = false;
  std::unordered_set<const VOK_ATOM_OTERM*> visited;
  for (VOK_ATOM_NODE* a : work) {
    VOK_ATOM_OTERM* out = output(a, arith ? OUT_SUM : OUT_COMB);
    if (used(out)) new_outputs->push_back(out);
    move->m_atoms.push_back(a);
    for (VOK_ATOM_ITERM* t : a->iterms()) {
      if (arith && t->get_port_type() == IN_CARRY) continue;
      VOK_ATOM_OTERM* s = t->get_source(VOK_TRAVERSE_AS_STORED);
      if (!s || !visited.insert(s).second) continue;
      IRTM_FF* reg = create_irtm_ff(s->get_my_node());
      if (!reg) {
        move->failure.set(IRTM_FAILURE::NO_REGISTER, s);
        return false;
      }
      if (!crit_ff->compatible(reg, false, true)) {
        move->failure.set(IRTM_FAILURE::INCOMPATIBLE_REGISTER, s);
        return false;
      }
      if (s == q) {
        if (reg != crit_ff) ie("irtm_ff2 == crit_ff", __LINE__);
        found = true;
      } else {
        move->m_bypassed.push_back(gid_of(reg));
      }
      for (VOK_ATOM_ITERM* f : s->fanout(VOK_TRAVERSE_AS_STORED))
        if (!crossed.count(f->get_my_node())) side_loads->push_back(f);
    }
  }
  if (!found) ie("found", __LINE__);
  return true;
}

bool IRTM_MANAGER::forward_retime_to_bypassed_ff(IRTM_FF* ff, RE_NODE* leaf, IRTM_MOVE* move) {
  if (!leaf->is_leaf() || ff->has_secondary_signals()) return false;
  VOK_ATOM_ITERM* t = leaf->cast_to_leaf()->get_iterm();
  IRTM_FF* target = create_irtm_ff(t->get_my_node());
  if (!target || !ff->compatible(target, false, false) || t != target->get_input(IN_DATA, true) ||
      !target->is_bypassed())
    return false;
  if (target->has_secondary_signals()) {
    // Its clear and enable must come from LAB pipeline registers that feed
    // nothing else; those go with the move.
    for (int type : {IN_SCLR, IN_ENA}) {
      const VOK_ATOM_ITERM* in = target->get_input(type, false);
      if (!in) continue;
      VOK_ATOM_OTERM* s = in->get_source(VOK_TRAVERSE_HIERARCHICAL);
      if (!is_zota_lab_gid(gid_of(s)) || s->count_flatten_fanouts() != 1) return false;
      IRTM_FF* driver = create_irtm_ff(s->get_my_node());
      if (!driver || driver->get_output(OUT_REG, true) != s) return false;
      move->m_bypassed.push_back(gid_of(driver));
    }
  }
  move->m_enabled.push_back(gid_of(target));
  return true;
}

// ---------------------------------------------------------------- backward moves

bool IRTM_MANAGER::backward_retime(IRTM_FF* ff, IRTM_MOVE* move) {
  if (!ff->get_output(OUT_REG, false) || !ff->get_input(IN_DATA, false) || !ff->get_input(IN_CLK, false) ||
      ff->is_bypassed())
    return false;
  if (!backward_retime_search(ff, move) || modifies_timing_dont_touch(move) || drops_secondary_signals(*this, ff, move))
    return false;
  if (m_init_state && m_init_state->is_enabled() && !m_init_state->compute_state_int(move, true)) {
    msg_vdebug_impl(2, "Failed to compute inital condition");
    return false;
  }
  implement_retiming(ff, move);
  return true;
}

bool IRTM_MANAGER::backward_retime_search(IRTM_FF* ff, IRTM_MOVE* move) {
  move->clear();
  m_re_manager.clear();
  std::vector<RE_NODE*> leaves;
  RE_NODE* data_leaf = create_re_tree(ff->get_input(IN_DATA, false));
  RE_NODE* up = data_leaf ? data_leaf->get_parent() : nullptr;
  if (!up) return false;
  bool ok;
  if (up->is_slot()) {
    ok = backward_retime_append_ff1_fanin_re(ff, move, &leaves);
  } else if (up->is_src()) {
    VOK_ATOM_NODE* driver = non_terminal(up)->get_source()->get_my_node();
    if (util()->is_retimable_comb(driver))
      ok = backward_retime_append_lut0_fanin_re(ff, move, &leaves);
    else if (util()->is_retimable_arith(driver))
      ok = backward_retime_append_arith_fanin_re(ff, move, &leaves);
    else if (driver->is_ff())
      ok = backward_retime_to_bypassed_ff(ff, move) || backward_retime_append_qfbk_re(ff, move, &leaves);
    else
      return false;
  } else {
    ie("0", __LINE__);
  }
  return ok && backward_retime_soln(ff, leaves, move);
}

bool IRTM_MANAGER::backward_retime_soln(IRTM_FF* ff, const std::vector<RE_NODE*>& leaves, IRTM_MOVE* move) {
  const VOK_ATOM_ITERM* clk = ff->get_input(IN_CLK, true);
  VOK_ATOM_OTERM* clk_src = clk ? clk->get_source(VOK_TRAVERSE_HIERARCHICAL) : nullptr;
  const bool inverted = clock_inverted(clk);
  for (RE_NODE* node : leaves) {
    if (!node->is_leaf()) ie("is_leaf()", __LINE__);
    if (!node->cast_to_leaf()->feeds_retiming_ff) ie("node->cast_to_leaf()->feeds_retiming_ff()", __LINE__);
    if (node->cast_to_leaf()->is_retimed) continue;
    RE_NODE* n = find_zota_slot_backward(ff, node, clk_src, inverted, move);
    if (!n) return false;
    if (!n->is_slot() && !n->is_src()) ie("is_slot() || is_src()", __LINE__);
    const std::vector<VOK_ATOM_ITERM*> below = iterms_below(n);
    // A place above one chosen before would register those loads twice.
    for (VOK_ATOM_ITERM* t : below) {
      RE_NODE* other = m_re_manager.find_node(t);
      if (!other || !other->is_leaf()) ie("is_leaf()", __LINE__);
      if (other->cast_to_leaf()->is_retimed) return false;
    }
    bool found = false;
    for (VOK_ATOM_ITERM* t : below) {
      RE_LEAF* other = m_re_manager.find_node(t)->cast_to_leaf();
      other->is_retimed = true;
      found = found || other == node;
    }
    if (!found) ie("found", __LINE__);
    if (n->is_slot())
      move->m_slots.push_back(non_terminal(n)->get_re_gid());
    else
      move->m_enabled.push_back(gid_of(non_terminal(n)->get_source()));
  }
  return true;
}

RE_NODE* IRTM_MANAGER::find_zota_slot_backward(IRTM_FF* ff, RE_NODE* leaf, VOK_ATOM_OTERM* clk_src, bool clk_inverted,
                                               IRTM_MOVE* move) {
  if (!leaf->is_leaf()) ie("leaf_node->is_leaf()", __LINE__);
  RE_NODE* n = leaf->get_parent();
  if (n->is_src()) {
    VOK_ATOM_OTERM* s = non_terminal(n)->get_source();
    IRTM_FF* reg = create_irtm_ff(s->get_my_node());
    if (!reg) return nullptr;
    if (!reg->is_bypassed()) {
      move->failure.set(IRTM_FAILURE::NO_SLOT, s);
      return nullptr;
    }
    if (!ff->compatible(reg, false, false)) {
      move->failure.set(IRTM_FAILURE::INCOMPATIBLE_REGISTER, s);
      return nullptr;
    }
    return backward_retime_check_re_fanout(ff, n, move) ? n : nullptr;
  }
  for (; n && n->is_slot(); n = n->get_parent()) {
    if (can_populate_clock(n, clk_src, clk_inverted, false)) return backward_retime_check_re_fanout(ff, n, move) ? n : nullptr;
    msg_vdebug_impl(2, "    slot (%u) cannot take the clock: walking up", non_terminal(n)->get_re_gid());
  }
  return nullptr;
}

bool IRTM_MANAGER::backward_retime_check_re_fanout(IRTM_FF* ff, RE_NODE* node, IRTM_MOVE* move) {
  if (!node->is_slot() && !node->is_src()) ie("is_slot() || is_src()", __LINE__);
  for (VOK_ATOM_ITERM* t : iterms_below(node)) {
    RE_NODE* leaf = m_re_manager.find_node(t);
    if (!leaf || !leaf->is_leaf()) ie("is_leaf()", __LINE__);
    if (!leaf->cast_to_leaf()->feeds_retiming_ff && !backward_retime_check_fanout_iterm(ff, t, move, true)) return false;
  }
  return true;
}

bool IRTM_MANAGER::backward_retime_check_fanout_iterm(IRTM_FF* ff, VOK_ATOM_ITERM* iterm, IRTM_MOVE* move,
                                                      bool no_secondary) {
  IRTM_FF* reg = create_irtm_ff(iterm->get_my_node());
  if (!reg || iterm != reg->get_input(IN_DATA, true)) {
    move->failure.set(IRTM_FAILURE::NO_REGISTER, iterm);
    return false;
  }
  if (reg == ff) return true;
  if (ff->compatible(reg, false, true)) {
    if (no_secondary && reg->has_secondary_signals()) {
      move->failure.set(IRTM_FAILURE::INCOMPATIBLE_REGISTER, iterm);
      return false;
    }
    if (is_retimable_ff(reg->get_atom())) {
      move->m_bypassed.push_back(gid_of(reg));
      return true;
    }
  }
  move->failure.set(IRTM_FAILURE::INCOMPATIBLE_REGISTER, iterm);
  return false;
}

bool IRTM_MANAGER::backward_retime_check_oterm_fanout(IRTM_FF* ff, VOK_ATOM_OTERM* oterm, IRTM_MOVE* move,
                                                      bool no_secondary) {
  for (VOK_ATOM_ITERM* t : oterm->fanout(VOK_TRAVERSE_AS_STORED))
    if (!backward_retime_check_fanout_iterm(ff, t, move, no_secondary)) return false;
  return true;
}

bool IRTM_MANAGER::backward_retime_append_iterm_re(VOK_ATOM_ITERM* iterm, std::vector<RE_NODE*>* leaves) {
  RE_NODE* node = iterm ? m_re_manager.find_node(iterm) : nullptr;
  if (!node) return false;
  if (!node->is_leaf()) ie("is_leaf()", __LINE__);
  RE_LEAF* leaf = node->cast_to_leaf();
  if (leaf->feeds_retiming_ff) return true;
  leaf->feeds_retiming_ff = true;
  leaves->push_back(leaf);
  return true;
}

bool IRTM_MANAGER::backward_retime_append_secsig_iterm_re(IRTM_FF* ff, std::vector<RE_NODE*>* leaves) {
  if (VOK_ATOM_ITERM* sclr = ff->get_input(IN_SCLR, false))
    if (!backward_retime_append_iterm_re(sclr, leaves)) return false;
  if (VOK_ATOM_ITERM* ce = ff->get_input(IN_ENA, false)) return backward_retime_append_iterm_re(ce, leaves);
  return true;
}

bool IRTM_MANAGER::backward_retime_append_secsig_fanin_re(IRTM_FF* ff, bool allow_partner, IRTM_MOVE* move,
                                                          std::vector<RE_NODE*>* leaves) {
  if (!ff->get_input(IN_ENA, false) && !ff->get_input(IN_SCLR, false)) return true;
  IRTM_FF* partner = nullptr;
  const auto refuse = [&] {
    move->failure.set(IRTM_FAILURE::SECSIG_LEGALITY, static_cast<const VOK_ATOM_ITERM*>(nullptr));
    return false;
  };
  if (!create_secsig_re_tree(ff, &partner)) return refuse();
  if (partner) {
    if (!allow_partner) return refuse();
    VOK_ATOM_ITERM* d = partner->get_input(IN_DATA, true);
    RE_NODE* leaf = create_re_tree(d);
    if (!leaf || !leaf->get_parent() || !leaf->get_parent()->is_slot()) return refuse();
    if (!backward_retime_append_iterm_re(d, leaves) || !backward_retime_append_secsig_iterm_re(partner, leaves))
      return false;
    move->m_bypassed.push_back(gid_of(partner));
  }
  return backward_retime_append_secsig_iterm_re(ff, leaves);
}

bool IRTM_MANAGER::backward_retime_append_ff1_fanin_re(IRTM_FF* ff, IRTM_MOVE* move, std::vector<RE_NODE*>* leaves) {
  VOK_ATOM_ITERM* d = ff->get_input(IN_DATA, false);
  RE_NODE* leaf = m_re_manager.find_node(d);
  RE_NODE* up = leaf ? leaf->get_parent() : nullptr;
  if (!up || !up->is_slot()) return false;
  backward_retime_append_iterm_re(d, leaves);
  bool two;
  VOK_ATOM_NODE* lut = single_comb_below(up, d, nullptr, &two);
  if (two) return false;
  if (lut) {
    move->m_atoms.push_back(lut);
    if (!backward_retime_append_lut3_fanin_re(ff, lut, move, leaves)) return false;
  }
  if (!backward_retime_append_secsig_fanin_re(ff, lut == nullptr, move, leaves)) return false;
  move->m_bypassed.push_back(gid_of(ff));
  return true;
}

bool IRTM_MANAGER::backward_retime_append_lut0_fanin_re(IRTM_FF* ff, IRTM_MOVE* move, std::vector<RE_NODE*>* leaves) {
  RE_NODE* leaf = m_re_manager.find_node(ff->get_input(IN_DATA, false));
  RE_NODE* up = leaf ? leaf->get_parent() : nullptr;
  if (!up || !up->is_src()) return false;
  VOK_ATOM_NODE* lut0 = non_terminal(up)->get_source()->get_my_node();
  if (!util()->is_retimable_comb(lut0)) return false;
  move->m_atoms.push_back(lut0);
  if (!backward_retime_check_re_fanout(ff, up, move)) return false;
  std::vector<VOK_ATOM_ITERM*> inputs;
  for (VOK_ATOM_ITERM* t : lut0->iterms()) {
    if (!t->get_source(VOK_TRAVERSE_AS_STORED)) continue;
    create_re_tree(t);
    if (!backward_retime_append_iterm_re(t, leaves)) return false;
    inputs.push_back(t);
  }
  // A second LUT fed from the same places is crossed with its register. The
  // first LUT itself (two inputs on one net) is no second LUT.
  VOK_ATOM_NODE* lut2 = nullptr;
  for (VOK_ATOM_ITERM* t : inputs) {
    RE_NODE* p = m_re_manager.find_node(t)->get_parent();
    if (!p || (!p->is_slot() && !p->is_src())) ie("is_slot() || is_src()", __LINE__);
    bool two;
    VOK_ATOM_NODE* other = single_comb_below(p, t, lut0, &two);
    if (two || (other && lut2 && other != lut2)) return false;
    if (other) lut2 = other;
  }
  if (lut2) {
    if (!backward_retime_append_lut3_fanin_re(ff, lut2, move, leaves)) return false;
    move->m_atoms.push_back(lut2);
  }
  if (!backward_retime_append_secsig_fanin_re(ff, false, move, leaves)) return false;
  move->m_bypassed.push_back(gid_of(ff));
  return true;
}

bool IRTM_MANAGER::backward_retime_append_lut3_fanin_re(IRTM_FF* ff, VOK_ATOM_NODE* lut, IRTM_MOVE* move,
                                                        std::vector<RE_NODE*>* leaves) {
  VOK_ATOM_OTERM* out = output(lut, OUT_COMB);
  if (!out) return false;
  RE_NODE* tree = create_re_tree(out);
  if (tree->get_num_leaf() != 1) return false;
  if (!tree->is_src()) ie("is_src()", __LINE__);
  RE_NODE* leaf = *std::find_if(tree->children().begin(), tree->children().end(), [](RE_NODE* c) { return c->is_leaf(); });
  VOK_ATOM_ITERM* t = leaf->cast_to_leaf()->get_iterm();
  IRTM_FF* reg = create_irtm_ff(t->get_my_node());
  if (!reg) {
    move->failure.set(IRTM_FAILURE::NO_REGISTER, t);
    return false;
  }
  if (t != reg->get_input(IN_DATA, true) || !ff->compatible(reg, false, true)) {
    move->failure.set(IRTM_FAILURE::INCOMPATIBLE_REGISTER, t);
    return false;
  }
  if (!backward_retime_check_re_fanout(reg, tree, move)) return false;
  for (VOK_ATOM_ITERM* in : lut->iterms()) {
    if (!in->get_source(VOK_TRAVERSE_AS_STORED)) continue;
    create_re_tree(in);
    if (!backward_retime_append_iterm_re(in, leaves)) return false;
  }
  if (!backward_retime_append_secsig_fanin_re(reg, false, move, leaves)) return false;
  move->m_bypassed.push_back(gid_of(reg));
  return true;
}

bool IRTM_MANAGER::backward_retime_append_arith_fanin_re(IRTM_FF* ff, IRTM_MOVE* move, std::vector<RE_NODE*>* leaves) {
  VOK_ATOM_NODE* driver = ff->get_input(IN_DATA, false)->get_source(VOK_TRAVERSE_AS_STORED)->get_my_node();
  std::list<VOK_ATOM_NODE*> chain;
  if (!get_carry_chain(driver, &chain, nullptr)) return false;
  if (move->num_bypassed_ff() != 0) ie("yun->num_bypassed_ff() == 0", __LINE__);
  for (VOK_ATOM_NODE* a : chain) {
    VOK_ATOM_OTERM* sum = output(a, OUT_SUM);
    if (used(sum) && !backward_retime_check_oterm_fanout(ff, sum, move, get_number_of_local_fanouts(sum) >= 2))
      return false;
    move->m_atoms.push_back(a);
    for (VOK_ATOM_ITERM* t : a->iterms()) {
      if (t->get_port_type() == IN_CARRY || !t->get_source(VOK_TRAVERSE_AS_STORED)) continue;
      create_re_tree(t);
      if (!backward_retime_append_iterm_re(t, leaves)) return false;
    }
  }
  move->m_bypassed.push_back(gid_of(ff));
  // The registers taken along need their secondary signals registered too;
  // a partner pair cannot go along.
  const std::vector<std::uint32_t> bypassed = move->m_bypassed;
  for (std::uint32_t gid : bypassed) {
    IRTM_FF* reg = get_irtm_ff(gid);
    if (!reg || !reg->has_secondary_signals()) continue;
    IRTM_FF* partner = nullptr;
    if (!create_secsig_re_tree(reg, &partner) || partner || !backward_retime_append_secsig_iterm_re(reg, leaves))
      return false;
  }
  return true;
}

bool IRTM_MANAGER::backward_retime_append_qfbk_re(IRTM_FF* ff, IRTM_MOVE* move, std::vector<RE_NODE*>* leaves) {
  if (ZEL_ATOM_UTIL::is_zota_marked_reg(ff->get_atom())) return false;
  VOK_ATOM_OTERM* s = ff->get_input(IN_DATA, false)->get_source(VOK_TRAVERSE_AS_STORED);
  if (!s->get_my_node()->is_ff() || !s->has_fanout_exactly(1, VOK_TRAVERSE_HIERARCHICAL)) return false;
  IRTM_FF* reg = create_irtm_ff(s->get_my_node());
  if (!reg || !ff->compatible(reg, true, true) || get_peer_irtm_ff(ff) != reg) return false;
  VOK_ATOM_ITERM* reg_data = reg->get_input(IN_DATA, true);
  RE_NODE* leaf = create_re_tree(reg_data);
  if (!leaf || !leaf->get_parent() || !leaf->get_parent()->is_slot()) return false;
  backward_retime_append_iterm_re(reg_data, leaves);
  IRTM_FF* partner = nullptr;
  if (!create_secsig_re_tree(ff, &partner) || partner != reg) return false;
  if (!backward_retime_append_secsig_iterm_re(reg, leaves) || !backward_retime_append_secsig_iterm_re(ff, leaves))
    return false;
  if (move->m_qfbk_gid != NO_GID) ie("m_qfbk_gid == DEV_ILLEGAL_GLOBAL_ID", __LINE__);
  move->m_qfbk_gid = gid_of(reg);
  move->m_bypassed.push_back(gid_of(ff));
  return true;
}

bool IRTM_MANAGER::backward_retime_to_bypassed_ff(IRTM_FF* ff, IRTM_MOVE* move) {
  VOK_ATOM_OTERM* s = ff->get_input(IN_DATA, false)->get_source(VOK_TRAVERSE_AS_STORED);
  if (!s || !s->get_my_node()->is_ff()) return false;
  IRTM_FF* reg = create_irtm_ff(s->get_my_node());
  if (!reg || !reg->is_bypassed() || !ff->compatible(reg, false, false)) return false;
  // Side-load registers of a refused attempt must not ride along with the
  // partner-pair move tried next.
  const std::size_t taken = move->m_bypassed.size();
  if (!backward_retime_check_oterm_fanout(ff, s, move, true)) {
    move->m_bypassed.resize(taken);
    return false;
  }
  move->m_bypassed.push_back(gid_of(ff));
  move->m_enabled.push_back(gid_of(reg));
  return true;
}
