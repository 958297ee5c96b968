#include "w3j3/w3j3_port_map_db.h"

VOK_ATOM_LOGICAL_PORT W3J3_LOGICAL_PORT_FACTORY::create(const VOK_ATOM_ITERM* iterm) {
  return vok_get_logical_port(iterm);
}

VOK_ATOM_LOGICAL_PORT W3J3_LOGICAL_PORT_FACTORY::create(const VOK_ATOM_OTERM* oterm) {
  return vok_get_logical_port(oterm);
}

std::vector<W3J3_PORT_MAP_ENTRY> W3J3_PORT_MAP_DB::get_port_map_results(const VOK_ATOM_LOGICAL_PORT& port,
                                                                        int map_type) const {
  std::vector<W3J3_PORT_MAP_ENTRY> out;
  auto it = m_entries.find(KEY(port.get_atom_id(), port.get_port().index(), port.get_index()));
  if (it == m_entries.end()) return out;
  for (const W3J3_PORT_MAP_ENTRY& e : it->second)
    if (e.type == map_type) out.push_back(e);
  return out;
}

void W3J3_PORT_MAP_DB::add_entry(const VOK_ATOM_LOGICAL_PORT& port, W3J3_PORT_MAP_ENTRY entry) {
  m_entries[KEY(port.get_atom_id(), port.get_port().index(), port.get_index())].push_back(entry);
}
