#pragma once
// data: the configuration database manager of the port model: the atom
// netlist size it is set up for and the atoms' locations. Absent unless a
// test or the run makes it (host::w3j3::set_cfg_db_manager_present).
#include <cstdint>
#include <map>

#include "common/host_api.h"

class HOST_API W3J3_CFG_DB_MANAGER {
public:
  // data: the manager, null when absent.
  static W3J3_CFG_DB_MANAGER* get_instance();
  // recorded.
  void reset();
  void set_atom_netlist_size(unsigned size);
  void set_location(unsigned atom_id, const std::uint32_t (&coordinate)[4]);

  unsigned get_atom_netlist_size() const { return m_size; }
  const std::map<unsigned, std::uint32_t>& locations() const { return m_locations; }

private:
  unsigned m_size = 0;
  std::map<unsigned, std::uint32_t> m_locations;  // atom id -> location index (fourth component)
};

namespace host::w3j3 {
HOST_API void set_cfg_db_manager_present(bool present);
}  // namespace host::w3j3
