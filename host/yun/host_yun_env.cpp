#include "yun/host_yun_env.h"

#include "cmp/cmp_facade.h"
#include "vok/vok_atom_netlist.h"
#include "wexan/wexan_design.h"

HOST_YUN_ENV::~HOST_YUN_ENV() = default;
CMP_FACADE* HOST_YUN_ENV::get_cmp_facade() { return CMP_FACADE::current(); }
VOK_ATOM_NETLIST* HOST_YUN_ENV::get_atom_netlist() { return host::vok::top_netlist(); }
bool HOST_YUN_ENV::copy_atom_location_constraints(const VOK_ATOM_NODE* from, VOK_ATOM_NODE* to, bool a, bool b) {
  return WEXAN_DESIGN::current()->copy_atom_location_constraints(from, to, a, b);
}
