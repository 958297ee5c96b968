#include "w3j3/w3j3_cfg_db_manager.h"

#include <memory>

#include "common/host_call_log.h"
#include "common/host_world.h"

namespace {
struct CFG_DB_STATE {
  std::unique_ptr<W3J3_CFG_DB_MANAGER> manager;
};
CFG_DB_STATE& l_state() { return host_world_slot<CFG_DB_STATE>(); }
}  // namespace

W3J3_CFG_DB_MANAGER* W3J3_CFG_DB_MANAGER::get_instance() { return l_state().manager.get(); }

void W3J3_CFG_DB_MANAGER::reset() {
  host::log_call("W3J3_CFG_DB_MANAGER::reset");
  m_size = 0;
  m_locations.clear();
}

void W3J3_CFG_DB_MANAGER::set_atom_netlist_size(unsigned size) {
  host::log_call("W3J3_CFG_DB_MANAGER::set_atom_netlist_size", size);
  m_size = size;
}

void W3J3_CFG_DB_MANAGER::set_location(unsigned atom_id, const std::uint32_t (&coordinate)[4]) {
  host::log_call("W3J3_CFG_DB_MANAGER::set_location", atom_id, coordinate[3]);
  m_locations[atom_id] = coordinate[3];
}

namespace host::w3j3 {
void set_cfg_db_manager_present(bool present) {
  if (present)
    l_state().manager = std::make_unique<W3J3_CFG_DB_MANAGER>();
  else
    l_state().manager.reset();
}
}  // namespace host::w3j3
