// The periphery-core placement engine: one group of transfer destinations
// handed to the host's solver, with the retry of what it leaves over.
#include <algorithm>
#include <functional>
#include <set>

#include "big_time/big_time.h"
#include "cmp/cmp_facade.h"
#include "dev/dev_basic_info.h"
#include "juk_forest_detail_sys.h"
#include "msg/msg_internal_error.h"
#include "velmo_debug.h"
#include "velmo_periphery_to_core_placement.h"
#include "wexan/wexan_c2p_solver.h"
#include "wexan/wexan_env.h"

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
