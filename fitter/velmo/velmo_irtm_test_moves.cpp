// Carrying out retiming moves: the edits of a move through the legality
// engine, the judgement of its timing, roll-back and commit, and the repair
// work a rejected or failed move leaves in the iteration's queue.
#include <algorithm>
#include <string>
#include <vector>

#include "dux/dux.h"
#include "kem/kem_netlist.h"
#include "msg/msg_internal_error.h"
#include "norbo/norbo_zota_clock.h"
#include "omz/omz_instance_name.h"
#include "place_db/place_db.h"
#include "sta/sta_analysis.h"
#include "cfg/cfg.h"
#include "velmo_debug.h"
#include "velmo_dux_status.h"
#include "velmo_irtm_test.h"
#include "vok/vok_atom_netlist.h"
#include "vok/vok_re_logical_port.h"
#include "zel/zel_atom_util.h"
#include "zel/zel_dev_zota_util.h"
#include "zel/zel_lcell_util.h"

namespace {

[[noreturn]] void ie(const char* condition, int line) {
  MSG_INTERNAL_ERROR::report(condition, "VELMO", "velmo_irtm_test_moves", line);
}

IRTM_UTIL* util() { return IRTM_UTIL::s_instance; }

bool is_zota_gid(std::uint32_t gid) {
  return ZEL_DEV_ZOTA_UTIL::is_zota_gid(util() ? util()->get_die_info() : nullptr, gid);
}

std::string gid_text(std::uint32_t gid) { return util() ? util()->get_gid_string(gid) : std::string(); }

// The two connect flags a load is re-attached with: its own inversion, and
// the mode whenever its connection code is none of 0, 1, 3 and 4.
struct CONNECT_FLAGS {
  bool inverted;
  bool mode;
};
CONNECT_FLAGS connect_flags(const VOK_ATOM_ITERM* t) {
  const int code = t->get_connection_code();
  return {t->is_inverted(), code != 0 && code != 1 && code != 3 && code != 4};
}

VOK_ATOM_OTERM* local_driver(const VOK_ATOM_ITERM* t) { return t ? t->get_source(VOK_TRAVERSE_AS_STORED) : nullptr; }

// A hierarchy boundary: a box, or a port atom of a box's child netlist. A
// port atom of the top netlist is a design input and a clock's own source.
bool is_hierarchical(const VOK_ATOM_NODE* atom) {
  if (!atom) return false;
  if (atom->get_basic_type() == 3) return true;
  const VOK_ATOM_NETLIST* n = atom->get_parent_netlist();
  return atom->get_basic_type() == 284 && n && n->get_parent_box();
}

// The smaller of two slacks where NO_SLACK takes part as a number.
bool below(std::int32_t a, std::int32_t b) { return a < b; }

std::uint32_t bit_of(std::uint32_t type) { return 1u << type; }

}  // namespace

// ---------------------------------------------------------------- implementation

int IRTM_MANAGER::connect_iterm(VOK_ATOM_OTERM* src, VOK_ATOM_ITERM* dst, bool inverted, bool mode) {
  const VOK_ATOM_LOGICAL_PORT to = vok_get_logical_port(dst);
  if (dst->get_source(VOK_TRAVERSE_HIERARCHICAL)) m_dux->disconnect(dst, false);
  m_dux->connect(vok_get_logical_port(src), to, inverted, mode);
  return 1;
}

int IRTM_MANAGER::disconnect_iterm(VOK_ATOM_ITERM* t) {
  if (t && t->get_source(VOK_TRAVERSE_HIERARCHICAL)) m_dux->disconnect(t, false);
  return 1;
}

void IRTM_MANAGER::enable_ff(VOK_ATOM_NODE* atom) {
  if (ZEL_ATOM_UTIL::is_zota_marked_reg(atom)) ie("!ZEL_ATOM_UTIL::is_zota_marked_reg(atom)", __LINE__);
  if (!ZEL_ZOTA_UTIL::is_ff_bypassed(atom)) ie("ZEL_ZOTA_UTIL::is_ff_bypassed(atom)", __LINE__);
  m_dux->set_atom_parameter(atom, 5, false);
}

void IRTM_MANAGER::bypass_ff(VOK_ATOM_NODE* atom) {
  if (ZEL_ATOM_UTIL::is_zota_marked_reg(atom)) {
    bypass_zota_ff(atom);
    return;
  }
  if (ZEL_ZOTA_UTIL::is_ff_bypassed(atom)) ie("!ZEL_ZOTA_UTIL::is_ff_bypassed(atom)", __LINE__);
  m_dux->set_atom_parameter(atom, 5, true);
  if (IRTM_FF* ff = create_irtm_ff(atom)) {
    ff->m_move_type = IRTM_MOVE::None;
    ff->m_hold = 0;
  }
}

void IRTM_MANAGER::bypass_zota_ff(VOK_ATOM_NODE* atom) {
  if (!ZEL_ATOM_UTIL::is_zota_marked_reg(atom)) ie("ZEL_ATOM_UTIL::is_zota_marked_reg(atom)", __LINE__);
  create_irtm_ff(atom);
  const std::uint32_t gid = atom->get_location_gid();
  VOK_ATOM_OTERM* data = local_driver(atom->get_input_term_by_type(DB_INPUT_PORT_DATA_IN, 0));
  std::vector<VOK_ATOM_ITERM*> loads;
  if (VOK_ATOM_OTERM* q = atom->get_output_term_by_type(DB_OUTPUT_PORT_REG, 0))
    for (VOK_ATOM_ITERM* t : q->fanout(VOK_TRAVERSE_AS_STORED)) loads.push_back(t);
  for (VOK_ATOM_ITERM* t : loads) {
    const CONNECT_FLAGS f = connect_flags(t);
    connect_iterm(data, t, f.inverted, f.mode);
  }
  erase_irtm_ff(gid);
  m_dux->delete_atom(atom);
}

