#include "wexan/wexan_c2p_solver.h"

#include <algorithm>
#include <unordered_set>

#include "common/host_call_log.h"
#include "common/host_script.h"
#include "dev/dev_basic_info.h"
#include "dev/dev_die_info.h"
#include "dev/dev_grid.h"
#include "tibex/tibex_location_constraint.h"
#include "vok/vok_atom_netlist.h"
#include "wexan/wexan_env.h"
#include "wump/wump_die_info.h"
#include "wump/wump_route_objects.h"

int wexan_c2p_register_sub_location(int family, int mux_index, bool p2c) {
  if (p2c) {
    if (mux_index < 0 || mux_index >= 80) return -1;
    const int k = mux_index / 8, rest = mux_index % 8;
    if (family == 48) {
      switch (rest) {
        case 0: return 6 * k + 1;
        case 1: return 6 * k + 2;
        case 6: return 6 * k + 4;
        case 7: return 6 * k + 5;
        default: return -1;
      }
    }
    if (family == 46 || family == 26) {
      switch (rest) {
        case 0: return 6 * k + 2;
        case 3: return 6 * k + 1;
        case 4: return 6 * k + 4;
        case 7: return 6 * k + 5;
        default: return -1;
      }
    }
    return -1;
  }
  int offset = 0, last = 0;
  switch (family) {
    case 48: offset = 90, last = 129; break;
    case 46: offset = 94, last = 133; break;
    case 26: offset = 89, last = 128; break;
    default: return -1;
  }
  if (mux_index < 94 || mux_index > std::min(133, last)) return -1;
  const int d = mux_index - offset;
  return d + d / 2 + 1;
}

namespace {

struct STATE {
  unsigned id;
  int parent;  // index into the state list, -1 at the port
  int wires;
  float min_delay;
  float max_delay;
};

constexpr float kNoBound = -1.0e38f;
constexpr int kUnboundedWires = 12;  // depth cap when no maximum is given

}  // namespace

