// The periphery-core placement engine: the two passes, one group of transfer
// destinations handed to the host's solver with the retry of what it leaves
// over, the commit of solved chains (placement, cell mappings, routing) and
// the report of what was done.
#include <algorithm>
#include <array>
#include <cstdio>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "big_time/big_time.h"
#include "cfg/cfg.h"
#include "cmp/cmp_facade.h"
#include "dev/dev_basic_info.h"
#include "gen/gen_profile.h"
#include "hov/hov_utility.h"
#include "juk_forest_detail_sys.h"
#include "msg/msg_internal_error.h"
#include "oxter/oxter_location_constraint.h"
#include "pelk/pelk_symbol.h"
#include "r5t/r5t_interface.h"
#include "tibex/tibex_location_constraint.h"
#include "twy/twy_translator.h"
#include "velmo_debug.h"
#include "velmo_expert.h"
#include "velmo_main.h"
#include "velmo_msgs.h"
#include "velmo_periphery_to_core_placement.h"
#include "velmo_retimer.h"
#include "vok/vok_atom_netlist.h"
#include "vok/vok_chip_db_entry.h"
#include "vok/vok_re_routing.h"
#include "wexan/wexan_c2p_solver.h"
#include "wexan/wexan_design.h"
#include "wexan/wexan_env.h"
#include "wexan/wexan_utilities.h"
#include "wump/wump_die_info.h"
#include "wump/wump_route_info.h"

namespace {

float l_delay_seconds(const BIG_TIME& t) {
  const long long ps = t.get_ps();
  if (ps == -2147483647LL) return -3.0e38f;
  return static_cast<float>(static_cast<double>(ps) * 1e-12);
}

std::vector<int> l_minus(const std::vector<int>& a, const std::vector<int>& b) {
  const std::set<int> drop(b.begin(), b.end());
  std::vector<int> out;
  for (int v : a)
    if (drop.count(v) == 0) out.push_back(v);
  std::sort(out.begin(), out.end());
  return out;
}

// The destination a chain solves: the port end (root going out of the
// periphery, leaf going into it).
int l_destination(const JUK::FOREST<int, int>& f, int root, bool p2c) {
  if (p2c) return f.payload(root);
  int id = root;
  while (f.first_child(id) != -1) id = f.first_child(id);
  return f.payload(id);
}

// Merges `from` into `to`; the trees of `to` solving a destination `from`
// solves too are dropped first, so the latest solve wins and no chain branches.
void l_merge_latest(JUK::FOREST<int, int>& to, JUK::FOREST<int, int>& from, bool p2c) {
  std::set<int> incoming;
  for (auto it = from.roots_begin(); it != from.roots_end(); ++it) incoming.insert(l_destination(from, it.id(), p2c));
  std::vector<int> stale;
  for (auto it = to.roots_begin(); it != to.roots_end(); ++it)
    if (incoming.count(l_destination(to, it.id(), p2c)) != 0) stale.push_back(it.id());
  for (int id : stale) to.erase(id);
  from.sort();
  to.sort();
  JUK::merge_forests(to, from, std::less<int>());
}

}  // namespace

JUK::FOREST<int, int> VELMO_PERIPHERY_CORE_PLACEMENT::call_solver(const std::vector<int>& dests,
                                                                  const P2C_MATRIX_STRUCT& m, bool p2c,
                                                                  bool wire_based, bool final_attempt,
                                                                  std::vector<int>& leftovers) {
  return wexan_solve_c2p_routing_problem(m_env, m_device, m_port_gid_to_core_node_map, m_default_timing_model.get(),
                                         m_local_scaling_factor, dests, m.min_wire, m.max_wire,
                                         l_delay_seconds(m.min_delay), l_delay_seconds(m.max_delay), m.location,
                                         m.region_constraint, p2c, wire_based, final_attempt, m_pre_occupied_re_gids,
                                         m_blacklisted_locs, m_switch_delays_cache, m_usable_wire_weight_cache,
                                         leftovers);
}

