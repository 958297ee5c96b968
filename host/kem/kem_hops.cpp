// The timing netlist's routing hops: a mirror of the design's routing trees
// with cumulative delays per loaded corner (see kem_netlist.h).
#include <cmath>

#include "kem/kem_netlist.h"
#include "kem/kem_parallel.h"
#include "msg/msg_internal_error.h"
#include "vok/vok_chip_db_entry.h"
#include "vok/vok_re_logical_port.h"
#include "vok/vok_re_routing.h"
#include "wump/wump_die_info.h"

namespace {

constexpr int V_WIRE_KIND = 701;  // the element kind that inverts

// One hop's own delays at the slow corner in ps: max rise (the element's hop
// delay), max fall, min rise, min fall.
void own_delays(double d, double out[4]) {
  out[0] = d;
  out[1] = d * 1.125;
  out[2] = d * 0.8;
  out[3] = d * 0.9;
}

// As the interconnect edges: the slow-corner sum rounded to ps ...
std::int32_t slow_base_ps(double slow_ps) { return static_cast<std::int32_t>(std::floor(slow_ps + 0.5)); }

// ... then scaled to the corner and rounded half away from zero.
float corner_seconds(std::int32_t base_ps, double scale) {
  const double v = static_cast<double>(base_ps) * scale;
  const double ps = v < 0 ? std::ceil(v - 0.5) : std::floor(v + 0.5);
  return static_cast<float>(ps * 1e-12);
}

std::tuple<int, int, int> sink_key(const VOK_ATOM_ITERM* t) {
  return {t->get_my_node() ? t->get_my_node()->get_id() : -1, static_cast<int>(t->get_port_type()), t->get_index()};
}

}  // namespace

double host::kem::dangling_load_ps(const VOK_RE_ROUTING* routing, int node) {
  const auto& forest = routing->forest();
  double load = 0.0;
  const WUMP_ROUTE_INFO* info = nullptr;
  for (int c = forest.first_child(node); c != -1; c = forest.next_sibling(c)) {
    if (!routing->is_wire(c) || forest.first_child(c) != -1 || routing->is_zota_node(c)) continue;
    if (!info) info = host::device::die_info()->get_route_info();
    load += 0.5 * info->get_hop_delay_ps(routing->get_gid(c), 1.0);
  }
  return load;
}

KEM_NETLIST::RE_HOP KEM_NETLIST::get_re_hop(int id) const {
  if (!has_re_hop(id)) MSG_INTERNAL_ERROR::report("has_re_hop(id)", "KEM", __FILE__, __LINE__);
  const HOP_RECORD& h = m_hops[static_cast<std::size_t>(id)];
  return RE_HOP{h.gid, h.inversion, h.parent, true};
}

void KEM_NETLIST::get_re_hop_delays(int id, int corner_id, float delays[4]) const {
  const auto& models = m_corners.get_loaded_corners();
  if (!has_re_hop(id) || corner_id < 0 || corner_id >= static_cast<int>(models.size()))
    MSG_INTERNAL_ERROR::report("has_re_hop(id)", "KEM", __FILE__, __LINE__);
  const HOP_RECORD& h = m_hops[static_cast<std::size_t>(id)];
  const double scale = models[static_cast<std::size_t>(corner_id)].get_delay_scale();
  for (int k = 0; k < 4; ++k) delays[k] = corner_seconds(h.base_ps[k], scale);
}

int KEM_NETLIST::get_re_hop_of_iterm(const VOK_ATOM_ITERM* iterm) const {
  if (!iterm) return -1;
  auto it = m_hop_of_sink.find(sink_key(iterm));
  return it == m_hop_of_sink.end() || !has_re_hop(it->second) ? -1 : it->second;
}

void KEM_NETLIST::compute_re_hop_tree(int root) {
  m_build_id = 0;
  const VOK_RE_ROUTING* routing = VOK_CHIP_DB_ENTRY::current()->get_routing();
  const std::size_t slots = static_cast<std::size_t>(routing->forest().num_slots());
  if (m_hops.size() < slots) {
    // The forest grows by a few nodes per re-route: a little headroom, not
    // the doubling a plain resize would take.
    if (m_hops.capacity() < slots) m_hops.reserve(slots + slots / 16);
    m_hops.resize(slots);
  }
  fill_hop_tree(root);
}

void KEM_NETLIST::fill_hop_tree(int root) {
  const VOK_RE_ROUTING* routing = VOK_CHIP_DB_ENTRY::current()->get_routing();
  const auto& forest = routing->forest();
  const WUMP_ROUTE_INFO* info = host::device::die_info()->get_route_info();
  struct ITEM {
    int node;
    double sum[4];
  };
  std::vector<ITEM> stack{{root, {0, 0, 0, 0}}};
  while (!stack.empty()) {
    ITEM item = stack.back();
    stack.pop_back();
    const int n = item.node;
    HOP_RECORD& hop = m_hops[static_cast<std::size_t>(n)];
    hop.live = 1;
    hop.parent = forest.parent(n);
    const std::int32_t value = routing->get_value(n);
    // The stubs hanging here load this node and everything below it.
    if (const double load = host::kem::dangling_load_ps(routing, n); load > 0.0) {
      double extra[4];
      own_delays(load, extra);
      for (int k = 0; k < 4; ++k) item.sum[k] += extra[k];
    }
    if (VOK_RE_ROUTING::is_wire_value(value)) {
      hop.gid = static_cast<unsigned>(value);
      hop.inversion = info->get_dev_element_from_gid(hop.gid) == V_WIRE_KIND ? 1 : 0;
      double own[4];
      own_delays(info->get_hop_delay_ps(hop.gid, 1.0), own);
      for (int k = 0; k < 4; ++k) item.sum[k] += own[k];
    } else if (value >= 0) {
      const VOK_ATOM_LOGICAL_PORT& port = routing->get_node_terminal(n).port;
      hop.gid = 0xFFFFFFFFu;
      hop.inversion = 0;
      if (const KEM_NETLIST_CELL* cell = get_cell_from_atom_id(static_cast<int>(port.get_atom_id())))
        for (int id : cell->get_node_ids())
          if (const KEM_NODE* node = get_node(id); node && node->get_atom()) {
            hop.gid = node->get_atom()->get_location_gid();
            break;
          }
      if (hop.gid == 0xFFFFFFFFu)
        if (auto it = m_device_pin_of_atom.find(static_cast<int>(port.get_atom_id())); it != m_device_pin_of_atom.end())
          if (const KEM_NODE* node = get_node(it->second); node && node->get_atom())
            hop.gid = node->get_atom()->get_location_gid();
    } else {
      hop.gid = 0xFFFFFFFFu;
      hop.inversion = 2;
    }
    for (int k = 0; k < 4; ++k) hop.base_ps[k] = slow_base_ps(item.sum[k]);
    for (int c = forest.first_child(n); c != -1; c = forest.next_sibling(c)) stack.push_back({c, {item.sum[0], item.sum[1], item.sum[2], item.sum[3]}});
  }
}

