#include "vok/vok_re_stitched_network.h"

#include <string>
#include <unordered_set>
#include <utility>

#include "common/host_call_log.h"
#include "vok/vok_re_logical_port.h"
#include "vok/vok_re_routing.h"
#include "w3j3/w3j3_port_map_db.h"
#include "wump/wump_route_objects.h"

namespace {

using NETWORK = JUK::FOREST<int, int>;
constexpr unsigned kGidBit = 0x80000000u;

int l_pack(int network, int node) { return (network << 28) | node; }
std::pair<int, int> l_unpack(int value) { return {value >> 28, value & 0x0FFFFFFF}; }

std::string l_term_text(const VOK_ATOM_LOGICAL_PORT& p) {
  return "atom#" + std::to_string(p.get_atom_id()) + "." + std::to_string(p.get_port().index()) + "[" +
         std::to_string(p.get_index()) + "]";
}

// The network links of a terminal, in the order they were added.
std::vector<std::pair<int, int>> l_links(const W3J3_PORT_MAP_INTERFACE* pm, const VOK_ATOM_LOGICAL_PORT& port) {
  std::vector<std::pair<int, int>> out;
  if (pm == nullptr || pm->get_port_map_db() == nullptr) return out;
  for (const W3J3_PORT_MAP_ENTRY& e : pm->get_port_map_db()->get_port_map_results(port, VOK_RE_NETWORK_NODE_MAP_TYPE))
    out.push_back(l_unpack(e.value));
  return out;
}

bool l_live(const NETWORK* n, int id) { return n != nullptr && id >= 0 && id < n->num_slots() && !n->is_erased(id); }

}  // namespace

int vok_re_network_of_gid(const WUMP_ROUTE_INFO& info, unsigned gid) {
  const WUMP_ROUTE_ELEMENT* e = info.get_element_by_gid(gid | kGidBit);
  const int kind = e == nullptr ? 0 : static_cast<int>(e->get_element_enum());
  if (kind == 283 || kind == 284 || kind == 659) return 0;
  if (kind == 318 || kind == 1929) return 2;
  return 1;
}

void vok_build_re_networks(const VOK_RE_ROUTING& routing, const WUMP_ROUTE_INFO& info,
                           const std::vector<NETWORK*>& networks, W3J3_PORT_MAP_DB& db,
                           const std::function<bool(std::uint32_t)>& member) {
  for (NETWORK* n : networks)
    if (n != nullptr) *n = NETWORK();
  const auto& f = routing.forest();
  // Per routing node: its network and network node (-1 for terminals and
  // virtual nodes, which pass their parent's on).
  std::vector<int> net_of(static_cast<std::size_t>(f.num_slots()), -1), node_of(net_of.size(), -1);
  std::vector<int> stack;
  for (int root = f.first_root(); root != -1; root = f.next_sibling(root)) {
    const bool sourced = routing.is_terminal(root) && routing.get_node_terminal(root).name_space == 9;
    if (member) {
      bool touches = false;
      for (stack.assign(1, root); !stack.empty() && !touches;) {
        const int id = stack.back();
        stack.pop_back();
        touches = routing.is_terminal(id) && member(routing.get_node_terminal(id).port.get_atom_id());
        for (int c = f.first_child(id); c != -1; c = f.next_sibling(c)) stack.push_back(c);
      }
      if (!touches) continue;
    }
    stack.assign(1, root);
    while (!stack.empty()) {
      const int id = stack.back();
      stack.pop_back();
      const int parent = f.parent(id);
      const int up_net = parent == -1 ? -1 : net_of[parent];
      const int up_node = parent == -1 ? -1 : node_of[parent];
      net_of[id] = up_net;
      node_of[id] = up_node;
      if (routing.is_wire(id)) {
        const unsigned gid = routing.get_gid(id);
        const int k = vok_re_network_of_gid(info, gid);
        NETWORK* n = networks.at(static_cast<std::size_t>(k));
        if (n != nullptr) {
          const int node = n->create_node(static_cast<int>(gid & ~kGidBit));
          if (up_net == k && up_node != -1) {
            n->append_child(up_node, node);
          } else {
            n->append_root(node);
            if (sourced) db.add_entry(routing.get_node_terminal(root).port, {VOK_RE_NETWORK_NODE_MAP_TYPE, l_pack(k, node)});
          }
          net_of[id] = k;
          node_of[id] = node;
        }
      } else if (routing.is_terminal(id) && routing.get_node_terminal(id).name_space == 8) {
        // The deepest node of each network on the way up, sink first.
        int last_net = -1;
        for (int a = parent; a != -1; a = f.parent(a)) {
          if (node_of[a] == -1 || net_of[a] == last_net) continue;
          last_net = net_of[a];
          db.add_entry(routing.get_node_terminal(id).port, {VOK_RE_NETWORK_NODE_MAP_TYPE, l_pack(last_net, node_of[a])});
        }
      }
      for (int c = f.last_child(id); c != -1; c = f.prev_sibling(c)) stack.push_back(c);
    }
  }
}