JUK::FOREST<int, int> VELMO_PERIPHERY_CORE_PLACEMENT::solve_group(const std::vector<int>& dests,
                                                                  const P2C_MATRIX_STRUCT& m, bool p2c,
                                                                  bool wire_based, std::vector<int>* first_leftovers) {
  const int effort = velmo_p2c_settings().p2c_effort_level;
  std::vector<int> leftovers;
  JUK::FOREST<int, int> forest = call_solver(dests, m, p2c, wire_based, false, leftovers);
  if (first_leftovers != nullptr) *first_leftovers = leftovers;
  if (leftovers.empty()) return forest;

  std::vector<int> working = l_minus(dests, leftovers);
  std::size_t last_solved = dests.size();
  JUK::FOREST<int, int> last_working;
  bool have_working = false;
  for (int iteration = 0; iteration < effort && !leftovers.empty() && last_solved > 1 &&
                          leftovers.size() != last_solved;
       ++iteration) {
    if (m_verbose)
      msg_vdebug_impl(2, "LEVEL %d, we got %d leftovers, starting another try", iteration,
                      static_cast<int>(leftovers.size()));
    std::vector<int> tough_leftovers;
    JUK::FOREST<int, int> tough = call_solver(leftovers, m, p2c, wire_based, true, tough_leftovers);
    if (!tough_leftovers.empty()) {
      if (m_verbose)
        msg_vdebug_impl(2, "failed to find solution for tough set, adding %d leftovers to working set to run again",
                        static_cast<int>(tough_leftovers.size()));
      working.insert(working.end(), tough_leftovers.begin(), tough_leftovers.end());
      std::sort(working.begin(), working.end());
    }
    std::vector<int> next_leftovers;
    last_working = call_solver(working, m, p2c, wire_based, iteration == effort - 1, next_leftovers);
    have_working = true;
    l_merge_latest(forest, tough, p2c);
    last_solved = working.size();
    working = l_minus(working, next_leftovers);
    const bool no_progress =
        tough_leftovers.size() == leftovers.size() && next_leftovers.size() == leftovers.size();
    leftovers = std::move(next_leftovers);
    if (no_progress) break;
  }
  if (have_working) l_merge_latest(forest, last_working, p2c);
  drop_conflicting_chains(forest, p2c);
  return forest;
}

// Chains kept in destination order; one reusing a routing element or a
// register site of a chain kept before it is dropped (its destination stays
// unsolved).
void VELMO_PERIPHERY_CORE_PLACEMENT::drop_conflicting_chains(JUK::FOREST<int, int>& forest, bool p2c) {
  std::vector<std::pair<int, int>> order;  // (destination, root id)
  for (auto it = forest.roots_begin(); it != forest.roots_end(); ++it)
    order.push_back({l_destination(forest, it.id(), p2c), it.id()});
  std::sort(order.begin(), order.end());
  std::set<int> elements;
  std::set<unsigned> sites;
  std::vector<int> drop;
  for (const auto& [dest, root] : order) {
    std::vector<int> chain;
    for (int id = root; id != -1; id = forest.first_child(id)) chain.push_back(forest.payload(id));
    const int mux = p2c ? chain.back() : chain.front();
    const unsigned site = p2c ? get_ff_gid_from_lab_re_input_port(mux).second : get_ff_gid_from_lab_re_output_port(mux);
    bool clash = sites.count(site) != 0;
    for (int g : chain) clash = clash || elements.count(g) != 0;
    if (clash) {
      drop.push_back(root);
      continue;
    }
    elements.insert(chain.begin(), chain.end());
    sites.insert(site);
  }
  for (int root : drop) forest.erase(root);
}

// ---- committing chains ------------------------------------------------------------------------

namespace {

constexpr unsigned l_gid_bit = 0x80000000u;
// Tracking case of the mixed R5T cell workaround.
constexpr unsigned long long kMixedR5tBlesCase = 419114ull;
constexpr unsigned l_illegal_gid = 0xFFFFFFFFu;

[[noreturn]] void l_engine_error(const char* condition, int line) {
  MSG_INTERNAL_ERROR::report(condition, "VELMO", "velmo_periphery_core_engine", line);
}

// The payloads of one tree, root first; every node but the leaf has exactly
// one child.
std::vector<int> l_chain(const JUK::FOREST<int, int>& f, int root) {
  std::vector<int> out;
  for (int id = root;;) {
    out.push_back(f.payload(id));
    const int child = f.first_child(id);
    if (child == -1) break;
    if (f.last_child(id) != child) l_engine_error("network.get_num_children(leaf_id) == 1", __LINE__);
    id = child;
  }
  return out;
}

std::vector<int> l_roots(const JUK::FOREST<int, int>& f) {
  std::vector<int> out;
  for (auto it = f.roots_begin(); it != f.roots_end(); ++it) out.push_back(it.id());
  return out;
}

const char* l_element_name(int element) {
  const PELK s = puve_enum_to_symbol(static_cast<DEV_ELEMENT_ENUM>(element));
  return s.is_null() ? "?" : s.cname();
}

}  // namespace

VELMO_PERIPHERY_CORE_PLACEMENT::RESULT_STATUS VELMO_PERIPHERY_CORE_PLACEMENT::p2c_result_status(
    const std::string& name) const {
  const RESULT_STATUS* s = m_p2c_result_status_map.lookup(name);
  return s == nullptr ? NOT_OPTIMIZED : *s;
}

