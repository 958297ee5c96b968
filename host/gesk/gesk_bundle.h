#pragma once
// data: the design bundle (its port map and device-instance model) and the
// utility that turns port-map entries into top-level routing gids.
#include <map>

#include "common/host_api.h"

class W3J3_PORT_MAP_DB;
class WUMP_ROUTE_INFO;
struct W3J3_PORT_MAP_ENTRY;

class HOST_API GESK_DEVICE {
public:
  // data: the top-level routing gid (a block port, kind 659) of a GESK port
  // value; 0xFFFFFFFF when the value names none.
  unsigned get_port_gid(int value) const;
  void set_port_gid(int value, unsigned gid) { m_port_gids[value] = gid; }

private:
  std::map<int, unsigned> m_port_gids;
};

class HOST_API GESK_BUNDLE {
public:
  GESK_BUNDLE();
  ~GESK_BUNDLE();
  GESK_BUNDLE(const GESK_BUNDLE&) = delete;
  GESK_BUNDLE& operator=(const GESK_BUNDLE&) = delete;
  W3J3_PORT_MAP_DB* get_port_map_db() const { return m_port_map; }
  GESK_DEVICE* get_device() const { return m_device; }

private:
  W3J3_PORT_MAP_DB* m_port_map;
  GESK_DEVICE* m_device;
};

class HOST_API GESK_BUNDLE_SINGLETON {
public:
  // data: the world's bundle; null when host::gesk::set_absent(true).
  static GESK_BUNDLE* get_bundle();
};

class HOST_API WUMP_GESK_UTIL {
public:
  WUMP_GESK_UTIL(const WUMP_ROUTE_INFO* route_info, const GESK_DEVICE* device)
      : m_route_info(route_info), m_device(device) {}
  // The top-level routing gid of a type-1 entry; 0xFFFFFFFF for none.
  unsigned get_top_level_wump_port_gid(const W3J3_PORT_MAP_ENTRY& entry) const;

private:
  const WUMP_ROUTE_INFO* m_route_info;
  const GESK_DEVICE* m_device;
};

// The routing/bundle utility over a die's route info and the bundle's device
// (the world's object, rebuilt for each call).
HOST_API WUMP_GESK_UTIL* zel_dev_obtain_wump_gesk_util(const WUMP_ROUTE_INFO* route_info, const GESK_DEVICE* device);

namespace host::gesk {
HOST_API void set_absent(bool absent);
}