VOK_ATOM_OTERM* IRTM_MANAGER::create_zota(VOK_ATOM_NODE* like, VOK_ATOM_OTERM* data_src, bool data_inverted,
                                          VOK_ATOM_OTERM* clk, bool clk_inverted, bool clk_mode, std::uint32_t gid,
                                          VOK_ATOM_NETLIST* netlist) {
  OMZ_INSTANCE_NAME base(like->get_string_hpath());
  OMZ_INSTANCE_NAME origin("");
  if (base.get_synthesized_from(&origin)) base = origin;
  const OMZ_INSTANCE_NAME name = OMZ_INSTANCE_NAME::create_synthesized_name(base, gid_text(gid), false, true, false);
  VOK_ATOM_NODE* atom = m_dux->create_atom(47, vok_output_port_symbol(DB_OUTPUT_PORT_REG), name.path(), netlist, 401);
  m_dux->set_location(atom, gid);
  VOK_ATOM_ITERM* clock_in = atom->add_input_term(DB_INPUT_PORT_CLK, 0);
  VOK_ATOM_ITERM* data_in = atom->add_input_term(DB_INPUT_PORT_DATA_IN, 0);
  if (get_irtm_ff(gid) && get_irtm_ff(gid)->get_atom() != atom) ie("!get_irtm_ff(re_gid)", __LINE__);
  create_irtm_ff(atom);
  connect_iterm(data_src, data_in, data_inverted, false);
  connect_iterm(clk, clock_in, clk_inverted, clk_mode);
  populate_clock(gid, clk, clk_inverted);
  if (m_verbose)
    msg_vdebug_impl(2, "    Created ZOTA atom %d at (%u) %s -- %s", atom->get_id(), gid, gid_text(gid).c_str(),
                    atom->get_string_hpath().c_str());
  return atom->get_output_term_by_type(DB_OUTPUT_PORT_REG, 0);
}

void IRTM_MANAGER::populate_clock(std::uint32_t gid, VOK_ATOM_OTERM* clk, bool inverted) {
  VOK_ATOM_OTERM* driver = clk;
  if (VOK_ATOM_ITERM* eq = vok_hier_get_equivalent_iterm(clk)) driver = eq->get_source(VOK_TRAVERSE_HIERARCHICAL);
  if (!driver || is_hierarchical(driver->get_my_node())) ie("!::vok_is_hierarchical(clk_oterm->get_my_node())", __LINE__);
  NORBO_ZOTA_MANAGER::place(m_dux->get_zota_legality(), gid, driver, inverted, true);
}

bool IRTM_MANAGER::can_populate_clock(RE_NODE* slot, VOK_ATOM_OTERM* clk, bool inverted, bool verbose) {
  if (!slot || !slot->is_slot()) ie("is_slot()", __LINE__);
  const std::uint32_t gid = static_cast<RE_NON_TERMINAL*>(slot)->get_re_gid();
  if (!clk || is_hierarchical(clk->get_my_node())) ie("!::vok_is_hierarchical(clk_oterm->get_my_node())", __LINE__);
  int type = 0;
  const bool ok = NORBO_ZOTA_MANAGER::can_place(m_dux->get_zota_legality(), gid, clk, inverted, true, &type);
  if (!ok && verbose)
    msg_vdebug_impl(2, "    clock legalization failed for ZOTA %s -- (%d) %s", gid_text(gid).c_str(), type,
                    NORBO_ZOTA_CONFLICT::describe_conflict_type(type).c_str());
  return ok;
}

bool IRTM_MANAGER::can_populate_clock(std::vector<RE_NODE*>* slots, VOK_ATOM_OTERM* clk, bool inverted, bool verbose) {
  for (RE_NODE* slot : *slots)
    if (!can_populate_clock(slot, clk, inverted, verbose)) return false;
  return true;
}

bool IRTM_MANAGER::place_atom_at_xy(VOK_ATOM_NODE* atom, std::uint32_t x, std::uint32_t y, int rings) {
  auto try_at = [&](std::uint32_t cx, std::uint32_t cy) {
    unsigned hint = 0;
    const unsigned gid =
        m_dux->find_location_at_xy(atom, {static_cast<int>(cx), static_cast<int>(cy)}, hint);
    if (gid == 0xFFFFFFFFu) return false;
    m_dux->set_location(atom, gid);
    msg_vdebug_impl(2, "Assigned location %s to (%d) %s", gid_text(gid).c_str(), atom->get_id(),
                    atom->get_string_hpath().c_str());
    return true;
  };
  for (int r = 0; r < rings; ++r) {
    std::vector<std::pair<std::uint32_t, std::uint32_t>> ring;
    const std::uint32_t u = static_cast<std::uint32_t>(r);
    if (r == 0) {
      ring.emplace_back(x, y);
    } else {
      ring = {{x + u, y}, {x + u, y + u}, {x, y + u}, {x - u, y + u}, {x - u, y}, {x - u, y - u}, {x, y - u}, {x + u, y - u}};
      for (std::uint32_t d = 1; d < u; ++d) {
        ring.emplace_back(x + u, y + d);
        ring.emplace_back(x + u, y - d);
        ring.emplace_back(x - d, y + u);
        ring.emplace_back(x + d, y + u);
        ring.emplace_back(x - u, y + d);
        ring.emplace_back(x - u, y - d);
        ring.emplace_back(x - d, y - u);
        ring.emplace_back(x + d, y - u);
      }
    }
    for (const auto& [cx, cy] : ring)
      if (try_at(cx, cy)) return true;
  }
  return false;
}