VELMO_PERIPHERY_CORE_PLACEMENT::RESULT_STATUS VELMO_PERIPHERY_CORE_PLACEMENT::c2p_result_status(
    const std::string& name) const {
  const RESULT_STATUS* s = m_c2p_result_status_map.lookup(name);
  return s == nullptr ? NOT_OPTIMIZED : *s;
}

int VELMO_PERIPHERY_CORE_PLACEMENT::p2c_publish_placement_to_vpr(JUK::FOREST<int, int>& forest, bool with_routing) {
  return publish_placement(forest, true, nullptr, with_routing);
}

int VELMO_PERIPHERY_CORE_PLACEMENT::c2p_publish_placement_to_vpr(JUK::FOREST<int, int>& forest,
                                                                std::vector<VOK_ATOM_NODE*>& rejected,
                                                                bool with_routing) {
  return publish_placement(forest, false, &rejected, with_routing);
}

// Chains run from signal source to sink: the P2C register is found at the
// root (its port) and sits behind the leaf (a LAB input); the C2P register is
// found at the leaf (its port) and sits behind the root (a LAB output).
int VELMO_PERIPHERY_CORE_PLACEMENT::publish_placement(JUK::FOREST<int, int>& forest, bool p2c,
                                                      std::vector<VOK_ATOM_NODE*>* rejected, bool with_routing) {
  const OXTER_LOCATION_CONSTRAINT* view = OXTER_LOCATION_CONSTRAINT::of(m_oxter_env);
  const int family = m_env->get_base_family_code();
  std::vector<int> erase;
  int count = 0;
  for (int root : l_roots(forest)) {
    const std::vector<int> chain = l_chain(forest, root);
    const int port = p2c ? chain.front() : chain.back();
    const int mux = p2c ? chain.back() : chain.front();
    VOK_ATOM_NODE* const* found = m_port_gid_to_core_node_map.lookup(port);
    VOK_ATOM_NODE* atom = found == nullptr ? nullptr : *found;
    if (atom == nullptr) l_engine_error("atom_to_place", __LINE__);
    bool direct = false;
    unsigned gid;
    if (p2c)
      std::tie(direct, gid) = get_ff_gid_from_lab_re_input_port(mux);
    else
      gid = get_ff_gid_from_lab_re_output_port(mux);
    if (gid == l_illegal_gid) l_engine_error("ff_location_gid != DEV_ILLEGAL_GLOBAL_ID", __LINE__);
    const auto block = m_place_info->get_place_block(gid);
    if (!block) l_engine_error("ff_location_gid != DEV_ILLEGAL_GLOBAL_ID", __LINE__);
    const int element = static_cast<int>(block->get_element_enum());
    const int x = block->get_x(), y = block->get_y(), z = block->get_sub_location();

    bool already_there = false;
    if (view->has_location(atom) && view->is_location_fixed(atom)) {
      int fx, fy, fz, extra;
      view->get_fixed_location(atom, fx, fy, fz, extra);
      const auto fixed = m_place_info->get_place_block(m_place_info->get_global_id(0, fx, fy, fz));
      already_there = fixed && fx == x && fy == y && fz == z && static_cast<int>(fixed->get_element_enum()) == element;
    }
    if (!already_there && !view->may_take(atom, gid)) {
      erase.push_back(root);
      if (rejected != nullptr) rejected->push_back(atom);
      continue;
    }
    atom->set_location(gid, element);

    if (with_routing && p2c) {
      const std::string re_name = m_route_info->get_name(static_cast<unsigned>(mux) | l_gid_bit);
      // Only inputs the route information names after their local
      // interconnect port carry a cell mapping.
      if (re_name.find("LEIM") != std::string::npos) {
        m_r5t->set_atom_mapping(atom->get_input_term_by_type(DB_INPUT_PORT_DATA_IN, 0),
                                PELK::intern(1, leim_to_port_name(re_name)), false);
        m_r5t->set_atom_metadata(atom->get_id(), PELK::intern(4, "USE_WIRELUT"),
                                 PELK::intern(4, direct ? "WIRELUT_DISABLE" : "WIRELUT_ENABLE"));
        m_netlist_modified = true;
      }
    } else if (with_routing && family != 48 && family != 15) {
      const std::string re_name = m_route_info->get_name(static_cast<unsigned>(mux) | l_gid_bit);
      if (!re_name.empty()) {
        const std::string cell = labout_to_port_name(re_name);
        msg_vdebug_impl(2, " jev port mapping is %s", cell.c_str());
        m_r5t->set_atom_mapping(atom->get_output_term_by_type(DB_OUTPUT_PORT_REG, 0), PELK::intern(1, cell), false);
        m_netlist_modified = true;
      }
    }

    m_r5t->set_atom_metadata(atom->get_id(), PELK::intern(4, "LOCATION_LOCK"), PELK::intern(4, "LOCKED"));
    ++count;
    const std::string name = atom->get_string_hpath();
    (p2c ? m_p2c_result_status_map : m_c2p_result_status_map)[name] = with_routing ? PLACED_AND_ROUTED : PLACED_NOT_ROUTED;
    m_blacklisted_locs[{x, y}].push_back(atom);
    if (m_verbose) {
      msg_vdebug_impl(2, "Core Register -> name: %s lab_re id: %d     x:%d    y:%d    z:%d", name.c_str(), mux, x, y, z);
      const std::string at = "X" + std::to_string(x) + "_Y" + std::to_string(y) + "_N" + std::to_string(z);
      msg_vdebug_impl(2, "Placing atom %s with type %s to location with type %s:%s", name.c_str(),
                      l_element_name(atom->get_default_dev_element()), l_element_name(element), at.c_str());
    }
  }
  for (int root : erase) forest.erase(root);
  return count;
}

