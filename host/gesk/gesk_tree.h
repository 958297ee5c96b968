#pragma once
// data: the design bundle's instance tree (the device-instance model): its
// instances (id, name, coordinate x, y, z) and its ports (a port-map value ->
// the port's ICD name and the id of the instance it belongs to).
#include <map>
#include <string>
#include <vector>

#include "common/host_api.h"

class HOST_API GESK_INSTANCE {
public:
  GESK_INSTANCE(int id, std::string name, int x, int y, int z) : m_id(id), m_name(std::move(name)), m_x(x), m_y(y), m_z(z) {}
  int get_id() const { return m_id; }
  const std::string& get_name() const { return m_name; }
  int get_x() const { return m_x; }
  int get_y() const { return m_y; }
  int get_z() const { return m_z; }

private:
  int m_id;
  std::string m_name;
  int m_x, m_y, m_z;
};

class HOST_API GESK_TREE {
public:
  static constexpr int INVALID = -1;

  // The ICD port name of a port-map value ("" for an unknown value).
  std::string get_icd_port_name(int value) const;
  // The instance id of a port-map value; INVALID for an unknown value.
  int get_instance_id(int value) const;
  // The instance of an id; null for an unknown id.
  const GESK_INSTANCE* get_instance(int id) const;
  // The coordinate of an instance by name; false for an unknown name.
  bool get_coordinate(const std::string& name, int& x, int& y, int& z) const;

  // Building: an instance (returns its id) and a port (returns its value).
  // A port may name an instance id that does not exist (tests of lookups).
  int add_instance(const std::string& name, int x, int y, int z);
  int add_port(const std::string& icd_name, int instance_id);

private:
  std::vector<GESK_INSTANCE> m_instances;
  struct PORT {
    std::string icd_name;
    int instance_id;
  };
  std::vector<PORT> m_ports;
};