bool IRTM_MANAGER::place_wirelut(VOK_ATOM_NODE* atom) {
  const VOK_ATOM_ITERM* in = atom->get_input_term_by_type(static_cast<DB_INPUT_PORT_TYPE>(12), 0);
  const VOK_ATOM_OTERM* src = in ? in->get_source(VOK_TRAVERSE_HIERARCHICAL) : nullptr;
  const auto xy = PLACE_DB::get_base_xy_from_atom(src ? src->get_my_node() : nullptr);
  return place_atom_at_xy(atom, static_cast<std::uint32_t>(xy.first), static_cast<std::uint32_t>(xy.second), 2);
}

bool IRTM_MANAGER::insert_wirelut(IRTM_IPIN* pin, IRTM_MOVE* move) {
  VOK_ATOM_ITERM* t = pin->get_iterm();
  if (!t || !t->get_my_node()->is_modifiable()) return false;
  VOK_ATOM_OTERM* s = local_driver(t);
  const VOK_ATOM_LOGICAL_PORT load = vok_get_logical_port(t);
  // The load keeps the way it reads its net (an active-low enable or clear, a
  // falling clock): the buffer LUT passes the net through plain.
  const CONNECT_FLAGS f = connect_flags(t);
  VOK_ATOM_NODE* lut = m_dux->create_atom(247, vok_output_port_symbol(DB_OUTPUT_PORT_COMB), "irtm", t->get_my_node(), 1);
  VOK_ATOM_ITERM* lut_in = lut->add_input_term(static_cast<DB_INPUT_PORT_TYPE>(12), 0);
  // A buffer of input 0 under the complemented index.
  ZEL_LCELL_UTIL::set_sum_lutmask(lut, ~VOK_LUTMASK::imask(6, 0), false);
  m_dux->disconnect(t, true);
  m_dux->connect(vok_get_logical_port(s), vok_get_logical_port(lut_in), false, false);
  m_dux->connect(vok_get_logical_port(lut->get_output_term_by_type(DB_OUTPUT_PORT_COMB, 0)), load, f.inverted, f.mode);
  move->m_atoms.push_back(lut);
  move->m_rerouted.push_back(load);
  return true;
}

bool IRTM_MANAGER::reroute_load(IRTM_IPIN* pin, IRTM_MOVE* move) {
  VOK_ATOM_ITERM* t = pin->get_iterm();
  if (!t) return true;
  move->m_rerouted.push_back(vok_get_logical_port(t));
  m_dux->reroute(t);
  return true;
}

void IRTM_MANAGER::implement_retiming(IRTM_FF* ff, IRTM_MOVE* move) {
  VOK_ATOM_NODE* reg = ff->get_atom();
  const VOK_ATOM_ITERM* clk_in = reg->get_input_term_by_type(DB_INPUT_PORT_CLK, 0);
  if (clk_in && !clk_in->is_connected()) clk_in = nullptr;
  VOK_ATOM_OTERM* clk = local_driver(clk_in);
  const CONNECT_FLAGS cf = clk_in ? connect_flags(clk_in) : CONNECT_FLAGS{false, false};
  VOK_ATOM_NETLIST* netlist = reg->get_parent_netlist();
  msg_vdebug_impl(2, "    creating %d ZOTA atoms", static_cast<int>(move->m_slots.size()));
  std::vector<VOK_ATOM_ITERM*> loads;
  for (std::uint32_t gid : move->m_slots) {
    RE_NODE* node = m_re_manager.find_re_node(gid);
    if (!node || !node->is_slot()) ie("is_slot()", __LINE__);
    loads.clear();
    static_cast<RE_NON_TERMINAL*>(node)->get_iterms(&loads);
    VOK_ATOM_OTERM* src = loads.empty() ? nullptr : local_driver(loads.front());
    VOK_ATOM_OTERM* q = create_zota(reg, src, false, clk, cf.inverted, cf.mode, gid, netlist);
    for (VOK_ATOM_ITERM* load : loads) {
      if (local_driver(load) != src) ie("iterm->get_source(VOK_TRAVERSE::LOCAL) == src_oterm", __LINE__);
      const CONNECT_FLAGS f = connect_flags(load);
      connect_iterm(q, load, f.inverted, f.mode);
    }
    if (!move->m_gid_to_id.insert(gid, q->get_my_node()->get_id()).second) ie("iter.second", __LINE__);
  }
  if (m_init_state && m_init_state->is_enabled()) {
    auto power_up = [&](std::uint32_t gid) {
      if (!is_zota_gid(gid)) return;
      VOK_ATOM_NODE* atom = PLACE_DB::get_atom(gid);
      const VOK_ATOM_OTERM* d = atom ? local_driver(atom->get_input_term_by_type(DB_INPUT_PORT_DATA_IN, 0)) : nullptr;
      INITIAL_STATE_MANAGER::INIT_VAL v;
      if (!m_init_state->get_value(d, &v)) ie("m_init_state->get_value(oterm, &val)", __LINE__);
      if (!atom || !atom->is_ff()) ie("atom->is_ff()", __LINE__);
      m_dux->set_atom_parameter(atom, 240, v == INITIAL_STATE_MANAGER::ANY);
      if (v != INITIAL_STATE_MANAGER::ANY) {
        msg_vdebug_impl(2, "Setting powerup : %d -- %s", static_cast<int>(v), atom->get_string_hpath().c_str());
        m_dux->set_powers_up(atom, v == INITIAL_STATE_MANAGER::ONE);
      }
    };
    for (std::uint32_t gid : move->m_slots) power_up(gid);
    for (std::uint32_t gid : move->m_enabled) power_up(gid);
  }
  for (std::uint32_t gid : move->m_bypassed) {
    IRTM_FF* r = get_irtm_ff(gid);
    if (!r || r->is_bypassed()) ie("!ff->is_bypassed()", __LINE__);
    bypass_ff(r->get_atom());
  }
  for (std::uint32_t gid : move->m_enabled) {
    IRTM_FF* r = get_irtm_ff(gid);
    if (!r || !r->is_bypassed()) ie("ff->is_bypassed()", __LINE__);
    VOK_ATOM_NODE* atom = r->get_atom();
    enable_ff(atom);
    msg_vdebug_impl(2, "    Re-enabled LAB atom %d at (%u) %s -- %s", atom->get_id(), gid, gid_text(gid).c_str(),
                    atom->get_string_hpath().c_str());
  }
}