void VELMO_PERIPHERY_CORE_PLACEMENT::publish_routing_to_crf(const JUK::FOREST<int, int>& forest,
                                                            VOK_RE_ROUTING_MODIFIER& modifier, bool hard) {
  const auto unified = [this](int gid) -> int {
    const auto it = m_gid_to_unified_network_node_map.find(static_cast<unsigned>(gid) | l_gid_bit);
    return it == m_gid_to_unified_network_node_map.end() ? -1 : it->second;
  };
  for (int root : l_roots(forest)) {
    const std::vector<int> chain = l_chain(forest, root);
    VOK_ATOM_NODE* const* p2c_reg = m_port_gid_to_core_node_map.lookup(chain.front());
    int source, sink;
    std::size_t first = 0, last = chain.size();  // the chain's elements that become new wires
    if (p2c_reg != nullptr) {
      VOK_ATOM_NODE* ff = *p2c_reg;
      if (ff == nullptr) l_engine_error("ff_atom", __LINE__);
      VOK_ATOM_ITERM* input = ff->get_input_term_by_type(DB_INPUT_PORT_DATA_IN, 0);
      source = unified(chain.front());
      if (source != -1)
        first = 1;  // the port's node is already in the routing
      else
        source = modifier.insert_source(input->get_source(VOK_TRAVERSE_HIERARCHICAL), nullptr);
      sink = modifier.insert_sink(source, input);
    } else {
      VOK_ATOM_NODE* const* c2p_reg = m_port_gid_to_core_node_map.lookup(chain.back());
      VOK_ATOM_NODE* ff = c2p_reg == nullptr ? nullptr : *c2p_reg;
      if (ff == nullptr) l_engine_error("ff_atom", __LINE__);
      VOK_ATOM_OTERM* output = ff->get_output_term_by_type(DB_OUTPUT_PORT_REG, 0);
      source = modifier.insert_source(output, nullptr);
      sink = unified(chain.back());
      if (sink != -1)
        last = chain.size() - 1;
      else
        sink = modifier.insert_sink(source, output->get_first_fanout(VOK_TRAVERSE_HIERARCHICAL));
    }
    int current = sink;
    for (std::size_t k = last; k > first; --k) current = modifier.insert_wire_as_parent(current, static_cast<unsigned>(chain[k - 1]));
    modifier.move_tree_under(source, current);
  }
  if (cfg_is_on("velmo_p2c_mark_routing_hard", hard)) {
    if (m_verbose) msg_vdebug_impl(2, "publish as hard!");
    std::set<int>& hard_gids = m_chip_db_entry->explicit_hard_routing_constraint_gids();
    for (int root : l_roots(forest))
      for (int g : l_chain(forest, root)) hard_gids.insert(g);
  } else if (m_verbose) {
    msg_vdebug_impl(2, "publish as soft!");
  }
}

// ---- the passes ---------------------------------------------------------------------------------

namespace {

bool l_wire_requirement(const P2C_MATRIX_STRUCT& m) {
  return m.min_delay.get_ps() == DEFAULT_MIN_DELAY.get_ps() && m.max_delay.get_ps() == DEFAULT_MAX_DELAY.get_ps();
}

std::string l_name_of(const ZMP_HASH_LITE<int, VOK_ATOM_NODE*>& map, int gid) {
  VOK_ATOM_NODE* const* a = map.lookup(gid);
  return a == nullptr || *a == nullptr ? std::string() : (*a)->get_string_hpath();
}

}  // namespace