VOK_RE_STITCHED_NETWORK_MODIFIER::VOK_RE_STITCHED_NETWORK_MODIFIER(VOK_ATOM_NETLIST* netlist, NETWORK* blc,
                                                                   NETWORK* fcd, NETWORK* crf,
                                                                   const WUMP_ROUTE_INFO* info,
                                                                   const W3J3_PORT_MAP_INTERFACE* port_map)
    : m_networks{blc, crf, fcd}, m_port_map(port_map) {
  (void)netlist;
  (void)info;
  host::log_call("VOK_RE_STITCHED_NETWORK_MODIFIER::VOK_RE_STITCHED_NETWORK_MODIFIER", netlist, blc, fcd, crf, info,
                 port_map);
}

VOK_RE_STITCHED_NETWORK_MODIFIER::~VOK_RE_STITCHED_NETWORK_MODIFIER() {
  host::log_call("VOK_RE_STITCHED_NETWORK_MODIFIER::~VOK_RE_STITCHED_NETWORK_MODIFIER");
}

void VOK_RE_STITCHED_NETWORK_MODIFIER::remove_connectivity_for_iterm(const VOK_ATOM_ITERM* iterm,
                                                                     std::function<bool(unsigned)> stop) {
  host::log_call("VOK_RE_STITCHED_NETWORK_MODIFIER::remove_connectivity_for_iterm",
                 host::raw_arg{l_term_text(vok_get_logical_port(iterm))}, static_cast<bool>(stop));
  m_iterms.push_back({iterm, std::move(stop)});
}

void VOK_RE_STITCHED_NETWORK_MODIFIER::remove_connectivity_for_oterm(const VOK_ATOM_OTERM* oterm,
                                                                     const std::vector<VOK_ATOM_ITERM*>* keep) {
  std::string kept;
  if (keep != nullptr)
    for (const VOK_ATOM_ITERM* t : *keep) kept += (kept.empty() ? "" : " ") + l_term_text(vok_get_logical_port(t));
  host::log_call("VOK_RE_STITCHED_NETWORK_MODIFIER::remove_connectivity_for_oterm",
                 host::raw_arg{l_term_text(vok_get_logical_port(oterm))}, host::raw_arg{"[" + kept + "]"});
  m_oterms.push_back({oterm, keep != nullptr ? *keep : std::vector<VOK_ATOM_ITERM*>()});
}

void VOK_RE_STITCHED_NETWORK_MODIFIER::commit() {
  host::log_call("VOK_RE_STITCHED_NETWORK_MODIFIER::commit");
  for (const ITERM_REQUEST& r : m_iterms) {
    bool done = false;
    for (auto [k, node] : l_links(m_port_map, vok_get_logical_port(r.iterm))) {
      NETWORK* n = m_networks[k];
      if (!l_live(n, node)) continue;
      // Up to a stop element or a node that serves other sinks; further
      // networks only while the path is still this sink's alone.
      while (node != -1 && !done) {
        if ((r.stop && r.stop(static_cast<unsigned>(n->payload(node)) | kGidBit)) || n->first_child(node) != -1) {
          done = true;
          break;
        }
        const int parent = n->parent(node);
        n->erase(node);
        node = parent;
      }
      if (done) break;
    }
  }
  for (const OTERM_REQUEST& r : m_oterms) {
    // The paths to the kept sinks stay.
    std::unordered_set<long long> kept;
    for (const VOK_ATOM_ITERM* t : r.keep)
      for (auto [k, node] : l_links(m_port_map, vok_get_logical_port(t)))
        for (NETWORK* n = m_networks[k]; l_live(n, node); node = n->parent(node))
          kept.insert(static_cast<long long>(k) << 32 | node);
    for (auto [k, root] : l_links(m_port_map, vok_get_logical_port(r.oterm))) {
      NETWORK* n = m_networks[k];
      if (!l_live(n, root)) continue;
      std::vector<int> todo{root}, gone;
      while (!todo.empty()) {
        const int id = todo.back();
        todo.pop_back();
        if (kept.count(static_cast<long long>(k) << 32 | id) == 0) {
          gone.push_back(id);
          continue;
        }
        for (int c = n->first_child(id); c != -1; c = n->next_sibling(c)) todo.push_back(c);
      }
      for (int id : gone) n->erase(id);
    }
  }
  m_iterms.clear();
  m_oterms.clear();
}
