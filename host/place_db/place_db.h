#pragma once
// data: the placement database, an index over the atoms' locations, read
// from the design as it stands at each query.
#include <cstdint>
#include <utility>
#include <vector>

#include "common/host_api.h"

class VOK_ATOM_NODE;

class HOST_API PLACE_DB {
public:
  struct LOCATION {
    std::uint32_t x = 0;
    std::uint32_t y = 0;
    std::uint32_t z = 0;
    std::int32_t index = -1;
    std::uint16_t element = 0;
  };
  // The atoms of the design's top netlist (black boxes flattened) placed at
  // tile (x, y) (slot registers at the slot's tile), in atom-id order.
  static std::vector<VOK_ATOM_NODE*> get_atoms_at(std::uint32_t x, std::uint32_t y);
  // The atom placed at a gid, or null.
  static VOK_ATOM_NODE* get_atom(std::uint32_t gid);
  // The atom placed at a plain coordinate location (site z of tile (x, y)),
  // or null.
  static VOK_ATOM_NODE* get_atom(const LOCATION& location);
  // The tile of a placement or slot gid; (-1, -1) for none.
  static std::pair<int, int> get_xy_from_gid(std::uint32_t gid);

  // ---- resynthesiser: the database object and the atoms of one ALE.
  // data: the process's database (never null).
  static PLACE_DB* get();
  // recorded: whether the database is set up (yes until reset), emptied,
  // refilled from the current netlist.
  static bool is_initted();
  void reset();
  void update(bool full);
  // The atoms placed in the ALE of a placement gid (same tile, sub-location
  // / 6 equal), in atom-id order; empty for a slot or unknown gid.
  std::vector<VOK_ATOM_NODE*> get_ale_atoms_of(std::uint32_t gid) const;
  // The tile of an atom's location; (-1, -1) for an unplaced or null atom.
  static std::pair<int, int> get_base_xy_from_atom(const VOK_ATOM_NODE* atom);
};
