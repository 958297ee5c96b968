// Joining partition routing into a routing: matching trees are joined at
// their common nodes, the rest is copied.
#include <map>
#include <tuple>
#include <vector>

#include "common/host_call_log.h"
#include "vok/vok_re_routing.h"

std::vector<int> VOK_RE_ROUTING::get_walk_children(int id) const {
  std::vector<int> out;
  for (int c = m_forest.first_child(id); c != -1; c = m_forest.next_sibling(c)) out.push_back(c);
  if (is_zota_node(id) && m_forest.parent(id) != -1) out.push_back(get_corresponding_zota_id(id));
  return out;
}

namespace {

// What identifies a node among its siblings: a terminal by its port and
// side, anything else by its value; a pair's Q root apart from children.
using NODE_KEY = std::tuple<bool, bool, std::uint32_t, std::int32_t, std::int32_t, std::int32_t>;

NODE_KEY key_of(const VOK_RE_ROUTING& r, int id, bool via_pair) {
  const std::int32_t v = r.get_value(id);
  if (v >= 0) {
    const VOK_RE_TERMINAL& t = r.get_terminal(v);
    return {via_pair, true, t.port.get_atom_id(), t.port.get_port().index(),
            t.port.get_index(), t.name_space};
  }
  return {via_pair, false, 0u, v, 0, 0};
}

}  // namespace

void VOK_RE_ROUTING::merge_partition(const VOK_RE_ROUTING& other) {
  host::log_call("VOK_RE_ROUTING::merge_partition", other.get_live_node_count());
  auto copy_value = [&](int src) {
    const std::int32_t v = other.get_value(src);
    if (v < 0) return v;
    const VOK_RE_TERMINAL& t = other.get_terminal(v);
    return static_cast<std::int32_t>(add_terminal(t.port, t.name_space));
  };
  // Without free slots every node made here takes a higher id than every
  // node already here, so mapping the new terminal nodes in creation order
  // gives the maps a full rebuild would (which walks the slots in order).
  const bool map_new_nodes_only = m_forest.free_count() == 0;
  std::vector<int> made;
  auto made_node = [&](int id) {
    if (get_value(id) >= 0) made.push_back(id);
    return id;
  };
  // Roots here by key.
  std::map<NODE_KEY, int> roots;
  for (int r = m_forest.first_root(); r != -1; r = m_forest.next_sibling(r))
    if (!is_zota_q_root(r)) roots.emplace(key_of(*this, r, false), r);

  struct ITEM {
    int src;   // node of `other`
    int dst;   // matching node here
  };
  std::vector<ITEM> work;
  for (int r = other.m_forest.first_root(); r != -1; r = other.m_forest.next_sibling(r)) {
    if (other.is_zota_q_root(r)) continue;  // reached through its D side
    const NODE_KEY k = key_of(other, r, false);
    auto it = roots.find(k);
    int dst;
    if (it != roots.end()) {
      dst = it->second;
    } else {
      dst = made_node(new_root(copy_value(r)));
      roots.emplace(key_of(*this, dst, false), dst);
    }
    work.push_back({r, dst});
  }
  bool changed = false;
  while (!work.empty()) {
    const ITEM item = work.back();
    work.pop_back();
    const bool src_d = other.is_zota_node(item.src) && other.m_forest.parent(item.src) != -1;
    std::map<NODE_KEY, int> children;
    for (int c = m_forest.first_child(item.dst); c != -1; c = m_forest.next_sibling(c))
      children.emplace(key_of(*this, c, false), c);
    for (int c = other.m_forest.first_child(item.src); c != -1; c = other.m_forest.next_sibling(c)) {
      const NODE_KEY k = key_of(other, c, false);
      auto it = children.find(k);
      int dst = it != children.end() ? it->second : -1;
      if (dst == -1) {
        dst = made_node(append_child_value(item.dst, copy_value(c)));
        children.emplace(k, dst);
        changed = true;
      }
      work.push_back({c, dst});
    }
    if (src_d) {
      const int q_src = other.get_corresponding_zota_id(item.src);
      int q_dst = -1;
      if (is_zota_node(item.dst) && m_forest.parent(item.dst) != -1) q_dst = get_corresponding_zota_id(item.dst);
      if (q_dst == -1) {
        q_dst = made_node(new_root(copy_value(q_src)));
        set_zota_pair(item.dst, q_dst);
        changed = true;
      }
      work.push_back({q_src, q_dst});
    }
  }
  if (changed) ++m_change_counter;
  if (m_atom_netlist == nullptr) return;
  if (!map_new_nodes_only) {
    rebuild_terminal_maps();
    return;
  }
  for (int id : made) map_terminal_node(id);
}