// ---------------------------------------------------------------- acceptance

bool IRTM_MANAGER::annotate_delays(IRTM_MOVE* move, bool* stale) {
  if (move->type == IRTM_MOVE::Wirelut)
    for (VOK_ATOM_NODE* lut : move->m_atoms)
      if (!place_wirelut(lut)) return false;
  const DUX_RESULT r = m_dux->implement();
  const unsigned status = r.get_status();
  if (status != DUX_RESULT::SUCCESS) msg_vdebug_impl(2, "DUX implement result: %s", dux_status_text(status));
  int deleted = 0, created = 0;
  for (int id : r.get_deleted_ids()) deleted += erase_irtm_ff_by_id(static_cast<std::uint32_t>(id));
  for (int id : r.get_created_ids())
    if (create_irtm_ff(m_atoms->get_atom_by_id(id))) ++created;
  if (deleted != 0 || created != 0) msg_vdebug_impl(2, "ZOTA reroute, Deleted: %d Created: %d", deleted, created);
  if (sta_is_timing_stale()) {
    sta_reset_timing_as_no_longer_stale();
    msg_vdebug_impl(2, "HEP failed due to stale STA update");
    if (stale) *stale = true;
    return false;
  }
  if (stale) *stale = false;
  return status == DUX_RESULT::SUCCESS;
}

bool IRTM_MANAGER::check_retiming(IRTM_MOVE* move, TIMING_COST_STRUCT* base, TIMING_COST_STRUCT* result,
                                  bool with_hold) {
  sta_increm_update_timing();
  *result = TIMING_COST_STRUCT{IRTM_NO_SLACK, IRTM_NO_SLACK};
  result->cost = util()->get_wns_cost();
  IRTM_OBJ* worst = nullptr;
  auto consider = [&](IRTM_OBJ* obj) {
    if (!obj) return;
    obj->update_slack(true);
    const std::int32_t s = obj->min_slack();
    if (!worst || below(s, result->slack)) {
      result->slack = s;
      worst = obj;
    }
  };
  for (const auto* list : {&move->m_slots, &move->m_enabled})
    for (std::uint32_t gid : *list) consider(find_irtm_ff(PLACE_DB::get_atom(gid)));
  for (const VOK_ATOM_LOGICAL_PORT& port : move->m_rerouted) consider(m_iter->create_irtm_ipin(port));
  const std::uint32_t hold = m_hold_costing && with_hold ? collect_hold_voilations() : 0;
  if (worst) {
    const VOK_ATOM_NODE* atom = worst->get_atom();
    msg_vdebug_impl(2, "    Update[%d]: input = %d  q = %d  WNS_COST = %d (bypased=%d hold=%d) -- %s",
                    static_cast<int>(m_update_counter), worst->min_input_slack(), worst->min_output_slack(),
                    result->cost, move->num_bypassed_ff(), static_cast<int>(hold),
                    atom ? gid_text(atom->get_location_gid()).c_str() : "");
  } else {
    msg_vdebug_impl(2, "    Update[%d]: WNS_COST = %d (bypased=%d hold=%d) -- %s", static_cast<int>(m_update_counter),
                    result->cost, move->num_bypassed_ff(), static_cast<int>(hold), "");
  }
  bool accepted;
  if (result->cost < base->cost) {
    msg_vdebug_impl(2, "    cost DEGRADED (%d/%d)", base->cost, result->cost);
    accepted = false;
  } else if (base->cost < result->cost) {
    msg_vdebug_impl(2, "    cost IMPROVED (%d/%d)", base->cost, result->cost);
    accepted = true;
  } else if (below(result->slack, base->slack)) {
    msg_vdebug_impl(2, "    min_slack DEGRADED (%d/%d)", base->slack, result->slack);
    accepted = false;
  } else {
    accepted = true;
  }
  ++m_update_counter;
  return accepted;
}

bool IRTM_MANAGER::modifies_timing_dont_touch(IRTM_MOVE* move) {
  const DEV_DIE_INFO* die = util()->get_die_info();
  for (const auto* list : {&move->m_slots, &move->m_enabled, &move->m_bypassed})
    for (std::uint32_t gid : *list) {
      if (ZEL_DEV_ZOTA_UTIL::is_zota_gid(die, gid) && !ZEL_DEV_ZOTA_UTIL::is_zota_lab_gid(die, gid)) continue;
      const auto xy = PLACE_DB::get_xy_from_gid(gid);
      if (util()->lab_contains_timing_dont_touch(
              {static_cast<std::uint32_t>(xy.first), static_cast<std::uint32_t>(xy.second)})) {
        msg_vdebug_impl(2, "LAB(%d, %d): contains TIMING_DONT_TOUCH", xy.first, xy.second);
        return true;
      }
    }
  return false;
}

// ---------------------------------------------------------------- undo and commit

