#include "vok/vok_chip_db_entry.h"

#include "vok/vok_atom_netlist.h"

#include "common/host_world.h"
#include "dev/dev_family.h"

VOK_CHIP_DB_ENTRY::VOK_CHIP_DB_ENTRY() = default;
VOK_CHIP_DB_ENTRY::~VOK_CHIP_DB_ENTRY() = default;

void VOK_CHIP_DB_ENTRY::clear() {
  m_routing.clear();
  for (auto& n : m_networks) n = JUK::FOREST<int, int>();
  m_explicit_hard_gids.clear();
}

VOK_CHIP_DB_ENTRY* VOK_CHIP_DB_ENTRY::current() { return &host_world_slot<VOK_CHIP_DB_ENTRY>(); }

int VOK_CHIP_DB_ENTRY::get_base_family_code() const { return host::device::base_family_code(); }

VOK_ATOM_NETLIST* VOK_CHIP_DB_ENTRY::get_atom_netlist() const {
  return m_atom_netlist != nullptr ? m_atom_netlist : host::vok::top_netlist();
}

void VOK_CHIP_DB_ENTRY::set_atom_netlist(VOK_ATOM_NETLIST* netlist) {
  m_atom_netlist = netlist;
  host::vok::present_netlist(netlist);
}
