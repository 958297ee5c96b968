// The periphery-core destination search: which unplaced core registers take
// part in a periphery-to-core (P2C) or core-to-periphery (C2P) transfer, with
// which requirement, grouped so that registers sharing a requirement and
// their control signals go through one solver run; plus the sites the solver
// must avoid.
#include <algorithm>
#include <set>
#include <unordered_map>
#include <unordered_set>

#include "big_time/big_time.h"
#include "cfg/cfg.h"
#include "hov/hov_utility.h"
#include "kem/kem_netlist.h"
#include "msg/msg_internal_error.h"
#include "omz/omz_option.h"
#include "oxter/oxter_env.h"
#include "oxter/oxter_location_constraint.h"
#include "r5t/r5t_interface.h"
#include "tibex/tibex_location_constraint.h"
#include "twy/twy_translator.h"
#include "velmo_debug.h"
#include "velmo_msgs.h"
#include "velmo_periphery_to_core_placement.h"
#include "vok/vok_atom_netlist.h"
#include "vok/vok_atom_term.h"
#include "wexan/wexan_design.h"
#include "wexan/wexan_env.h"
#include "wexan/wexan_fitter_ops.h"
#include "wump/wump_die_info.h"
#include "zel/zel_atom_util.h"

namespace {

constexpr unsigned l_illegal_gid = 0xFFFFFFFFu;
constexpr int l_dev_element_ff = 643;
constexpr int l_port_type_cascade = 32;
constexpr int l_uib_esram_c2p = 837;
constexpr int l_p2c_router_wires = 839;
constexpr int l_c2p_router_wires = 845;

[[noreturn]] void l_internal_error(const char* condition, int line) {
  MSG_INTERNAL_ERROR::report(condition, "VELMO", "velmo_periphery_core_search", line);
}

bool l_placed(const VOK_ATOM_NODE* atom) { return atom != nullptr && atom->get_location_element() != 0; }

VOK_ATOM_ITERM* l_data_in(const VOK_ATOM_NODE* atom) {
  return atom->get_input_term_by_type(DB_INPUT_PORT_DATA_IN, 0);
}
VOK_ATOM_OTERM* l_data_out(const VOK_ATOM_NODE* atom) {
  return atom->get_output_term_by_type(DB_OUTPUT_PORT_REG, 0);
}

bool l_option_is(const VOK_ATOM_NODE* atom, int code, int value) {
  const OMZ_OPTION* o = OMZ_DERIVED_OPTION::get_single_option(atom->get_string_hpath(), code, true);
  return o != nullptr && (value < 0 || o->get_value() == value);
}

// The slack-window switch, read once per process.
bool l_slack_window_switch() {
  static const bool on = cfg_is_on("velmo_p2c_perform_slack_estimation", false);
  return on;
}

bool l_requirement_unconstrained(const P2C_MATRIX_STRUCT& m) {
  return std::get<0>(m.location) == -1 && std::get<1>(m.location) == -1 && std::get<2>(m.location) == -1 &&
         !m.region_constraint;
}

void l_post_wrong_core_register(const VOK_ATOM_NODE* atom) {
  msg_post(MSG_VELMO::W::VELMO_P2C_WRONG_CORE_REGISTER(atom->get_string_hpath()), nullptr);
}

}  // namespace

// The groups of one search, per direction, kept in step index by index.
struct VELMO_PERIPHERY_CORE_PLACEMENT::SEARCH_GROUPS {
  std::vector<std::vector<VOK_ATOM_NODE*>> ffs[2];
  std::vector<std::set<int>> gids[2];
  std::vector<P2C_MATRIX_STRUCT>* matrices[2];
};

// ---- register predicates ---------------------------------------------------------------