bool VELMO_PERIPHERY_CORE_PLACEMENT::run_group(int index, const std::vector<int>& dests, const P2C_MATRIX_STRUCT& m,
                                               bool p2c, VOK_RE_ROUTING_MODIFIER& modifier, GROUP_RESULTS& results) {
  if (m.max_wire < m.min_wire) {
    msg_post(MSG_VELMO::E::VELMO_P2C_WRONG_MAX_WIRE_VALUE(m.max_wire, m.min_wire), nullptr);
    return false;
  }
  if (m.max_delay.get_ps() < m.min_delay.get_ps()) {
    msg_post(MSG_VELMO::E::VELMO_P2C_WRONG_MAX_DELAY_VALUE(m.max_delay.to_string(), m.min_delay.to_string()), nullptr);
    return false;
  }
  const bool wire_based = l_wire_requirement(m);
  bool with_routing;
  if (!wire_based)
    with_routing = m_publish_routing;
  else if (m_publish_routing_for_wire_based)
    with_routing = m_publish_routing;
  else
    with_routing = p2c && m_publish_routing && m.router_lock;
  if (m_verbose) {
    if (!p2c) msg_vdebug_impl(2, "working on c2p group %d with size %d", index, static_cast<int>(dests.size()));
    msg_vdebug_impl(2, "%s matrix: %g(max), %g(min)", p2c ? "p2c" : "c2p", m.max_delay.get_ps() * 1e-12,
                    m.min_delay.get_ps() * 1e-12);
  }

  std::vector<int> first_leftovers;
  JUK::FOREST<int, int> forest = solve_group(dests, m, p2c, wire_based, &first_leftovers);
  if (!p2c) {
    msg_vdebug_impl(2, " leftovers are: ");
    for (int gid : first_leftovers) msg_vdebug_impl(2, "    %s", l_name_of(m_port_gid_to_core_node_map, gid).c_str());
  }

  const int solved = static_cast<int>(l_roots(forest).size());
  const int size = static_cast<int>(dests.size());
  if (!m_slack_estimation_eligible && m_disallow_partial_placement && solved < size) {
    MSG_BASE* warning = p2c ? static_cast<MSG_BASE*>(MSG_VELMO::W::VELMO_P2C_UNSUCCESSFUL(
                                  size - solved, size, user_friendly_p2c_matrix(m), size))
                            : static_cast<MSG_BASE*>(MSG_VELMO::W::VELMO_C2P_UNSUCCESSFUL(
                                  size - solved, size, user_friendly_p2c_matrix(m), size));
    const std::string example = dests.empty() ? std::string() : l_name_of(m_port_gid_to_core_node_map, dests.front());
    if (example.empty()) {
      delete warning;
      l_engine_error("example_atom", __LINE__);
    }
    warning->add_sub_message(MSG_VELMO::I::VELMO_P2C_UNSUCCESSFUL_EXAMPLE_NODE(example));
    msg_post(warning, nullptr);
  }

  if (solved == size || !m_disallow_partial_placement) {
    if (m_verbose) msg_vdebug_impl(2, p2c ? "place and route:finish group %d" : "place & route:finish group %d", index);
    std::vector<VOK_ATOM_NODE*> rejected;
    const int committed = p2c ? p2c_publish_placement_to_vpr(forest, with_routing)
                              : c2p_publish_placement_to_vpr(forest, rejected, with_routing);
    results[index] = {committed, size, with_routing ? PLACED_AND_ROUTED : PLACED_NOT_ROUTED};
    if (with_routing) publish_routing_to_crf(forest, modifier, true);
  } else {
    if (m_verbose) msg_vdebug_impl(2, "only place:finish group %d", index);
    std::vector<VOK_ATOM_NODE*> rejected;
    const int committed =
        p2c ? p2c_publish_placement_to_vpr(forest, false) : c2p_publish_placement_to_vpr(forest, rejected, false);
    results[index] = {committed, size, PLACED_NOT_ROUTED};
  }
  return true;
}