void KEM_NETLIST::build_re_hops() {
  m_build_id = 0;
  m_hops.clear();
  m_hop_corner_count = m_corners.get_corner_count();
  const std::size_t sinks_before = m_hop_of_sink.size();  // a refresh finds about as many
  m_hop_of_sink.clear();
  const VOK_RE_ROUTING* routing = VOK_CHIP_DB_ENTRY::current()->get_routing();
  const auto& forest = routing->forest();
  // The trees in parallel: each writes the records of its own nodes only.
  const std::size_t slots = static_cast<std::size_t>(forest.num_slots());
  if (m_hops.capacity() < slots) m_hops.reserve(slots + slots / 16);  // room for the re-routes to come
  m_hops.resize(slots);
  std::vector<int> roots;
  for (int r = forest.first_root(); r != -1; r = forest.next_sibling(r)) roots.push_back(r);
  host::kem::parallel_ranges(roots.size(), [&](std::size_t b, std::size_t e) {
    for (std::size_t i = b; i < e; ++i) fill_hop_tree(roots[i]);
  });
  // The sink map, from the terminal nodes.
  m_hop_of_sink.reserve(sinks_before);
  for (int id = 0; id < forest.num_slots(); ++id) {
    if (!routing->is_live(id) || !routing->is_terminal(id)) continue;
    const VOK_RE_TERMINAL& t = routing->get_node_terminal(id);
    if (t.name_space != 8) continue;
    const std::tuple<int, int, int> key{static_cast<int>(t.port.get_atom_id()),
                                        vok_port_type_of_symbol(t.port.get_port()), static_cast<int>(t.port.get_index())};
    auto it = m_hop_of_sink.find(key);
    if (it == m_hop_of_sink.end()) {
      m_hop_of_sink[key] = id;
      continue;
    }
    float a[4], b[4];
    get_re_hop_delays(it->second, 0, a);
    get_re_hop_delays(id, 0, b);
    if (b[0] > a[0]) it->second = id;
  }
}

void KEM_NETLIST::refresh_re_hops(const std::set<const VOK_ATOM_OTERM*>& nets) {
  m_build_id = 0;
  // Corners loaded or unloaded since the trees were computed: every tree is
  // read again.
  if (m_hop_corner_count != m_corners.get_corner_count()) {
    build_re_hops();
    return;
  }
  const VOK_RE_ROUTING* routing = VOK_CHIP_DB_ENTRY::current()->get_routing();
  const auto& forest = routing->forest();
  // Hops whose routing node is gone.
  for (std::size_t i = 0; i < m_hops.size(); ++i)
    if (m_hops[i].live && !routing->is_live(static_cast<int>(i))) m_hops[i].live = 0;
  std::set<int> roots;
  auto root_of = [&](int n) {
    while (n >= 0 && forest.parent(n) >= 0) n = forest.parent(n);
    return n;
  };
  std::vector<const VOK_ATOM_ITERM*> sinks;
  for (const VOK_ATOM_OTERM* o : nets) {
    if (!o) continue;
    if (const int s = routing->get_source_node(o); s >= 0) roots.insert(root_of(s));
    for (VOK_ATOM_ITERM* t = o->get_first_fanout(VOK_TRAVERSE_HIERARCHICAL); t; t = t->get_next_fanout(VOK_TRAVERSE_HIERARCHICAL)) {
      sinks.push_back(t);
      for (int s : routing->get_sink_nodes(t)) roots.insert(root_of(s));
    }
  }
  for (int r : roots)
    if (r >= 0 && routing->is_live(r)) compute_re_hop_tree(r);
  for (const VOK_ATOM_ITERM* t : sinks) {
    int best = -1;
    float worst = -1.0f;
    for (int s : routing->get_sink_nodes(t)) {
      if (!has_re_hop(s)) continue;
      float v[4];
      get_re_hop_delays(s, 0, v);
      if (v[0] > worst) {
        worst = v[0];
        best = s;
      }
    }
    if (best >= 0)
      m_hop_of_sink[sink_key(t)] = best;
    else
      m_hop_of_sink.erase(sink_key(t));
  }
}

void KEM_NETLIST::set_edge_flag_bits(int id, unsigned bits) const {
  if (KEM_EDGE* e = get_edge(id)) {
    m_build_id = 0;
    m_structure_id = 0;
    e->m_flag_bits = static_cast<std::uint8_t>(bits & 3u);
  }
}
