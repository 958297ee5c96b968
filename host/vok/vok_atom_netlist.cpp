#include "vok/vok_atom_netlist.h"

#include <memory>

#include "common/host_world.h"

namespace {
struct VOK_STATE {
  std::unique_ptr<VOK_ATOM_NETLIST> top = std::make_unique<VOK_ATOM_NETLIST>();
};
}  // namespace

VOK_ATOM_NETLIST::VOK_ATOM_NETLIST() = default;
VOK_ATOM_NETLIST::~VOK_ATOM_NETLIST() = default;

namespace host::vok {
VOK_ATOM_NETLIST* top_netlist() { return host_world_slot<VOK_STATE>().top.get(); }
}  // namespace host::vok