bool core_ff_input_connect_to_periphery_through_at_most_one_lut(VOK_ATOM_NODE* node) {
  VOK_ATOM_ITERM* din = l_data_in(node);
  if (din == nullptr || !vok_is_connected(din)) return false;
  VOK_ATOM_OTERM* driver = din->get_source(VOK_TRAVERSE_HIERARCHICAL);
  if (driver == nullptr) return false;
  VOK_ATOM_NODE* d = driver->get_my_node();
  if (l_placed(d)) return true;
  if (d->get_default_dev_element() != 557 && d->get_default_dev_element() != 644) return false;
  for (VOK_ATOM_ITERM* t : d->iterms()) {
    if (!vok_is_connected(t)) continue;
    VOK_ATOM_OTERM* s = t->get_source(VOK_TRAVERSE_HIERARCHICAL);
    if (s != nullptr && l_placed(s->get_my_node())) return true;
  }
  return false;
}

bool core_ff_output_directly_connect_to_periphery(VOK_ATOM_NODE* node) {
  VOK_ATOM_OTERM* dout = l_data_out(node);
  if (dout == nullptr) return false;
  for (VOK_ATOM_ITERM* f : dout->fanout(VOK_TRAVERSE_HIERARCHICAL))
    if (l_placed(f->get_my_node())) return true;
  return false;
}

bool ff_with_same_control_signals(VOK_ATOM_NODE* ff_a, VOK_ATOM_NODE* ff_b) {
  if (ff_a->get_location_element() != l_dev_element_ff && ff_a->get_default_dev_element() != l_dev_element_ff)
    l_internal_error("ff_a->get_location_element() == DEV_ELEMENT_FF || ff_a->get_default_dev_element() == DEV_ELEMENT_FF",
                     __LINE__);
  if (ff_b->get_location_element() != l_dev_element_ff && ff_b->get_default_dev_element() != l_dev_element_ff)
    l_internal_error("ff_b->get_location_element() == DEV_ELEMENT_FF || ff_b->get_default_dev_element() == DEV_ELEMENT_FF",
                     __LINE__);
  std::vector<int> types{6, 30, 33, 8, 7, l_port_type_cascade, 1};
  auto driven = [](const VOK_ATOM_NODE* ff) {
    const VOK_ATOM_ITERM* t = ff->get_input_term_by_type(static_cast<DB_INPUT_PORT_TYPE>(l_port_type_cascade), 0);
    return t != nullptr && vok_is_connected(t) && t->get_source(VOK_TRAVERSE_HIERARCHICAL) != nullptr;
  };
  if (driven(ff_a) && driven(ff_b)) types.push_back(DB_INPUT_PORT_DATA_IN);
  for (int type : types) {
    const VOK_ATOM_ITERM* a = ff_a->get_input_term_by_type(static_cast<DB_INPUT_PORT_TYPE>(type), 0);
    const VOK_ATOM_ITERM* b = ff_b->get_input_term_by_type(static_cast<DB_INPUT_PORT_TYPE>(type), 0);
    if (a == nullptr && b == nullptr) continue;
    if (a == nullptr || b == nullptr) return false;
    if (!iterms_are_identical(ff_a, ff_b, a, b)) return false;
  }
  return true;
}

// ---- the search ---------------------------------------------------------------------------

// The periphery port a transfer lands on, as the solver names it: the
// outermost port of the stitched network, translated; none (-1) when the
// chain breaks or the port already carries a transfer.
unsigned VELMO_PERIPHERY_CORE_PLACEMENT::translated_port_gid(unsigned gid, bool forward, bool uib_esram) {
  if (gid == l_illegal_gid) {
    if (m_verbose) msg_vdebug_impl(2, "couldn't find w3j3 top level port id, skipping");
    return l_illegal_gid;
  }
  unsigned top = get_most_top_level_port_gid(gid, forward);
  if (top == l_illegal_gid) {
    // The port's own gid still names the periphery end.
    top = gid;
    if (m_verbose)
      msg_vdebug_impl(2, uib_esram ? "couldn't find most top level port id via existing blc+fcd stitched network"
                                   : "couldn't find most top level port id via existing blc+fcd stitched network, "
                                     "skipping");
  }
  const unsigned tr = get_gid_after_port_translation(top, forward);
  if (tr == l_illegal_gid) {
    if (m_verbose) msg_vdebug_impl(2, "couldn't find most top level port id via port mapping, skipping");
    return l_illegal_gid;
  }
  if (m_port_gid_to_core_node_map.lookup(static_cast<int>(tr)) != nullptr) {
    if (m_verbose)
      msg_vdebug_impl(2, "this top level port id has been visted before, we can't %s 1-to-many %s connections",
                      uib_esram ? "handle" : "handel", forward ? "p2c" : "c2p");
    return l_illegal_gid;
  }
  return tr;
}

