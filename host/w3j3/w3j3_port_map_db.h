#pragma once
// data: the port map: a logical port of an atom terminal to its {type, value}
// entries. Type-1 entries name a GESK port by value.
#include <map>
#include <string>
#include <tuple>
#include <vector>

#include "common/host_api.h"
#include "vok/vok_re_logical_port.h"

class GESK_DEVICE;

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
  // Drops one entry of a port (the first equal one), if it has it.
  void remove_entry(const VOK_ATOM_LOGICAL_PORT& port, W3J3_PORT_MAP_ENTRY entry);
  // data: no port has an entry.
  bool is_empty() const { return m_entries.empty(); }
  // recorded: drops every entry; adds the other database's entries.
  void reset();
  void merge(const W3J3_PORT_MAP_DB& other);
  // recorded: writes the entries of a map type, one line per port.
  void debug_dump(const std::string& file_name, int map_type, const GESK_DEVICE* device) const;

private:
  using KEY = std::tuple<std::uint32_t, int, std::uint16_t>;
  std::map<KEY, std::vector<W3J3_PORT_MAP_ENTRY>> m_entries;
};

// The port-map interface: a process-wide singleton over one port-map
// database, answering the lookups of the incremental router's callers.
class HOST_API W3J3_PORT_MAP_INTERFACE {
public:
  // data: the singleton over `db` (made on first use, remade when asked for
  // another database); null for a null database. Directives are not used.
  static W3J3_PORT_MAP_INTERFACE* get_instance(const W3J3_PORT_MAP_DB* db, const void* directives = nullptr);
  // data: drops the singleton.
  static void destroy_instance();
  explicit W3J3_PORT_MAP_INTERFACE(const W3J3_PORT_MAP_DB* db) : m_db(db) {}

  const W3J3_PORT_MAP_DB* get_port_map_db() const { return m_db; }
  // The type-1 entries of an input term's logical port; empty when the term
  // maps to no device port.
  std::vector<W3J3_PORT_MAP_ENTRY> get_port_map_results(const VOK_ATOM_ITERM* iterm) const;

private:
  const W3J3_PORT_MAP_DB* m_db;
};

namespace host::w3j3 {
// algorithm: recomputes the loaded bundle's port map from placement, as every
// run of the port-map step does (idempotent). Each terminal of a placed I/O
// atom (one in a pad tile) whose connection leaves its pin, and each
// connected terminal of a placed periphery block, gets one type-1 entry
// naming a port of the block's bundle instance ("IO_X<x>_Y<y>_N<pin>" at the
// pin's pad site, "PERIPHERY_X<x>_Y<y>" at the block's site): a pin's
// "in[pin]" (inputs) or "out[pin]" (outputs); a block's inputs in[0..3] and
// outputs out[0..3] in terminal order (terminals past the fourth get none).
// The device-instance model learns each port's routing gid. Entries an
// earlier run made and the atoms no longer earn are dropped; entries made by
// anyone else are kept. Returns the number of entries this run holds.
HOST_API int recompute_port_map();
}  // namespace host::w3j3