bool IRTM_MANAGER::undo_retiming(IRTM_MOVE* inverse) {
  if (m_yun_stack.empty()) ie("!yun_stack_empty()", __LINE__);
  IRTM_MOVE* top = m_yun_stack.back();
  if (top->type == IRTM_MOVE::None) {
    m_yun_stack.pop_back();
    delete top;
    return false;
  }
  inverse->clear();
  inverse->m_atoms = top->m_atoms;
  const DUX_RESULT r = m_dux->restore_checkpoint(top->m_checkpoint_id);
  sta_reset_timing_as_no_longer_stale();
  for (const auto* list : {&top->m_slots, &top->m_enabled})
    for (std::uint32_t gid : *list) {
      inverse->m_bypassed.push_back(gid);
      if (!is_zota_gid(gid)) continue;
      const int* id = top->m_gid_to_id.lookup(gid);
      if (!id) ie("iter != m_gid_to_id.end()", __LINE__);
      if (erase_irtm_ff_by_id(static_cast<std::uint32_t>(*id)) != 1) ie("num_erased == 1", __LINE__);
    }
  for (int id : r.get_deleted_ids()) erase_irtm_ff_by_id(static_cast<std::uint32_t>(id));
  const std::uint32_t bit = bit_of(top->type);
  std::reverse(top->m_bypassed.begin(), top->m_bypassed.end());
  for (std::uint32_t gid : top->m_bypassed) {
    IRTM_FF* ff;
    if (!is_zota_gid(gid)) {
      ff = get_irtm_ff(gid);
      if (!ff || ff->is_bypassed()) ie("ff && !ff->is_bypassed()", __LINE__);
      inverse->m_enabled.push_back(gid);
    } else {
      inverse->m_slots.push_back(gid);
      ff = create_irtm_ff(PLACE_DB::get_atom(gid));
    }
    if (ff) ff->m_failure_mask |= bit;
  }
  for (int id : r.get_created_ids()) create_irtm_ff(m_atoms->get_atom_by_id(id));
  for (const VOK_ATOM_LOGICAL_PORT& port : top->m_rerouted) {
    inverse->m_rerouted.push_back(port);
    m_iter->create_irtm_ipin(port)->m_failure_mask |= bit;
  }
  m_yun_stack.pop_back();
  delete top;
  return true;
}

void IRTM_MANAGER::undo_all_retiming(std::uint64_t checkpoint) {
  static const bool check_every = !cfg_is_on("irtm_check_timing_on_final_undo", false);
  IRTM_ITERATION& it = *m_iter;
  if (!m_yun_stack.empty()) {
    int count = 0;
    if (checkpoint == 0) {
      count = static_cast<int>(m_yun_stack.size());
    } else {
      bool found = false;
      for (auto i = m_yun_stack.rbegin(); i != m_yun_stack.rend() && !found; ++i) {
        ++count;
        found = (*i)->m_checkpoint_id == checkpoint;
      }
      if (!found) ie("checkpoint_id found on the stack", __LINE__);
    }
    msg_vdebug_impl(2, "    UNDO retiming moves: %d", count);
  }
  while (!m_yun_stack.empty() && m_yun_stack.back()->m_checkpoint_id >= checkpoint) {
    if (!undo_retiming(&it.m_scratch)) continue;
    const bool more = !m_yun_stack.empty() && m_yun_stack.back()->m_checkpoint_id >= checkpoint;
    if (!check_every && more) continue;
    const bool c = check_retiming(&it.m_scratch, &it.m_undo_cost, &it.m_initial_cost, false);
    if (m_yun_stack.empty() && !c) msg_vdebug_impl(2, "    Failed to recover WNS cost");
  }
  if (collect_hold_voilations() > 0 && m_yun_stack.empty()) msg_vdebug_impl(2, "    Failed to recover HOLD voilation");
}

void IRTM_MANAGER::finalize_retiming() {
  IRTM_ITERATION& it = *m_iter;
  if (!it.m_pending_hold.empty()) ie("m_hold_vec.empty()", __LINE__);
  it.m_previous_worst_slack = it.m_current_worst_slack;
  it.m_current_worst_slack = util()->get_domain_wns(*it.m_domain);
  ++it.m_accepted_moves;
  while (!m_yun_stack.empty()) {
    IRTM_MOVE* move = m_yun_stack.back();
    const std::uint32_t b = bit_of(move->type);
    for (const auto* list : {&move->m_slots, &move->m_enabled})
      for (std::uint32_t gid : *list)
        if (IRTM_FF* ff = find_irtm_ff(PLACE_DB::get_atom(gid))) {
          ff->m_failure_mask &= ~b;
          ff->m_last_move = move->type;
        }
    for (std::uint32_t gid : move->m_bypassed)
      if (IRTM_FF* ff = find_irtm_ff(PLACE_DB::get_atom(gid))) {
        ff->m_failure_mask &= ~1u;
        ff->m_last_move = 0;
      }
    for (const VOK_ATOM_LOGICAL_PORT& port : move->m_rerouted) m_iter->create_irtm_ipin(port)->m_failure_mask &= ~b;
    m_yun_stack.pop_back();
    delete move;
  }
}

// ---------------------------------------------------------------- repairs

