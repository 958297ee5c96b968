#include <map>
#include <string>
#include <tuple>
#include <vector>

#include "common/host_call_log.h"
#include "common/host_world.h"
#include "dev/dev_grid.h"
#include "gesk/gesk_bundle.h"
#include "gesk/gesk_tree.h"
#include "vok/vok_atom_netlist.h"
#include "w3j3/w3j3_port_map_db.h"
#include "wump/wump_die_info.h"
#include "wump/wump_route_info.h"

namespace {

struct W3J3_BUILD_STATE {
  const GESK_BUNDLE* bundle = nullptr;
  // What the last run made: its entries (by logical port) and, for reuse,
  // the bundle's instances by site and ports by (instance, ICD name).
  std::vector<std::pair<VOK_ATOM_LOGICAL_PORT, W3J3_PORT_MAP_ENTRY>> ports;
  std::map<std::tuple<int, int, int>, int> instances;
  std::map<std::pair<int, std::string>, int> values;
};
W3J3_BUILD_STATE& build_state() { return host_world_slot<W3J3_BUILD_STATE>(); }

void collect(const VOK_ATOM_NETLIST* n, std::vector<VOK_ATOM_NODE*>& out) {
  for (VOK_ATOM_NODE* a : n->get_atom_list()) {
    out.push_back(a);
    if (a->is_box())
      if (const VOK_ATOM_NETLIST* c = static_cast<const VOK_ATOM_BLACKBOX*>(a)->get_child_netlist()) collect(c, out);
  }
}

// The site of a placed atom on an ordinary site; false for slots and unplaced atoms.
bool site_of(const DEV_GRID& grid, const VOK_ATOM_NODE* a, DEV_SITE& site) {
  if (a == nullptr || !a->is_placed()) return false;
  const unsigned gid = a->get_location_gid();
  if (gid & 0x80000000u || gid >= grid.sites().size()) return false;
  site = grid.sites()[gid];
  return true;
}

}  // namespace

namespace host::w3j3 {

int recompute_port_map() {
  host::log_call("host::w3j3::recompute_port_map");
  GESK_BUNDLE* bundle = GESK_BUNDLE_SINGLETON::get_bundle();
  const WUMP_DIE_INFO* die = host::device::die_info();
  VOK_ATOM_NETLIST* top = host::vok::top_netlist();
  if (bundle == nullptr || die == nullptr || top == nullptr) return 0;
  W3J3_BUILD_STATE& st = build_state();
  if (st.bundle != bundle) {
    st = W3J3_BUILD_STATE();
    st.bundle = bundle;
  }
  W3J3_PORT_MAP_DB* db = bundle->get_port_map_db();
  GESK_TREE* tree = bundle->get_instance_tree();
  for (const auto& [port, entry] : st.ports) db->remove_entry(port, entry);
  st.ports.clear();

  const DEV_GRID& grid = die->get_place_info()->get_grid();
  const WUMP_ROUTE_INFO* route = die->get_route_info();
  auto instance = [&](int x, int y, int z, const std::string& name) {
    auto [it, added] = st.instances.emplace(std::tuple(x, y, z), -1);
    if (added) it->second = tree->add_instance(name, x, y, z);
    return it->second;
  };
  auto add = [&](const VOK_ATOM_LOGICAL_PORT& port, int inst, const DEV_SITE& block, bool input,
                 const std::string& icd) {
    // A port someone else mapped keeps its entries.
    if (!db->get_port_map_results(port, 1).empty()) return;
    auto [it, added] = st.values.emplace(std::pair(inst, icd), -1);
    if (added) it->second = tree->add_port(icd, inst);
    const unsigned gid =
        route->get_block_icd_port_gid(grid.site_gid(block.x, block.y, block.z), input ? 1 : 2, icd);
    if (gid != WUMP_ILLEGAL_GID) bundle->get_device()->set_port_gid(it->second, gid);
    db->add_entry(port, W3J3_PORT_MAP_ENTRY{1, it->second});
    st.ports.emplace_back(port, W3J3_PORT_MAP_ENTRY{1, it->second});
  };

  std::vector<VOK_ATOM_NODE*> atoms;
  collect(top, atoms);
  for (VOK_ATOM_NODE* a : atoms) {
    DEV_SITE s{};
    if (!site_of(grid, a, s)) continue;
    const DEV_TILE_KIND kind = grid.tile_kind(s.x, s.y);
    if (kind == DEV_TILE_KIND::PAD) {
      const int pin = s.z / DEV_GRID::SITES_PER_PIN;
      DEV_SITE block = s;
      block.z = static_cast<std::uint16_t>(pin * DEV_GRID::SITES_PER_PIN);
      const std::string suffix = "X" + std::to_string(s.x) + "_Y" + std::to_string(s.y) + "_N" + std::to_string(pin);
      // Another atom in the same pin is reached inside the pin.
      auto leaves_pin = [&](const VOK_ATOM_NODE* other) {
        DEV_SITE o{};
        return !site_of(grid, other, o) || o.x != s.x || o.y != s.y || o.z / DEV_GRID::SITES_PER_PIN != pin;
      };
      for (VOK_ATOM_OTERM* o : a->oterms()) {
        bool leaves = false;
        for (VOK_ATOM_ITERM* f = o->get_first_fanout(VOK_TRAVERSE_HIERARCHICAL); f && !leaves;
             f = f->get_next_fanout(VOK_TRAVERSE_HIERARCHICAL))
          leaves = leaves_pin(f->get_my_node());
        if (leaves)
          add(W3J3_LOGICAL_PORT_FACTORY::create(o), instance(s.x, s.y, block.z, "IO_" + suffix), block, false,
              "out[" + std::to_string(pin) + "]");
      }
      for (VOK_ATOM_ITERM* i : a->iterms()) {
        const VOK_ATOM_OTERM* src = i->get_source(VOK_TRAVERSE_HIERARCHICAL);
        if (src != nullptr && leaves_pin(src->get_my_node()))
          add(W3J3_LOGICAL_PORT_FACTORY::create(i), instance(s.x, s.y, block.z, "IO_" + suffix), block, true,
              "in[" + std::to_string(pin) + "]");
      }
    } else if (kind == DEV_TILE_KIND::PERIPHERY) {
      const int inst = instance(s.x, s.y, s.z, "PERIPHERY_X" + std::to_string(s.x) + "_Y" + std::to_string(s.y));
      int k = 0;
      for (VOK_ATOM_ITERM* i : a->iterms())
        if (i->get_source(VOK_TRAVERSE_HIERARCHICAL) != nullptr && k < 4)
          add(W3J3_LOGICAL_PORT_FACTORY::create(i), inst, s, true, "in[" + std::to_string(k++) + "]");
      k = 0;
      for (VOK_ATOM_OTERM* o : a->oterms())
        if (o->get_first_fanout(VOK_TRAVERSE_HIERARCHICAL) != nullptr && k < 4)
          add(W3J3_LOGICAL_PORT_FACTORY::create(o), inst, s, false, "out[" + std::to_string(k++) + "]");
    }
  }
  return static_cast<int>(st.ports.size());
}

}  // namespace host::w3j3
