#pragma once
// data: the port map: a logical port of an atom terminal to its {type, value}
// entries. Type-1 entries name a GESK port by value.
#include <map>
#include <tuple>
#include <vector>

#include "common/host_api.h"
#include "vok/vok_re_logical_port.h"

struct W3J3_PORT_MAP_ENTRY {
  int type = 0;
  int value = 0;
  bool operator==(const W3J3_PORT_MAP_ENTRY&) const = default;
};

class HOST_API W3J3_LOGICAL_PORT_FACTORY {
public:
  // The logical port of an atom terminal.
  static VOK_ATOM_LOGICAL_PORT create(const VOK_ATOM_ITERM* iterm);
  static VOK_ATOM_LOGICAL_PORT create(const VOK_ATOM_OTERM* oterm);
};

class HOST_API W3J3_PORT_MAP_DB {
public:
  // The entries of map type `map_type` for a port, in insertion order.
  std::vector<W3J3_PORT_MAP_ENTRY> get_port_map_results(const VOK_ATOM_LOGICAL_PORT& port, int map_type) const;
  void add_entry(const VOK_ATOM_LOGICAL_PORT& port, W3J3_PORT_MAP_ENTRY entry);

private:
  using KEY = std::tuple<std::uint32_t, int, std::uint16_t>;
  std::map<KEY, std::vector<W3J3_PORT_MAP_ENTRY>> m_entries;
};
