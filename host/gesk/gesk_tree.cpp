#include "gesk/gesk_tree.h"

std::string GESK_TREE::get_icd_port_name(int value) const {
  return value >= 0 && value < static_cast<int>(m_ports.size()) ? m_ports[static_cast<std::size_t>(value)].icd_name : "";
}

int GESK_TREE::get_instance_id(int value) const {
  return value >= 0 && value < static_cast<int>(m_ports.size()) ? m_ports[static_cast<std::size_t>(value)].instance_id
                                                                 : INVALID;
}

const GESK_INSTANCE* GESK_TREE::get_instance(int id) const {
  return id >= 0 && id < static_cast<int>(m_instances.size()) ? &m_instances[static_cast<std::size_t>(id)] : nullptr;
}

bool GESK_TREE::get_coordinate(const std::string& name, int& x, int& y, int& z) const {
  for (const GESK_INSTANCE& i : m_instances)
    if (i.get_name() == name) {
      x = i.get_x();
      y = i.get_y();
      z = i.get_z();
      return true;
    }
  return false;
}

int GESK_TREE::add_instance(const std::string& name, int x, int y, int z) {
  m_instances.emplace_back(static_cast<int>(m_instances.size()), name, x, y, z);
  return static_cast<int>(m_instances.size()) - 1;
}

int GESK_TREE::add_port(const std::string& icd_name, int instance_id) {
  m_ports.push_back({icd_name, instance_id});
  return static_cast<int>(m_ports.size()) - 1;
}