void VELMO_PERIPHERY_CORE_PLACEMENT::run_direction(bool p2c, const std::vector<std::vector<int>>& groups,
                                                   const std::vector<P2C_MATRIX_STRUCT>& matrices,
                                                   VOK_RE_ROUTING_MODIFIER& modifier, bool& ok) {
  if (groups.empty()) return;
  const std::string routing_text = m_publish_routing ? "and routing " : "";
  msg_post(p2c ? static_cast<MSG_BASE*>(MSG_VELMO::I::VELMO_P2C_START_INFO(routing_text))
               : static_cast<MSG_BASE*>(MSG_VELMO::I::VELMO_C2P_START_INFO(routing_text)),
           nullptr);
  GEN_STOPWATCH watch;
  watch.start();
  GROUP_RESULTS results;
  for (std::size_t i = 0; i < groups.size(); ++i)
    if (!run_group(static_cast<int>(i), groups[i], matrices[i], p2c, modifier, results)) {
      ok = false;
      return;
    }
  if (m_verbose) msg_vdebug_impl(2, "result size is %d", static_cast<int>(results.size()));
  watch.stop();
  MSG_BASE* finish = p2c ? static_cast<MSG_BASE*>(MSG_VELMO::I::VELMO_P2C_FINISH_INFO(routing_text, watch.get_elapsed_time_str()))
                         : static_cast<MSG_BASE*>(MSG_VELMO::I::VELMO_C2P_FINISH_INFO(routing_text, watch.get_elapsed_time_str()));
  std::vector<int> order;
  for (const auto& [index, result] : results) order.push_back(index);
  std::sort(order.begin(), order.end());
  if (!m_slack_estimation_eligible) {
    for (int index : order) {
      const auto& [committed, size, status] = results[index];
      char of[32];
      std::snprintf(of, sizeof of, " of %d", size);
      finish->add_sub_message(MSG_VELMO::I::VELMO_P2C_RESULT_INFO(status == PLACED_AND_ROUTED ? "and routed " : "",
                                                                  committed, of,
                                                                  user_friendly_p2c_matrix(matrices[index])));
    }
  } else {
    int place_only = 0, place_route = 0, total = 0;
    for (int index : order) {
      const auto& [committed, size, status] = results[index];
      (status == PLACED_AND_ROUTED ? place_route : place_only) += committed;
      total += size;
    }
    if (place_only > 0) finish->add_sub_message(MSG_VELMO::I::VELMO_P2C_TOTAL_RESULT_PLACE_ONLY_INFO(place_only, total));
    if (place_route > 0)
      finish->add_sub_message(MSG_VELMO::I::VELMO_P2C_TOTAL_RESULT_PLACE_ROUTE_INFO(place_route, total));
    if (place_only == 0 && place_route == 0) finish->add_sub_message(MSG_VELMO::I::VELMO_P2C_TOTAL_NO_OPTIMIZATION_INFO());
  }
  msg_post(finish, nullptr);
}

bool VELMO_PERIPHERY_CORE_PLACEMENT::periphery_to_core_register_placement() {
  VELMO_SCOPED_PROFILE_BIN bin("Periphery Core Transfer Optimization", "VPR - Other", "VELMO");
  if (m_slack_estimation_eligible) p2c_slack_estimation();
  std::vector<std::vector<int>> p2c_dests, c2p_dests;
  std::vector<P2C_MATRIX_STRUCT> p2c_matrices, c2p_matrices;
  if (!get_interested_dst_locs(p2c_dests, c2p_dests, p2c_matrices, c2p_matrices)) return false;
  if (m_verbose) {
    msg_vdebug_impl(2, "# of p2c groups: %d", static_cast<int>(p2c_dests.size()));
    msg_vdebug_impl(2, "# of c2p groups: %d", static_cast<int>(c2p_dests.size()));
  }
  if (p2c_dests.size() != p2c_matrices.size()) l_engine_error("p2c_dests.size() == p2c_matrix_vec.size()", __LINE__);
  if (c2p_dests.size() != c2p_matrices.size()) l_engine_error("c2p_dests.size() == c2p_matrix_vec.size()", __LINE__);
  if (!p2c_dests.empty() || !c2p_dests.empty()) {
    if (m_env->get_base_family_code() == 48)
      build_switch_delays_cache();
    else
      build_usable_wire_weight_cache();
  }
  bool ok = true;
  {
    VOK_RE_ROUTING_MODIFIER modifier(*m_chip_db_entry->get_routing(), "p2c_c2p_register_placement", false, false);
    run_direction(true, p2c_dests, p2c_matrices, modifier, ok);
    if (ok) run_direction(false, c2p_dests, c2p_matrices, modifier, ok);
    if (!ok) return false;
    if (m_netlist_modified) {
      static bool announced = false;
      velmo_print_hack_notice(announced, __FILE__, __LINE__, kMixedR5tBlesCase,
                              "Mark ALMs illegal when R5T BLEs are mixed with non-R5T BLEs after periphery-core "
                              "register transfers changed the cell mappings");
      cfg_set_on("vpr_illegal_alm_when_r5t_bles_mixed_with_non_r5t_bles");
    }
    if (cfg_is_on("velmo_show_p2c_report", true)) generate_p2c_optimization_report();
  }
  return true;
}