void VELMO_PERIPHERY_CORE_PLACEMENT::take_up_transfer(SEARCH_GROUPS& groups, bool p2c, VOK_ATOM_NODE* src,
                                                      VOK_ATOM_NODE* dst, VOK_ATOM_ITERM* dst_term,
                                                      VOK_ATOM_NODE* core, VOK_ATOM_NODE* periphery,
                                                      const P2C_MATRIX_STRUCT& m, unsigned tr) {
  const auto& sites = m_place_info->get_location_table();
  const std::size_t index = static_cast<unsigned>(periphery->get_location_index()) & 0x7FFFFFFFu;
  const int px = index < sites.size() ? sites[index].x : -1;
  const int py = index < sites.size() ? sites[index].y : -1;
  (p2c ? m_p2c_result_status_map : m_c2p_result_status_map)[core->get_string_hpath()] = NOT_OPTIMIZED;
  (p2c ? m_p2c_connections : m_c2p_connections).emplace_back(src, dst, dst_term);
  msg_vdebug_impl(2,
                  "Periphery -> name: %s   x: %d   y: %d       Core -> name: %d:%s        matrix: max_wire %d, "
                  "min_wire %d, max_delay %s, min_delay %s ",
                  periphery->get_string_hpath().c_str(), px, py, core->get_id(), core->get_string_hpath().c_str(),
                  m.max_wire, m.min_wire, m.max_delay.to_string().c_str(), m.min_delay.to_string().c_str());

  const int d = p2c ? 0 : 1;
  auto& ffs = groups.ffs[d];
  auto& gids = groups.gids[d];
  auto& matrices = *groups.matrices[d];
  if (matrices.size() != ffs.size())
    l_internal_error(p2c ? "p2c_matrix_vec.size() == p2c_ff_with_same_control_signals_2d_vec.size()"
                         : "c2p_matrix_vec.size() == c2p_ff_with_same_control_signals_2d_vec.size()",
                     __LINE__);
  std::size_t i = 0;
  for (; i < ffs.size(); ++i)
    if (!(matrices[i] != m) && ffs[i].back() != nullptr && ff_with_same_control_signals(ffs[i].back(), core)) break;
  if (i < ffs.size()) {
    if (i >= gids.size()) l_internal_error(p2c ? "i < p2c_dests_set_vec.size()" : "i < c2p_dests_set_vec.size()", __LINE__);
    ffs[i].push_back(core);
    gids[i].insert(static_cast<int>(tr));
  } else if (l_requirement_unconstrained(m)) {
    ffs.push_back({core});
    gids.push_back({static_cast<int>(tr)});
    matrices.push_back(m);
  } else {
    // Located and region-constrained groups go first.
    ffs.insert(ffs.begin(), {core});
    gids.insert(gids.begin(), {static_cast<int>(tr)});
    matrices.insert(matrices.begin(), m);
  }
  m_port_gid_to_core_node_map[static_cast<int>(tr)] = core;
  if (m_verbose) {
    msg_vdebug_impl(2, "top level port: %d, source: %s", static_cast<int>(tr), core->get_string_hpath().c_str());
    msg_vdebug_impl(2, "%s", "");
  }
}