JUK::FOREST<int, int> wexan_solve_c2p_routing_problem(
    WEXAN_ENV* env, const DEV_DEVICE* device, ZMP_HASH_LITE<int, VOK_ATOM_NODE*> /*port_map*/,
    const YEB_TIMING_MODEL* /*timing_model*/, float local_scaling_factor, const std::vector<int>& destinations,
    int min_wire, int max_wire, float min_delay, float max_delay, std::tuple<int, int, int> fixed_location,
    std::shared_ptr<TIBEX_LOCKED_CONSTRAINT> region, bool p2c, bool wire_based, bool final_attempt,
    ZMP_HASH_SET_LITE<int>& pre_occupied, ZMP_HASH_LITE<std::pair<int, int>, std::vector<VOK_ATOM_NODE*>>& blacklisted,
    ZMP_HASH_LITE<int, std::tuple<unsigned, int, std::vector<std::pair<float, float>>>>& switch_delays,
    std::unordered_map<int, int>& /*usable_wire_weights*/, std::vector<int>& leftovers) {
  host::log_call("wexan_solve_c2p_routing_problem", static_cast<int>(destinations.size()), min_wire, max_wire,
                 p2c, wire_based, final_attempt);
  // A test may change what is occupied before a call (callbacks run first).
  host::script::fire("wexan_solve_c2p_routing_problem");
  JUK::FOREST<int, int> forest;
  const WUMP_DIE_INFO* die = device->get_die_info()->get_wump_die_info();
  const WUMP_ROUTE_INFO* route = die->get_route_info();
  const WUMP_PLACE_INFO* place = die->get_place_info();
  const WUMP_BLACKLISTING* routing_blacklist = die->get_blacklisting();
  const int family = env->get_base_family_code();
  const int lo_wire = std::max(0, min_wire);
  const int hi_wire = max_wire < 0 ? kUnboundedWires : max_wire;
  const bool with_delay = !wire_based;

  // Register sites already held by placed atoms.
  std::unordered_set<unsigned> taken_sites;
  for (VOK_ATOM_NODE* atom : env->get_atom_netlist()->nodes(VOK_TRAVERSE_HIERARCHICAL))
    if (atom->get_location_element() != 0) taken_sites.insert(static_cast<unsigned>(atom->get_location_index()) & ~WUMP_GID_BIT);

  auto occupied = [&](unsigned gid) {
    return pre_occupied.find(static_cast<int>(gid & ~WUMP_GID_BIT)) != pre_occupied.end() ||
           (routing_blacklist != nullptr && routing_blacklist->is_routing_gid_blacklisted(gid | WUMP_GID_BIT));
  };
  auto element_delay = [&](unsigned id) -> std::pair<float, float> {
    auto it = switch_delays.find(static_cast<int>(id));
    if (it != switch_delays.end() && !std::get<2>(it->second).empty()) return std::get<2>(it->second).front();
    const float d = static_cast<float>(route->get_hop_delay_ps(id | WUMP_GID_BIT, 1.0) * 1e-12) * local_scaling_factor;
    return {d, d};
  };
  // The register site a LAB mux stands for, or ILLEGAL when it cannot take one here.
  auto site_of = [&](unsigned gid) -> unsigned {
    const WUMP_ROUTE_NODE n = route->get_route_node_of(gid);
    if (static_cast<int>(n.element_type) != dev_kind::LAB_RE) return DEV_GRID::ILLEGAL_GID;
    const int sub = wexan_c2p_register_sub_location(family, n.index, p2c);
    if (sub < 0) return DEV_GRID::ILLEGAL_GID;
    const auto [fx, fy, fz] = fixed_location;
    if (fx >= 0 && (n.x != fx || n.y != fy || (fz >= 0 && sub != fz))) return DEV_GRID::ILLEGAL_GID;
    if (region && region->has_constraint() &&
        (n.x < region->get_xmin() || n.x > region->get_xmax() || n.y < region->get_ymin() || n.y > region->get_ymax()))
      return DEV_GRID::ILLEGAL_GID;
    if (blacklisted.find({n.x, n.y}) != blacklisted.end()) return DEV_GRID::ILLEGAL_GID;
    const unsigned site = place->get_global_id(0, n.x, n.y, sub);
    if (site == DEV_GRID::ILLEGAL_GID || taken_sites.count(site & ~WUMP_GID_BIT) != 0) return DEV_GRID::ILLEGAL_GID;
    return site;
  };

  std::vector<int> sorted(destinations);
  std::sort(sorted.begin(), sorted.end());
  std::vector<STATE> states;
  std::vector<unsigned> next;
  for (int dest : sorted) {
    const unsigned port = static_cast<unsigned>(dest) | WUMP_GID_BIT;
    const WUMP_ROUTE_ELEMENT* port_element = route->get_element_by_gid(port);
    if (port_element == nullptr) {
      leftovers.push_back(dest);
      continue;
    }
    states.clear();
    states.push_back({port_element->get_id(), -1, 0, 0.0f, 0.0f});
    std::unordered_set<std::uint64_t> seen;  // (element id, wires)
    int found = -1;
    unsigned found_site = DEV_GRID::ILLEGAL_GID;
    for (std::size_t s = 0; s < states.size() && found < 0; ++s) {
      const STATE cur = states[s];
      const unsigned cur_gid = cur.id | WUMP_GID_BIT;
      next.clear();
      if (p2c)
        for (auto it = route->begin_fanout_gids(cur_gid); it != route->end_fanout_gids(cur_gid); ++it) next.push_back(*it);
      else
        for (auto it = route->begin_fanin_gids(cur_gid); it != route->end_fanin_gids(cur_gid); ++it) next.push_back(*it);
      std::sort(next.begin(), next.end());
      const int wires = cur.wires;  // wires between the port and the next element
      for (unsigned g : next) {
        g |= WUMP_GID_BIT;
        if (g == port || occupied(g)) continue;
        const unsigned id = g & ~WUMP_GID_BIT;
        if (static_cast<int>(route->get_dev_element_from_gid(g)) == dev_kind::LAB_RE) {
          if (wires < lo_wire || wires > hi_wire) continue;
          if (with_delay && ((max_delay > kNoBound && cur.max_delay > max_delay) ||
                             (min_delay > kNoBound && cur.min_delay < min_delay)))
            continue;
          const unsigned site = site_of(g);
          if (site == DEV_GRID::ILLEGAL_GID) continue;
          states.push_back({id, static_cast<int>(s), wires, cur.min_delay, cur.max_delay});
          found = static_cast<int>(states.size()) - 1;
          found_site = site;
          break;
        }
        if (wires + 1 > hi_wire) continue;  // this element would be one wire too many
        const auto [dmin, dmax] = element_delay(id);
        const float nmax = cur.max_delay + dmax, nmin = cur.min_delay + dmin;
        if (with_delay && max_delay > kNoBound && nmax > max_delay) continue;
        if (!seen.insert((static_cast<std::uint64_t>(id) << 8) | static_cast<std::uint64_t>(wires + 1)).second) continue;
        states.push_back({id, static_cast<int>(s), wires + 1, nmin, nmax});
      }
    }
    if (found < 0) {
      leftovers.push_back(dest);
      continue;
    }
    std::vector<int> chain;  // element ids, mux ... port
    for (int s = found; s >= 0; s = states[s].parent) chain.push_back(static_cast<int>(states[s].id));
    if (p2c) std::reverse(chain.begin(), chain.end());  // port first
    int parent = -1;
    for (int g : chain) {
      const int node = forest.create_node(g);
      if (parent < 0)
        forest.append_root(node);
      else
        forest.append_child(parent, node);
      parent = node;
      if (g != static_cast<int>(port & ~WUMP_GID_BIT)) pre_occupied.insert(g);
    }
    taken_sites.insert(found_site & ~WUMP_GID_BIT);
  }
  return forest;
}