namespace {

// A collected connection by its atoms' names, its netlists and the load's
// input port, so that it can be found again after atoms were re-created.
struct NAMED_CONNECTION {
  VOK_ATOM_NETLIST* src_netlist;
  std::string src;
  VOK_ATOM_NETLIST* dst_netlist;
  std::string dst;
  int port;
  int index;
};

using CONNECTIONS = std::vector<std::tuple<VOK_ATOM_NODE*, VOK_ATOM_NODE*, VOK_ATOM_ITERM*>>;

std::vector<NAMED_CONNECTION> name_connections(const CONNECTIONS& list) {
  std::vector<NAMED_CONNECTION> out;
  for (const auto& [src, dst, term] : list)
    out.push_back({src->get_parent_netlist(), src->get_string_hpath(), dst->get_parent_netlist(),
                   dst->get_string_hpath(), static_cast<int>(term->get_port_type()), term->get_index()});
  return out;
}

// Replaces `list` with the named connections whose atoms and load term still
// exist.
void rebind_connections(const std::vector<NAMED_CONNECTION>& named, CONNECTIONS& list) {
  std::map<const VOK_ATOM_NETLIST*, std::map<std::string, VOK_ATOM_NODE*>> by_name;
  auto find = [&by_name](VOK_ATOM_NETLIST* netlist, const std::string& name) -> VOK_ATOM_NODE* {
    auto [it, fresh] = by_name.try_emplace(netlist);
    if (fresh)
      for (VOK_ATOM_NODE* a : netlist->get_atom_list()) it->second.emplace(a->get_string_hpath(), a);
    const auto found = it->second.find(name);
    return found == it->second.end() ? nullptr : found->second;
  };
  list.clear();
  for (const NAMED_CONNECTION& n : named) {
    VOK_ATOM_NODE* src = find(n.src_netlist, n.src);
    VOK_ATOM_NODE* dst = find(n.dst_netlist, n.dst);
    VOK_ATOM_ITERM* term =
        dst == nullptr ? nullptr : dst->get_input_term_by_type(static_cast<DB_INPUT_PORT_TYPE>(n.port), n.index);
    if (src != nullptr && term != nullptr) list.emplace_back(src, dst, term);
  }
}

}  // namespace

bool VELMO_PERIPHERY_CORE_PLACEMENT::UIB_ESRAM_C2P_core_register_placement() {
  VELMO_SCOPED_PROFILE_BIN bin("UIB/ESRAM C2P Optimization", "VPR - Other", "VELMO");
  if (!place_and_route_c2p_lcell()) return false;
  std::unordered_map<unsigned, std::vector<int>> by_domain;
  const bool found = get_uib_esram_dst_locs(by_domain);
  if (by_domain.empty()) return true;
  build_usable_wire_weight_cache();
  VOK_RE_ROUTING_MODIFIER modifier(*m_chip_db_entry->get_routing(), "uib_esram_c2p", false, false);
  std::vector<unsigned> domains;
  for (const auto& [domain, dests] : by_domain) domains.push_back(domain);
  std::sort(domains.begin(), domains.end());

  P2C_MATRIX_STRUCT near;
  near.min_wire = 0;
  near.max_wire = 1;
  P2C_MATRIX_STRUCT relaxed = near;
  relaxed.max_wire = 3;
  std::vector<VOK_ATOM_NODE*> rejected;
  for (unsigned domain : domains) {
    std::vector<int> dests = by_domain[domain];
    std::sort(dests.begin(), dests.end());
    // The first solve's elements are given back before its solved part is
    // solved again alone, since that result replaces the first.
    const ZMP_HASH_SET_LITE<int> occupied_before = m_pre_occupied_re_gids;
    std::vector<int> leftovers;
    JUK::FOREST<int, int> forest = call_solver(dests, near, false, true, false, leftovers);
    if (!leftovers.empty()) {
      if (m_verbose) msg_vdebug_impl(2, "We got %d leftovers, starting another try", static_cast<int>(leftovers.size()));
      m_pre_occupied_re_gids = occupied_before;
      std::vector<int> resolve_leftovers;
      forest = call_solver(l_minus(dests, leftovers), near, false, true, false, resolve_leftovers);
      if (!resolve_leftovers.empty()) l_engine_error("tough_set_leftovers.empty()", __LINE__);
      std::vector<int> relaxed_leftovers;
      JUK::FOREST<int, int> far = call_solver(leftovers, relaxed, false, true, false, relaxed_leftovers);
      if (!relaxed_leftovers.empty()) {
        if (m_verbose)
          for (int gid : relaxed_leftovers) msg_vdebug_impl(2, "leftover: %u", static_cast<unsigned>(gid) | l_gid_bit);
        l_engine_error("tough_set_leftovers.empty()", __LINE__);
      }
      far.sort();
      forest.sort();
      JUK::merge_forests(forest, far, std::less<int>());
    }
    c2p_publish_placement_to_vpr(forest, rejected, true);
    publish_routing_to_crf(forest, modifier, true);
    msg_vdebug_impl(2, "UIB ESRAM C2P placed and route %d connections for this clock domain %d",
                    static_cast<int>(dests.size()), static_cast<int>(domain));
  }

  if (rejected.empty()) {
    if (cfg_is_on("yun_post_plan_uib_esram_c2p_retimer", true)) {
      m_env->run_w3j3(hov_get_atom_netlist_taint_manager());
      // The repopulation re-creates each register it moves into a pipeline
      // slot: the connections collected so far (read again by the report)
      // are found again by name afterwards.
      const auto p2c = name_connections(m_p2c_connections);
      const auto c2p = name_connections(m_c2p_connections);
      VELMO_RETIMER::dedicated_repopulate_uib_esram_c2p_core_atoms(m_env, modifier);
      rebind_connections(p2c, m_p2c_connections);
      rebind_connections(c2p, m_c2p_connections);
    }
    return found;
  }

  // Registers whose constraints refused their solved site, by region.
  const OXTER_LOCATION_CONSTRAINT* view = OXTER_LOCATION_CONSTRAINT::of(m_oxter_env);
  std::map<std::array<int, 4>, std::vector<std::string>> by_region;
  for (VOK_ATOM_NODE* atom : rejected) {
    const std::string name = atom->get_string_hpath();
    int x, y, z, extra;
    if (view->get_fixed_location(atom, x, y, z, extra)) {
      by_region[{x, y, x, y}].push_back(name);
      continue;
    }
    const TIBEX_LOCATION_CONSTRAINT c = m_env->get_design()->get_atom_location_constraint(atom->get_id());
    if (c.has_locked_constraint(0x4000)) {
      const TIBEX_LOCKED_CONSTRAINT l = c.get_locked_constraint(0x4000);
      by_region[{l.get_xmin(), l.get_ymin(), l.get_xmax(), l.get_ymax()}].push_back(name);
      continue;
    }
    msg_vdebug_impl(2,
                    "Found an atom %s that has neither location constraint nor region constraint, but failed during "
                    "uib esram placer",
                    name.c_str());
  }
  if (by_region.empty()) l_engine_error("!exsiting_region_constraint_map.empty()", __LINE__);
  MSG_BASE* error = MSG_VELMO::E::VELMO_P2C_C2P_ZOTA_INVALID_REGION_CONSTRAINT();
  for (const auto& [r, names] : by_region) {
    MSG_BASE* list = MSG_VELMO::I::VELMO_P2C_C2P_ZOTA_INVALID_REGION_CONSTRAINT_LIST(r[0], r[1], r[2], r[3]);
    for (const std::string& n : names) list->add_sub_message(MSG_VELMO::I::VELMO_P2C_C2P_ZOTA_INVALID_REGION_CONSTRAINT_NODE_NAME(n));
    error->add_sub_message(list);
  }
  msg_post(error, nullptr);
  return false;
}

