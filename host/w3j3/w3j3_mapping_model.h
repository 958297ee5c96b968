#pragma once
// data: the compile-database model of a state's port map (type
// "w3j3_mapping"): a port-map database and the atoms' locations, both owned.
#include <cstdint>
#include <map>
#include <memory>

#include "common/host_api.h"
#include "kiv/kiv_model.h"
#include "w3j3/w3j3_port_map_db.h"

class HOST_API W3J3_MAPPING_MODEL : public KIV_MODEL {
public:
  static const char* const s_model_type_string;  // "w3j3_mapping"
  W3J3_MAPPING_MODEL();
  ~W3J3_MAPPING_MODEL() override;
  W3J3_PORT_MAP_DB* get_port_map_db() const { return m_port_map.get(); }
  // Atom id -> location index.
  std::map<std::uint32_t, std::uint32_t>& atom_locations() { return m_locations; }
  const std::map<std::uint32_t, std::uint32_t>& atom_locations() const { return m_locations; }

private:
  std::unique_ptr<W3J3_PORT_MAP_DB> m_port_map;
  std::map<std::uint32_t, std::uint32_t> m_locations;
};
