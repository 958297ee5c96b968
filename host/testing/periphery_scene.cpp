#include "testing/periphery_scene.h"

#include <cstddef>

#include "dev/dev_grid.h"
#include "dev/dev_spec.h"
#include "gesk/gesk_bundle.h"
#include "gesk/gesk_tree.h"
#include "testing/design_builder.h"
#include "testing/routing_builder.h"
#include "vok/vok_atom_netlist.h"
#include "vok/vok_chip_db_entry.h"
#include "w3j3/w3j3_port_map_db.h"
#include "wump/wump_die_info.h"
#include "wump/wump_route_info.h"
#include "wump/wump_route_objects.h"

namespace host::testing {

int gesk_instance(const std::string& name, int x, int y, int z) {
  return GESK_BUNDLE_SINGLETON::get_bundle()->get_instance_tree()->add_instance(name, x, y, z);
}

namespace {
template <class TERM> int map_term(const TERM* term, int instance, const std::string& icd_name) {
  GESK_BUNDLE* bundle = GESK_BUNDLE_SINGLETON::get_bundle();
  GESK_TREE* tree = bundle->get_instance_tree();
  const int value = tree->add_port(icd_name, instance);
  bundle->get_port_map_db()->add_entry(W3J3_LOGICAL_PORT_FACTORY::create(term), W3J3_PORT_MAP_ENTRY{1, value});
  // The device-instance model answers the port's gid as well.
  if (const GESK_INSTANCE* inst = tree->get_instance(instance)) {
    const WUMP_DIE_INFO* die = host::device::die_info();
    const unsigned block = die->get_place_info()->get_global_id(0, inst->get_x(), inst->get_y(), inst->get_z());
    const unsigned gid = die->get_route_info()->get_block_icd_port_gid(block, 3, icd_name);
    if (gid != WUMP_ILLEGAL_GID) bundle->get_device()->set_port_gid(value, gid);
  }
  return value;
}
}  // namespace

int map_port(const VOK_ATOM_OTERM* term, int instance, const std::string& icd_name) {
  return map_term(term, instance, icd_name);
}
int map_port(const VOK_ATOM_ITERM* term, int instance, const std::string& icd_name) {
  return map_term(term, instance, icd_name);
}

unsigned periphery_chain_gid(int x, int y, int port_index, int k) {
  const WUMP_ROUTE_INFO* info = host::device::die_info()->get_route_info();
  if (k == 0) return info->get_gid(dev_kind::ICD_PORT, x, y, port_index);
  if (port_index >= 4) {
    const int q = port_index - 4;
    if (k == 1) return info->get_gid(dev_kind::PERIPHERY_OUTPUT, x, y, q);
    return info->get_gid(dev_kind::PERIPHERY_INTERFACE, x, y, 16 + 4 * q + (k - 1));
  }
  return info->get_gid(dev_kind::PERIPHERY_INTERFACE, x, y, 4 * port_index + (k - 1));
}

bool cut_routing_at(DeviceSpec& spec, unsigned gid, bool wires_out) {
  const WUMP_ROUTE_GRAPH graph(host::device::die_info()->get_route_info());
  const std::size_t before = spec.blacklist_gids.size();
  if (wires_out) {
    for (auto e = graph.begin_fanout(gid); e != graph.end_fanout(gid); ++e)
      spec.blacklist_gids.push_back((*e).to | 0x80000000u);
  } else {
    for (auto e = graph.begin_fanin(gid); e != graph.end_fanin(gid); ++e)
      spec.blacklist_gids.push_back((*e).from | 0x80000000u);
  }
  return spec.blacklist_gids.size() > before;
}

namespace scenes {

KX_PERIPHERY kx_periphery() {
  device(Family::KX).build();
  const WUMP_PLACE_INFO* place = host::device::die_info()->get_place_info();
  auto site = [&](int x, int y, int z) { return place->get_global_id(0, x, y, z); };
  auto n = netlist();
  KX_PERIPHERY s{};
  s.a = n.reg("a").placed(site(3, 8, 1), dev_kind::FF);
  s.b = n.reg("b").placed(site(2, 8, 2), dev_kind::FF);
  s.u0 = n.atom(VOK_ATOM_KIND::UFI_UIB, "u0")
             .input(DB_INPUT_PORT_DATA_IN, 0, s.a)
             .input(DB_INPUT_PORT_DATA_IN, 1, s.b)
             .placed(site(3, 9, 0), dev_kind::UIB);
  s.c = n.reg("c").d(s.u0).placed(site(3, 7, 4), dev_kind::FF);
  s.e0 = n.atom(VOK_ATOM_KIND::UFI_ESRAM, "e0").input(DB_INPUT_PORT_DATA_IN, 0, s.u0).placed(site(7, 9, 0), dev_kind::ESRAM);
  s.f = n.reg("f").d(s.e0).placed(site(7, 8, 1), dev_kind::FF);

  const int u = gesk_instance("u0_inst", 3, 9, 0);
  const int e = gesk_instance("e0_inst", 7, 9, 0);
  map_port(s.u0->get_input_term_by_type(DB_INPUT_PORT_DATA_IN, 0), u, "in[0]");
  map_port(s.u0->get_input_term_by_type(DB_INPUT_PORT_DATA_IN, 1), u, "in[1]");
  map_port(s.u0->get_output_term_by_type(DB_OUTPUT_PORT_DATA, 0), u, "out[0]");
  map_port(s.e0->get_input_term_by_type(DB_INPUT_PORT_DATA_IN, 0), e, "in[0]");
  map_port(s.e0->get_output_term_by_type(DB_OUTPUT_PORT_DATA, 0), e, "out[1]");

  // A partial chain: b's sink already hangs below the port and the first
  // chain element, under a virtual source.
  auto r = routing();
  r.virtual_source()
      .wire_gid(periphery_chain_gid(3, 9, 1, 1))
      .wire_gid(periphery_chain_gid(3, 9, 1, 0))
      .sink(s.u0->get_input_term_by_type(DB_INPUT_PORT_DATA_IN, 1));
  r.attach();
  return s;
}

}  // namespace scenes
}  // namespace host::testing