namespace {

// The source nodes of a node's fan-in walk: with any of the flags 0x18000
// the run of `kind` edges from the first such edge, else every fan-in edge.
std::vector<KEM_NODE*> fanin_sources(const KEM_NETLIST* kem, const KEM_NODE* node, int kind) {
  std::vector<KEM_NODE*> out;
  const bool typed = node->has_any_flag(0x18000u);
  int e = node->begin_fanin();
  if (typed)
    while (e >= 0 && kem->get_edge(e) && kem->get_edge(e)->get_kind() != kind) e = kem->get_edge(e)->get_next_fanin();
  while (e >= 0) {
    const KEM_EDGE* edge = kem->get_edge(e);
    if (!edge) break;
    out.push_back(edge->get_src_node());
    e = typed ? edge->get_next_fanin_of_kind(kind) : edge->get_next_fanin();
  }
  return out;
}

// The nodes at the other end of every fan-out (or fan-in) edge of a node.
std::vector<KEM_NODE*> neighbours(const KEM_NETLIST* kem, const KEM_NODE* node, bool fanin) {
  std::vector<KEM_NODE*> out;
  for (int e = fanin ? node->begin_fanin() : node->begin_fanout(); e >= 0;) {
    const KEM_EDGE* edge = kem->get_edge(e);
    if (!edge) break;
    out.push_back(fanin ? edge->get_src_node() : edge->get_dst_node());
    e = fanin ? edge->get_next_fanin() : edge->get_next_fanout();
  }
  return out;
}

// The minimum of a node's setup slacks over its domains; NO_SLACK for none.
std::int32_t min_wns(const KEM_NODE* node) {
  std::int32_t m = IRTM_NO_SLACK;
  for (const auto& [domain, s] : sta_get_node_wns_map(node, true))
    if (s != IRTM_NO_SLACK && (m == IRTM_NO_SLACK || s < m)) m = s;
  return m;
}

std::int32_t hold_of(const KEM_NODE* node) { return sta_get_node_worst_hold_slack(node, true); }

bool is_null_port(const VOK_ATOM_LOGICAL_PORT& p) {
  return p.get_atom_id() == 0xFFFFFFFFu || p.get_port().is_null() || p.get_index() >= 0xFFFF;
}

}  // namespace

std::int32_t IRTM_MANAGER::get_hold_slack(KEM_NODE* node, KEM_NODE** start) {
  const std::int32_t h = hold_of(node);
  if (h >= 0 || !start) return h;
  *start = nullptr;
  if (!node) return h;
  // Without a visited set a loop of equal slacks would never end the walk:
  // it stops after as many steps as the timing netlist has nodes.
  const auto limit = static_cast<std::size_t>(m_kem_netlist->get_node_count());
  KEM_NODE* cur = node;
  for (std::size_t step = 0; !cur->has_any_flag(KEM_NODE_FLAGS_STOP); ++step) {
    if (step >= limit) return h;
    KEM_NODE* next = nullptr;
    for (KEM_NODE* src : neighbours(m_kem_netlist, cur, true))
      if (src && hold_of(src) == h) {
        next = src;
        break;
      }
    if (!next) return h;
    cur = next;
  }
  *start = cur;
  return h;
}

std::uint32_t IRTM_MANAGER::collect_hold_voilations() {
  IRTM_ITERATION& it = *m_iter;
  std::uint32_t added = 0;
  auto add = [&](const VOK_ATOM_ITERM* t) {
    it.m_pending_hold.push_back(vok_get_logical_port(t));
    ++added;
  };
  const std::vector<VOK_ATOM_NODE*> changed = *m_ff_change->get_changed_flops(true, false);
  for (VOK_ATOM_NODE* atom : changed) {
    if (atom->is_ff()) {
      IRTM_FF* ff = create_irtm_ff(atom);
      if (!ff || !is_zota_gid(atom->get_location_gid())) continue;
      const VOK_ATOM_ITERM* d = atom->get_input_term_by_type(DB_INPUT_PORT_DATA_IN, 0);
      KEM_NODE* node = d ? m_kem_netlist->get_kem_node_from_iterm(d) : nullptr;
      if (node && get_hold_slack(node, nullptr) < 0) add(d);
      continue;
    }
    const KEM_NETLIST_CELL* cell = m_kem_netlist->get_cell_from_atom_id(atom->get_id());
    if (!cell) continue;
    for (int k : cell->keeper_range()) {
      const KEM_NODE* keeper = m_kem_netlist->get_node(k);
      if (!keeper) continue;
      for (KEM_NODE* u : fanin_sources(m_kem_netlist, keeper, 1)) {
        const std::int32_t h = hold_of(u);
        if (h >= 0) continue;
        if (u->get_iterm()) {
          add(u->get_iterm());
          continue;
        }
        for (KEM_NODE* w : fanin_sources(m_kem_netlist, u, 2))
          if (hold_of(w) == h && w->get_iterm()) add(w->get_iterm());
      }
    }
  }
  return added;
}

