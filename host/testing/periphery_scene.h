#pragma once
// The periphery scene and the design-bundle helpers behind it.
//
// scenes::kx_periphery(): family 48 on the default grid; a UIB block "u0" at
// (3, 9) and an ESRAM block "e0" at (7, 9), placed, each terminal with one
// type-1 port-map entry naming a port of its bundle instance:
//   u0.in0 <- a (core register at (3, 8)), port in[0]
//   u0.in1 <- b (core register at (4, 7)... placed in a LAB), port in[1]
//   u0.out -> c.d (core register) and e0.in0, port out[0]
//   e0.in0, port in[0]; e0.out -> f.d (core register), port out[1]
// Routing: the net of b holds the two chain entries nearest u0's port in[1]
// under a virtual source (a partial chain); everything else is unrouted.
#include <string>

#include "testing/netlist_builder.h"

struct DeviceSpec;
class VOK_ATOM_NODE;
class VOK_ATOM_ITERM;
class VOK_ATOM_OTERM;

namespace host::testing {

// A bundle instance at (x, y, z); returns its id.
int gesk_instance(const std::string& name, int x, int y, int z);
// A type-1 port-map entry for a terminal naming ICD port `icd_name` of a
// bundle instance; returns the entry's value.
int map_port(const VOK_ATOM_OTERM* term, int instance, const std::string& icd_name);
int map_port(const VOK_ATOM_ITERM* term, int instance, const std::string& icd_name);
// The gid of the element k hops from block port (x, y, port index) along its
// interface chain (k = 0: the port itself).
unsigned periphery_chain_gid(int x, int y, int port_index, int k);
// Blacklists in `spec` every wire out of (`wires_out`) or into the routing
// element `gid`, so that no route passes through it; false when it has none.
bool cut_routing_at(DeviceSpec& spec, unsigned gid, bool wires_out);

namespace scenes {

struct KX_PERIPHERY {
  VOK_ATOM_NODE* u0;
  VOK_ATOM_NODE* e0;
  VOK_ATOM_NODE* a;
  VOK_ATOM_NODE* b;
  VOK_ATOM_NODE* c;
  VOK_ATOM_NODE* f;
};
KX_PERIPHERY kx_periphery();

}  // namespace scenes
}  // namespace host::testing
