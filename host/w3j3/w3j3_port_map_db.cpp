#include "w3j3/w3j3_port_map_db.h"

#include <algorithm>
#include <memory>

#include "common/host_call_log.h"
#include "common/host_world.h"

#include <fstream>

namespace {
struct W3J3_INTERFACE_STATE {
  std::unique_ptr<W3J3_PORT_MAP_INTERFACE> instance;
};
W3J3_INTERFACE_STATE& interface_state() { return host_world_slot<W3J3_INTERFACE_STATE>(); }
}  // namespace

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

void W3J3_PORT_MAP_DB::remove_entry(const VOK_ATOM_LOGICAL_PORT& port, W3J3_PORT_MAP_ENTRY entry) {
  auto it = m_entries.find(KEY(port.get_atom_id(), port.get_port().index(), port.get_index()));
  if (it == m_entries.end()) return;
  auto e = std::find(it->second.begin(), it->second.end(), entry);
  if (e != it->second.end()) it->second.erase(e);
  if (it->second.empty()) m_entries.erase(it);
}

W3J3_PORT_MAP_INTERFACE* W3J3_PORT_MAP_INTERFACE::get_instance(const W3J3_PORT_MAP_DB* db, const void*) {
  W3J3_INTERFACE_STATE& st = interface_state();
  if (db == nullptr) return nullptr;
  if (!st.instance || st.instance->m_db != db) st.instance = std::make_unique<W3J3_PORT_MAP_INTERFACE>(db);
  return st.instance.get();
}

void W3J3_PORT_MAP_INTERFACE::destroy_instance() { interface_state().instance.reset(); }

std::vector<W3J3_PORT_MAP_ENTRY> W3J3_PORT_MAP_INTERFACE::get_port_map_results(const VOK_ATOM_ITERM* iterm) const {
  if (m_db == nullptr || iterm == nullptr) return {};
  return m_db->get_port_map_results(W3J3_LOGICAL_PORT_FACTORY::create(iterm), 1);
}

void W3J3_PORT_MAP_DB::reset() {
  host::log_call("W3J3_PORT_MAP_DB::reset");
  m_entries.clear();
}

void W3J3_PORT_MAP_DB::merge(const W3J3_PORT_MAP_DB& other) {
  host::log_call("W3J3_PORT_MAP_DB::merge");
  for (const auto& [key, list] : other.m_entries) {
    auto& mine = m_entries[key];
    mine.insert(mine.end(), list.begin(), list.end());
  }
}

void W3J3_PORT_MAP_DB::debug_dump(const std::string& file_name, int map_type, const GESK_DEVICE*) const {
  host::log_call("W3J3_PORT_MAP_DB::debug_dump", file_name, map_type);
  std::ofstream out(file_name);
  for (const auto& [key, list] : m_entries)
    for (const W3J3_PORT_MAP_ENTRY& e : list)
      if (e.type == map_type)
        out << std::get<0>(key) << " " << std::get<1>(key) << " " << std::get<2>(key) << " -> " << e.value << "\n";
}