bool IRTM_MANAGER::update_setup_voilations(int, std::vector<IRTM_OBJ*>* queue) {
  IRTM_ITERATION& it = *m_iter;
  if (!it.m_critical || it.m_hold_moves != 0) return false;
  if (static_cast<std::int64_t>(queue->size()) >= it.m_setup_iterations) return false;
  if (m_yun_stack.empty()) ie("!yun_stack_empty()", __LINE__);
  const bool forward = m_yun_stack.back()->type == IRTM_MOVE::Forward;
  const std::vector<VOK_ATOM_NODE*> changed = *m_ff_change->get_changed_flops(!forward, forward);
  const std::int32_t threshold = it.m_move_cost.slack;
  // Forward moves look at output terminals after the changed registers,
  // the others at input terminals before them.
  const std::uint8_t input = forward ? 0 : 1;
  auto port_of = [&](const KEM_NODE* n, VOK_ATOM_LOGICAL_PORT* port) {
    if (forward ? !n->get_oterm() : !n->get_iterm()) return false;
    *port = forward ? vok_get_logical_port(n->get_oterm()) : vok_get_logical_port(n->get_iterm());
    return true;
  };
  for (VOK_ATOM_NODE* atom : changed) {
    const KEM_NETLIST_CELL* cell = m_kem_netlist->get_cell_from_atom_id(atom->get_id());
    if (!cell) continue;
    for (int k : cell->keeper_range()) {
      const KEM_NODE* keeper = m_kem_netlist->get_node(k);
      if (!keeper) continue;
      for (KEM_NODE* u : neighbours(m_kem_netlist, keeper, !forward)) {
        const std::int32_t m = u ? min_wns(u) : IRTM_NO_SLACK;
        if (m == IRTM_NO_SLACK || m >= threshold) continue;
        VOK_ATOM_LOGICAL_PORT port;
        if (port_of(u, &port)) {
          it.m_setup_candidates.push_back({port, input});
          continue;
        }
        for (KEM_NODE* w : neighbours(m_kem_netlist, u, !forward))
          if (util()->get_min_node_slack(w) < threshold && port_of(w, &port))
            it.m_setup_candidates.push_back({port, input});
      }
    }
  }
  // One pass: prune what no longer fails, remember the worst (earliest of
  // equals); only negative slacks are chosen.
  std::int32_t best_slack = 0;
  std::size_t best = it.m_setup_candidates.size();
  std::vector<IRTM_ITERATION::SETUP_CANDIDATE> kept;
  for (const IRTM_ITERATION::SETUP_CANDIDATE& c : it.m_setup_candidates) {
    VOK_ATOM_NODE* atom = m_atoms->get_atom_by_id(static_cast<int>(c.port.get_atom_id()));
    const KEM_NODE* node = nullptr;
    bool has_term = false;
    if (atom) {
      if (c.input) {
        const VOK_ATOM_ITERM* t = vok_find_iterm(m_atoms, c.port);
        has_term = t != nullptr;
        node = t ? m_kem_netlist->get_kem_node_from_iterm(t) : nullptr;
      } else {
        const VOK_ATOM_OTERM* t = vok_find_oterm(m_atoms, c.port);
        has_term = t != nullptr;
        node = t ? m_kem_netlist->get_kem_node_from_oterm(t) : nullptr;
      }
    }
    const std::int32_t s = node ? util()->get_min_node_slack(node) : IRTM_NO_SLACK;
    const IRTM_FF* ff = has_term ? find_irtm_ff(atom) : nullptr;
    if (!has_term || s >= threshold || (ff && (ff->is_deleted() || ff->is_bypassed()))) continue;
    if (s < best_slack) {
      best_slack = s;
      best = kept.size();
    }
    kept.push_back(c);
  }
  it.m_setup_candidates = std::move(kept);
  if (best >= it.m_setup_candidates.size()) return false;
  const IRTM_ITERATION::SETUP_CANDIDATE chosen = it.m_setup_candidates[best];
  VOK_ATOM_NODE* atom = m_atoms->get_atom_by_id(static_cast<int>(chosen.port.get_atom_id()));
  IRTM_OBJ* obj = nullptr;
  if (chosen.input) {
    if (IRTM_FF* ff = create_irtm_ff(atom)) {
      obj = ff;
    } else {
      if (!m_reroute_setup_fix) return false;
      IRTM_IPIN* pin = it.create_irtm_ipin(chosen.port);
      if (pin->m_failure_mask & bit_of(IRTM_MOVE::Reroute)) return false;
      pin->m_move_type = IRTM_MOVE::Reroute;
      pin->m_hold = 0;
      obj = pin;
    }
  } else {
    obj = create_irtm_ff(atom);
    if (!obj) return false;
  }
  queue->push_back(obj);
  it.m_setup_candidates.erase(it.m_setup_candidates.begin() + static_cast<std::ptrdiff_t>(best));
  msg_vdebug_impl(2, "    Added setup degrading ff to queue=%d", static_cast<int>(queue->size()));
  return true;
}

bool IRTM_MANAGER::update_hold_voilations(int, std::vector<IRTM_OBJ*>* queue) {
  IRTM_ITERATION& it = *m_iter;
  if (it.m_pending_hold.empty()) ie("!m_hold_vec.empty()", __LINE__);
  if (!it.m_critical && !(it.m_move_cost.cost < it.m_initial_cost.cost)) return false;
  if (static_cast<std::int64_t>(it.m_hold_moves) >= it.m_hold_iterations) return false;
  std::int32_t worst = 0;
  KEM_NODE* worst_node = nullptr;
  KEM_NODE* worst_start = nullptr;
  auto& list = it.m_pending_hold;
  for (std::size_t i = 0; i < list.size();) {
    const VOK_ATOM_LOGICAL_PORT port = list[i];
    if (is_null_port(port)) return false;
    bool keep = false;
    if (m_atoms->get_atom_by_id(static_cast<int>(port.get_atom_id()))) {
      const VOK_ATOM_ITERM* t = vok_find_iterm(m_atoms, port);
      if (!t) return false;
      KEM_NODE* node = m_kem_netlist->get_kem_node_from_iterm(t);
      if (!node) return false;
      KEM_NODE* start = nullptr;
      const std::int32_t h = get_hold_slack(node, &start);
      if (h < worst) {
        worst = h;
        worst_node = node;
        worst_start = start;
      }
      if (h == IRTM_NO_SLACK) return false;
      keep = h < 0;
    }
    if (keep)
      ++i;
    else
      list.erase(list.begin() + static_cast<std::ptrdiff_t>(i));
  }
  if (worst == 0) {
    list.clear();
    msg_vdebug_impl(2, "    hold fix PASSED");
    return true;
  }
  VOK_ATOM_ITERM* endpoint = worst_node->get_iterm();
  VOK_ATOM_NODE* load_atom = endpoint ? endpoint->get_my_node() : nullptr;
  IRTM_FF* load = create_irtm_ff(load_atom);
  const std::uint32_t load_gid = load_atom ? load_atom->get_location_gid() : 0xFFFFFFFFu;
  VOK_ATOM_NODE* start_atom = worst_start ? worst_start->get_atom() : nullptr;
  IRTM_FF* source = create_irtm_ff(start_atom);
  msg_vdebug_impl(2, "    hold_slack DEGRADED: %d  ( setup = %d  %s )", worst, util()->get_min_node_slack(worst_node),
                  gid_text(load_gid).c_str());
  if (m_dux && m_wirelut_hold_fix && endpoint) {
    IRTM_IPIN* pin = it.create_irtm_ipin(vok_get_logical_port(endpoint));
    if (!(pin->m_failure_mask & bit_of(IRTM_MOVE::Wirelut))) {
      pin->m_move_type = IRTM_MOVE::Wirelut;
      pin->m_hold = 1;
      queue->push_back(pin);
      return true;
    }
  }
  if (m_yun_stack.empty()) ie("!yun_stack_empty()", __LINE__);
  auto enqueue = [&](IRTM_FF* r, IRTM_MOVE::TYPE t) {
    if (!r) return false;
    r->update_slack(true);
    if (r->m_failure_mask & bit_of(t)) return false;
    r->m_move_type = t;
    r->m_hold = 1;
    queue->push_back(r);
    return true;
  };
  bool ok;
  if (m_yun_stack.back()->type == IRTM_MOVE::Backward) {
    if (!source || source == load) {
      msg_vdebug_impl(2, "    hold cost cannot be fixed");
      return false;
    }
    ok = enqueue(source, IRTM_MOVE::Backward);
  } else {
    ok = enqueue(load, IRTM_MOVE::Forward);
  }
  if (!ok) msg_vdebug_impl(2, "    hold cost cannot be fixed");
  return ok;
}