bool VELMO_PERIPHERY_CORE_PLACEMENT::get_interested_dst_locs(std::vector<std::vector<int>>& p2c_dests,
                                                             std::vector<std::vector<int>>& c2p_dests,
                                                             std::vector<P2C_MATRIX_STRUCT>& p2c_matrices,
                                                             std::vector<P2C_MATRIX_STRUCT>& c2p_matrices) {
  const bool window_switch = l_slack_window_switch();
  m_port_gid_to_core_node_map = ZMP_HASH_LITE<int, VOK_ATOM_NODE*>();
  std::unordered_set<int> candidates;
  SEARCH_GROUPS groups;
  groups.matrices[0] = &p2c_matrices;
  groups.matrices[1] = &c2p_matrices;
  const int nx = m_place_info->get_nx(), ny = m_place_info->get_ny();
  if (m_verbose) msg_vdebug_impl(2, "device size is %d %d", nx, ny);
  const OXTER_LOCATION_CONSTRAINT* loc = OXTER_LOCATION_CONSTRAINT::of(m_oxter_env);

  enum MODE { P2C_ONLY, C2P_ONLY, AUTOMATIC };
  for (VOK_ATOM_NODE* atom : m_atom_netlist->nodes(VOK_TRAVERSE_HIERARCHICAL)) {
    if (l_placed(atom) || atom->get_default_dev_element() != l_dev_element_ff) continue;
    if ((!atom->is_modifiable() || WEXAN_SWAVO_RECOMPILE_UTILITY::atom_from_pfit_netlist(static_cast<unsigned>(atom->get_id()))) &&
        loc->is_location_fixed(atom))
      continue;
    const std::string name = atom->get_string_hpath();
    P2C_MATRIX_STRUCT m;
    m.partition_id = get_partition_id(atom);
    const bool p2c = have_p2c_delay_assignment(atom, nullptr) || have_p2c_wire_assignment(atom, nullptr);
    const bool c2p = have_c2p_delay_assignment(atom, nullptr) || have_c2p_wire_assignment(atom, nullptr);
    if (p2c && c2p) {
      if (m_verbose) msg_vdebug_impl(2, "User sets both p2c and c2p constraints on the same core signal %s, skipping", name.c_str());
      continue;
    }
    const MODE mode = c2p ? C2P_ONLY : p2c ? P2C_ONLY : AUTOMATIC;
    if (mode == C2P_ONLY) have_c2p_assignment(atom, &m);
    if (mode == P2C_ONLY) have_p2c_assignment(atom, &m);
    if (m_verbose) {
      msg_vdebug_impl(2, "atom %s", name.c_str());
      for (VOK_ATOM_ITERM* t : atom->iterms()) msg_vdebug_impl(2, "    has iterm: %d", static_cast<int>(t->get_port_type()));
    }

    if (loc->has_location(atom) && loc->is_location_fixed(atom)) {
      int x, y, sub, extra;
      loc->get_fixed_location(atom, x, y, sub, extra);
      m.location = {x, y, sub};
    } else {
      const TIBEX_LOCKED_CONSTRAINT lc =
          m_env->get_design()->get_atom_location_constraint(atom->get_id()).get_locked_constraint(0x4000);
      if (lc.has_constraint() &&
          (lc.get_ymax() - lc.get_ymin()) * (lc.get_xmax() - lc.get_xmin()) != (ny - 1) * (nx - 1)) {
        m.region_constraint = std::make_shared<TIBEX_LOCKED_CONSTRAINT>(lc);
        if (m_verbose)
          msg_vdebug_impl(2, "new_matrix.region_constraint for %s is (%d, %d) to (%d, %d)", name.c_str(), lc.get_xmin(),
                          lc.get_ymin(), lc.get_xmax(), lc.get_ymax());
      }
    }

    bool applies = false;  // a side found its periphery atom
    bool skip = false;     // rejected after that, or quietly
    if (mode != C2P_ONLY) {
      VOK_ATOM_ITERM* din = l_data_in(atom);
      VOK_ATOM_OTERM* driver = nullptr;
      if (din != nullptr && vok_is_connected(din)) {
        driver = din->get_source(VOK_TRAVERSE_HIERARCHICAL);
        if (driver == nullptr) {
          if (m_verbose) msg_vdebug_impl(2, "Core ff %s data in has no driver, skipping", name.c_str());
          continue;
        }
      }
      VOK_ATOM_NODE* periphery = driver ? driver->get_my_node() : nullptr;
      if (l_placed(periphery)) {
        applies = true;
        if (mode == AUTOMATIC && !have_p2c_assignment(periphery, &m)) {
          const int status = check_p2c_slack_estimation_moz_for_src_dst_atoms(periphery, atom);
          const std::pair<int, int>* window = nullptr;
          if ((status != 3 || window_switch) && m_p2c_slack_window_map.begin() != m_p2c_slack_window_map.end())
            window = m_p2c_slack_window_map.lookup({periphery->get_id(), atom->get_id()});
          if (window == nullptr) {
            if (m_verbose) msg_vdebug_impl(2, "no moz on either core or periphery, skipping");
            continue;
          }
          const int max = window->second, min = window->first;
          if (max < min) {
            msg_vdebug_impl(2, "Impossible to meet timing requirement (max: %d; min: %d) for this p2c path:", max, min);
            msg_vdebug_impl(2, "From: %s", periphery->get_string_hpath().c_str());
            msg_vdebug_impl(2, "To: %s", name.c_str());
            continue;
          }
          if ((status == 52 || window_switch) && !((max - min <= 1000 || (900 <= min && min <= 1300)) && max <= 2800)) {
            msg_vdebug_impl(2,
                            "Slack window (max:%d, min:%d) is large enough to meet the timing, so skip optimization "
                            "for this p2c path:",
                            max, min);
            msg_vdebug_impl(2, "From: %s", periphery->get_string_hpath().c_str());
            msg_vdebug_impl(2, "To: %s", name.c_str());
            continue;
          }
          m.max_delay = BIG_TIME::from_ps(max);
          m.min_delay = BIG_TIME::from_ps(min);
        }
        const unsigned tr =
            translated_port_gid(get_top_level_port_gid<VOK_ATOM_OTERM*>(periphery, driver, true), true, false);
        if (tr == l_illegal_gid) continue;
        if (m_check_core_ff_constrained_on_both_sides && core_ff_output_directly_connect_to_periphery(atom)) {
          if (m_verbose)
            msg_vdebug_impl(2,
                            "User set p2c on atom %s, but this atom's output also connect to periphery atom either "
                            "directly or through one lut, skipping",
                            name.c_str());
          continue;
        }
        take_up_transfer(groups, true, periphery, atom, din, atom, periphery, m, tr);
        candidates.insert(atom->get_id());
      }
    }
    if (!applies && mode != P2C_ONLY) {
      VOK_ATOM_OTERM* dout = l_data_out(atom);
      VOK_ATOM_ITERM* term = nullptr;
      int count = 0;
      if (dout != nullptr) {
        for (VOK_ATOM_ITERM* f : dout->fanout(VOK_TRAVERSE_HIERARCHICAL)) {
          VOK_ATOM_NODE* a = f->get_my_node();
          if (!l_placed(a) || (mode == AUTOMATIC && !have_c2p_assignment(a, nullptr))) continue;
          term = f;
          if (++count > 1) break;
        }
      }
      if (count == 1) {
        applies = true;
        VOK_ATOM_NODE* periphery = term->get_my_node();
        if (mode == AUTOMATIC && !have_c2p_assignment(periphery, &m))
          l_internal_error("have_c2p_assignment(dst_node, &new_matrix)", __LINE__);
        const unsigned tr =
            translated_port_gid(get_top_level_port_gid<VOK_ATOM_ITERM*>(periphery, term, false), false, false);
        skip = tr == l_illegal_gid;
        if (!skip && m_check_core_ff_constrained_on_both_sides &&
            core_ff_input_connect_to_periphery_through_at_most_one_lut(atom)) {
          msg_vdebug_impl(2,
                          "User set c2p on atom %d-%s, but this atom's input also connect to periphery atom either "
                          "directly or through one lut, skipping",
                          atom->get_id(), name.c_str());
          skip = true;
        }
        if (!skip) {
          take_up_transfer(groups, false, atom, periphery, term, atom, periphery, m, tr);
          candidates.insert(atom->get_id());
        }
      }
    }
    if (!applies && mode != AUTOMATIC) l_post_wrong_core_register(atom);
  }

  collect_blacklist(candidates);

  int totals[2] = {0, 0};
  for (int d = 0; d < 2; ++d) {
    auto& dests = d == 0 ? p2c_dests : c2p_dests;
    for (const auto& s : groups.gids[d]) {
      dests.emplace_back(s.begin(), s.end());
      totals[d] += static_cast<int>(s.size());
    }
  }
  msg_vdebug_impl(2, "p2c: got %d targeted paths", totals[0]);
  msg_vdebug_impl(2, "c2p: got %d targeted paths", totals[1]);
  return true;
}