// ---- the report -----------------------------------------------------------------------------------

void VELMO_PERIPHERY_CORE_PLACEMENT::generate_p2c_optimization_report() {
  if (m_p2c_connections.empty() && m_c2p_connections.empty()) return;
  WEXAN_PIZ_TABLE table(m_env);
  static const char* const status_text[] = {"Not Optimized", "Placed but Not Routed", "Placed and Routed"};
  for (const bool p2c : {true, false}) {
    table.set_wexan_piz_table_algorithm(p2c ? 11 : 12);
    table.push_reason(6);
    for (const auto& [src, dst, dst_term] : p2c ? m_p2c_connections : m_c2p_connections) {
      if (src->get_parent_netlist() != dst->get_parent_netlist()) continue;
      const VOK_ATOM_NODE* core = p2c ? dst : src;
      const RESULT_STATUS status =
          p2c ? p2c_result_status(core->get_string_hpath()) : c2p_result_status(core->get_string_hpath());
      const std::string text = status_text[static_cast<int>(status)];
      int action = 0;
      if (text == "Not Optimized") continue;
      if (text == "Placed but Not Routed") action = 14;
      else if (text == "Placed and Routed") action = 13;
      if (action == 0) l_engine_error("action != WEXAN_PIZ_NO_ACTION", __LINE__);
      WEXAN_PIZ_NETLIST_MOD row;
      row.name = src->get_string_hpath();
      row.wysiwyg_type = src->get_atom_type();
      row.action = action;
      const VOK_ATOM_OTERM* driver = dst_term->get_source(VOK_TRAVERSE_HIERARCHICAL);
      row.port = driver == nullptr ? std::string()
                                   : TWY_TRANSLATOR::get_debug_name(TWY_TRANSLATOR::OUTPUT_PORT_TYPE, driver->get_port_type());
      row.set_dest_node(dst->get_string_hpath());
      row.set_dest_type(dst->get_atom_type());
      row.dest_port = TWY_TRANSLATOR::get_debug_name(TWY_TRANSLATOR::INPUT_PORT_TYPE, dst_term->get_port_type());
      table.add_netlist_modification(row);
    }
    table.pop_reason();
  }
  table.flush();
}
