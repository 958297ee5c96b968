#pragma once
// The design bundle (device instance) singleton.
#include <map>
#include <memory>
#include <vector>
#include "common/host_api.h"
#include "pelk/pelk_symbol.h"

class GESK_TREE;
class VOK_ATOM_NETLIST;
class W3J3_PORT_MAP_DB;
class WUMP_ROUTE_INFO;
class WUMP_DIE_INFO;

// The symbol namespace of design-bundle instance names.
inline constexpr int JEV_INSTANCE_NAMESPACE = 17;
struct W3J3_PORT_MAP_ENTRY;

// data: the device-instance model as far as the port lookups need it: the
// top-level routing gid (a block port, kind 659) of each GESK port value.
class HOST_API GESK_DEVICE {
public:
  // 0xFFFFFFFF when the value names no port.
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
  // data: the bundle's port map and device-instance model.
  W3J3_PORT_MAP_DB* get_port_map_db() const { return m_port_map; }
  GESK_DEVICE* get_device() const { return m_device; }
  // data: the bundle's instance tree (gesk_tree.h).
  GESK_TREE* get_instance_tree() const { return m_instance_tree; }

  // data: the atom netlist the bundle refers to (written directly).
  VOK_ATOM_NETLIST* m_atom_netlist = nullptr;

  // data: the bundle's entry table; an entry is set once it is loaded.
  const std::vector<void*>& get_entries() const { return m_entries; }
  std::vector<void*>& entries() { return m_entries; }

private:
  std::vector<void*> m_entries;
  W3J3_PORT_MAP_DB* m_port_map;
  GESK_DEVICE* m_device;
  GESK_TREE* m_instance_tree;
};

class HOST_API GESK_BUNDLE_SINGLETON {
public:
  // data: the loaded bundle, null when none is loaded (host::gesk::load).
  static GESK_BUNDLE* get_bundle();
};

// The routing/bundle utility: port-map entries to top-level routing gids.
class HOST_API WUMP_GESK_UTIL {
public:
  WUMP_GESK_UTIL(const WUMP_ROUTE_INFO* route_info, const GESK_DEVICE* device)
      : m_route_info(route_info), m_device(device) {}
  // The top-level routing gid of a type-1 entry; 0xFFFFFFFF for none.
  unsigned get_top_level_wump_port_gid(const W3J3_PORT_MAP_ENTRY& entry) const;
  const WUMP_ROUTE_INFO* get_route_info() const { return m_route_info; }
  // data: the routing top-level block (a row segment with its four PMUXes)
  // that holds a PMUX gid; -1 (GESK_TREE::INVALID) for any other gid.
  int get_top_level_gesk_instance_id(unsigned gid) const;
  // data: the block's instance name, "RTLB_X<x>_Y<y>" (a symbol of
  // JEV_INSTANCE_NAMESPACE); the null symbol for an unknown id.
  PELK get_instance_name(int instance_id) const;

private:
  const WUMP_ROUTE_INFO* m_route_info;
  const GESK_DEVICE* m_device;
};

// The utility over a die's route info and the bundle's device (the world's
// object, remade at each call).
HOST_API WUMP_GESK_UTIL* zel_dev_obtain_wump_gesk_util(const WUMP_ROUTE_INFO* route_info, const GESK_DEVICE* device);

using ZEL_DEV_WUMP_GESK_UTIL = WUMP_GESK_UTIL;
// The utility over a die's route info and a bundle device, shared with the
// caller (released when the last holder lets it go).
HOST_API std::shared_ptr<ZEL_DEV_WUMP_GESK_UTIL> zel_dev_obtain_wump_gesk_util(const WUMP_DIE_INFO* die,
                                                                             const GESK_DEVICE* device);

namespace host::gesk {
// Loads (or drops) the bundle; `loaded_entry` sets one entry of its table.
HOST_API void load(bool present, bool loaded_entry);
}