void VELMO_PERIPHERY_CORE_PLACEMENT::collect_blacklist(const std::unordered_set<int>& candidates) {
  const OXTER_LOCATION_CONSTRAINT* loc = OXTER_LOCATION_CONSTRAINT::of(m_oxter_env);
  for (VOK_ATOM_NODE* atom : m_atom_netlist->nodes(VOK_TRAVERSE_HIERARCHICAL)) {
    if (!atom->is_ff() && !atom->is_lcell_comb() && !atom->is_lutram()) continue;
    if (candidates.count(atom->get_id()) != 0 || ZEL_ATOM_UTIL::is_zota_marked_reg_with_place_check(atom, true)) continue;
    if (loc->is_location_fixed(atom)) {
      int x, y, sub, extra;
      loc->get_fixed_location(atom, x, y, sub, extra);
      if (m_verbose)
        msg_vdebug_impl(2, "adding location to p2c flow solver blacklist - (%d, %d) - (%d-%s, %d)", x, y, atom->get_id(),
                        atom->get_string_hpath().c_str(), sub);
      m_blacklisted_locs[{x, y}].push_back(atom);
      continue;
    }
    const auto regions = loc->get_region_rectangles(atom);
    if (regions.size() != 1) continue;
    const auto& r = regions[0];
    if (std::find(r.begin(), r.end(), -1) != r.end() || r[0] > r[2] || r[1] > r[3]) continue;
    if ((r[2] + 1 - r[0]) * (r[3] + 1 - r[1]) != 1) continue;
    if (m_verbose)
      msg_vdebug_impl(2, "node %d-%s has the following 1*1 region constraint (%d, %d), adding to p2c flow solver blacklist",
                      atom->get_id(), atom->get_string_hpath().c_str(), r[0], r[1]);
    m_blacklisted_locs[{r[0], r[1]}].push_back(atom);
  }
}

