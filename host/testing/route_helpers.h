#pragma once
// Placement helpers for routing tests and benchmarks, and a generated placed
// design:
//
//   place_at(atom, 3, 4, 0);          // site z of LAB (3, 4) (or any tile's site)
//   place_in_slot(preg, 6, 4, 60);    // pipeline slot 60..99 of LAB (6, 4)
//   auto d = generate_placed_design(3000, 7);
//
// Placement writes the location gid rule's values: the site's placement gid
// and kind, or the slot's routing gid and 282.
#include <string>

#include "vok/vok_atom_netlist.h"
#include "vok/vok_re_logical_port.h"

namespace host::testing {

// Places the atom on site z of tile (x, y); throws NETLIST_BUILD_ERROR when
// there is no such site.
void place_at(VOK_ATOM_NODE* atom, int x, int y, int z);
// Places a register in pipeline slot `sub` (60..99) of LAB (x, y).
void place_in_slot(VOK_ATOM_NODE* atom, int x, int y, int sub);

// The logical ports routing edits name: input `type` (its `index`th) of an
// atom, and an atom's first output.
VOK_ATOM_LOGICAL_PORT in_port(VOK_ATOM_NODE* atom, DB_INPUT_PORT_TYPE type, int index = 0);
VOK_ATOM_LOGICAL_PORT out_port(VOK_ATOM_NODE* atom);

struct GENERATED_DESIGN {
  int atoms = 0;
  int luts = 0;
  int registers = 0;
  int pins = 0;
};
// A deterministic design of about `atoms` LUTs and registers on the world's
// device (which must be large enough: about 1.3 atoms go in a LAB), placed
// by a simple local rule: logic in LABs in Z order, each LUT fed by two to four recent signals (now
// and then an older one), every third
// LUT registered, inputs and outputs on pins along the left and right edges.
GENERATED_DESIGN generate_placed_design(int atoms, unsigned seed);

}  // namespace host::testing