bool IRTM_MANAGER::batch_retiming_moves(int index, std::vector<IRTM_OBJ*>* queue) {
  IRTM_ITERATION& it = *m_iter;
  if (m_yun_stack.empty()) return false;
  const IRTM_MOVE* top = m_yun_stack.back();
  if (top->type == IRTM_MOVE::None || !it.m_critical) return false;
  if (static_cast<std::int64_t>(queue->size()) >= it.m_max_batch_size) return false;
  if (queue->at(static_cast<std::size_t>(index))->m_type != IRTM_OBJ::FF) return false;
  const IRTM_FAILURE& f = top->failure;
  VOK_ATOM_NODE* a = nullptr;
  if (f.get_reason() == IRTM_FAILURE::NO_SLOT && top->type == IRTM_MOVE::Forward) {
    VOK_ATOM_ITERM* t = f.get_iterm();
    a = t ? t->get_my_node() : nullptr;
  } else if (f.get_reason() == IRTM_FAILURE::NO_SLOT && top->type == IRTM_MOVE::Backward) {
    const VOK_ATOM_LOGICAL_PORT& p = f.get_port();
    if (is_null_port(p) || !m_atoms->get_atom_by_id(static_cast<int>(p.get_atom_id())) || f.is_input()) return false;
    VOK_ATOM_OTERM* o = vok_find_oterm(m_atoms, p);
    if (!o) return false;
    a = o->get_my_node();
  } else if (f.get_reason() == IRTM_FAILURE::NO_REGISTER && top->type == IRTM_MOVE::Forward) {
    // The forward search records this failure on the output of the logic it
    // found where a register should be; n is that logic. A failure naming an
    // input terminal reads its driver instead.
    VOK_ATOM_NODE* n = nullptr;
    if (VOK_ATOM_ITERM* t = f.get_iterm()) {
      const VOK_ATOM_OTERM* d = t->get_source(VOK_TRAVERSE_HIERARCHICAL);
      n = d ? d->get_my_node() : nullptr;
    } else if (!f.is_input() && !is_null_port(f.get_port())) {
      const VOK_ATOM_OTERM* o = m_atoms->get_atom_by_id(static_cast<int>(f.get_port().get_atom_id()))
                                    ? vok_find_oterm(m_atoms, f.get_port())
                                    : nullptr;
      n = o ? o->get_my_node() : nullptr;
    }
    if (!n || !util()->is_retimable_comb(n)) return false;
    for (const VOK_ATOM_ITERM* in : n->citerms())
      if (const VOK_ATOM_OTERM* s = in->get_source(VOK_TRAVERSE_HIERARCHICAL)) {
        a = s->get_my_node();
        break;
      }
  } else if (f.get_reason() == IRTM_FAILURE::NO_REGISTER && top->type == IRTM_MOVE::Backward) {
    VOK_ATOM_ITERM* t = f.get_iterm();
    VOK_ATOM_NODE* n = t ? t->get_my_node() : nullptr;
    if (!n) return false;
    const VOK_ATOM_OTERM* o = nullptr;
    if (util()->is_retimable_comb(n))
      o = n->get_output_term_by_type(DB_OUTPUT_PORT_COMB, 0);
    else if (util()->is_retimable_arith(n))
      o = n->get_output_term_by_type(DB_OUTPUT_PORT_SUM, 0);
    else if (is_retimable_ff(n))
      a = n;
    else
      return false;
    if (!a) {
      const VOK_ATOM_ITERM* first = o ? o->get_first_fanout(VOK_TRAVERSE_HIERARCHICAL) : nullptr;
      if (!first) return false;
      a = first->get_my_node();
    }
  } else {
    return false;
  }
  IRTM_FF* ff = create_irtm_ff(a);
  if (!ff || ff->is_bypassed()) return false;
  const IRTM_MOVE::TYPE t = ff->compute_move();
  if (ff->m_failure_mask & bit_of(t)) return false;
  queue->push_back(ff);
  msg_vdebug_impl(2, "    Batched moves, queue_size = %d", static_cast<int>(queue->size()));
  return true;
}