bool VELMO_PERIPHERY_CORE_PLACEMENT::get_uib_esram_dst_locs(
    std::unordered_map<unsigned, std::vector<int>>& dests_by_clock_driver) {
  for (VOK_ATOM_NODE* atom : m_atom_netlist->nodes(VOK_TRAVERSE_HIERARCHICAL)) {
    if (l_placed(atom) || atom->get_default_dev_element() != l_dev_element_ff) continue;
    const bool automatic = l_option_is(atom, l_uib_esram_c2p, 2);
    if (l_option_is(atom, l_p2c_router_wires, -1) || l_option_is(atom, l_c2p_router_wires, -1)) continue;
    VOK_ATOM_OTERM* dout = l_data_out(atom);
    if (dout == nullptr) continue;
    const std::string name = atom->get_string_hpath();
    if (!dout->has_fanout_exactly(1, VOK_TRAVERSE_HIERARCHICAL)) {
      if (m_verbose && automatic) {
        msg_vdebug_impl(2, "%s has %d fanouts to following UIB ports", name.c_str(), dout->count_flatten_fanouts());
        for (VOK_ATOM_ITERM* f : dout->fanout(VOK_TRAVERSE_HIERARCHICAL))
          msg_vdebug_impl(2, "   %s %s %d ", f->get_my_node()->get_string_hpath().c_str(),
                          TWY_TRANSLATOR::get_debug_name(TWY_TRANSLATOR::INPUT_PORT_TYPE, f->get_port_type()).c_str(),
                          static_cast<int>(static_cast<std::uint16_t>(f->get_index())));
      }
      continue;
    }
    VOK_ATOM_ITERM* fanout = dout->get_only_fanout_or_die(VOK_TRAVERSE_HIERARCHICAL);
    if (fanout == nullptr) l_internal_error("fanout", __LINE__);
    VOK_ATOM_NODE* periphery = fanout->get_my_node();
    if (periphery == nullptr) l_internal_error("dst_node", __LINE__);
    if (!ZEL_ATOM_UTIL::must_be_in_periphery(periphery->get_basic_type()) && !ZEL_ATOM_UTIL::is_periphery_ff(periphery))
      continue;
    if (!automatic && !have_uib_esram_c2p_assignment(periphery)) continue;
    if (!l_placed(periphery)) l_internal_error("dst_node->get_location_element() != DEV_ELEMENT_INVALID", __LINE__);
    const unsigned tr =
        translated_port_gid(get_top_level_port_gid<VOK_ATOM_ITERM*>(periphery, fanout, false), false, true);
    if (tr == l_illegal_gid) continue;

    const auto& sites = m_place_info->get_location_table();
    const std::size_t index = static_cast<unsigned>(periphery->get_location_index()) & 0x7FFFFFFFu;
    m_c2p_result_status_map[name] = NOT_OPTIMIZED;
    m_c2p_connections.emplace_back(atom, periphery, fanout);
    msg_vdebug_impl(2, "UIB ESRAM Periphery -> name: %s   x: %d   y: %d       Core -> name: %d:%s ",
                    periphery->get_string_hpath().c_str(), index < sites.size() ? sites[index].x : -1,
                    index < sites.size() ? sites[index].y : -1, atom->get_id(), name.c_str());
    // The clock domain is the clock's driver: a missing or open clock has
    // none, nor has one tied to a constant (connected without a source).
    VOK_ATOM_ITERM* clock = atom->get_input_term_by_type(DB_INPUT_PORT_CLK, 0);
    VOK_ATOM_OTERM* clock_driver = vok_is_connected(clock) ? clock->get_source(VOK_TRAVERSE_HIERARCHICAL) : nullptr;
    if (clock_driver == nullptr)
      l_internal_error("::vok_is_connected(clock_iterm) && !clock_iterm->is_vcc_or_gnd()", __LINE__);
    dests_by_clock_driver[static_cast<unsigned>(clock_driver->get_my_node()->get_id())].push_back(static_cast<int>(tr));
    m_port_gid_to_core_node_map[static_cast<int>(tr)] = atom;
    m_r5t->set_atom_metadata(atom->get_id(), PELK::intern(4, "P2C_ZOTA"), PELK::intern(4, "UIB_ESRAM_C2P_ORIG"));
  }
  return true;
}

bool VELMO_PERIPHERY_CORE_PLACEMENT::get_interested_dst_locs_from_set_net_delay_sdc(std::vector<std::vector<int>>&,
                                                                                   std::vector<std::vector<int>>&,
                                                                                   std::vector<P2C_MATRIX_STRUCT>&,
                                                                                   std::vector<P2C_MATRIX_STRUCT>&) {
  for (const auto& [edge, delay] : hov_get_accessories()->get_set_net_delays()) {
    if (!m_verbose) continue;
    KEM_NODE* src = edge->get_src_node();
    KEM_NODE* dst = edge->get_dst_node();
    msg_vdebug_impl(2, "KEM_NODE set_net_delay: from %s to %s, with delay %d", src->get_string_name().c_str(),
                    dst->get_string_name().c_str(), delay);
    const VOK_ATOM_NODE* sa = src->get_atom();
    const VOK_ATOM_NODE* da = dst->get_atom();
    msg_vdebug_impl(2, "VOK_ATOM_NODE set_net_delay: from %s to %s, with delay %d",
                    sa ? sa->get_string_hpath().c_str() : "", da ? da->get_string_hpath().c_str() : "", delay);
  }
  return true;
}
