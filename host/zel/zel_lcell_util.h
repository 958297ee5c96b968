#pragma once
// LUT-cell helpers of the netlist utilities.
#include <cstdint>
#include <vector>
#include "common/host_api.h"

class VOK_ATOM_NODE;
class VOK_ATOM_ITERM;

class HOST_API ZEL_LCELL_UTIL {
public:
  // algorithm: stores the mask as the cell's (sum) LUT mask for six inputs.
  static void set_sum_lutmask(VOK_ATOM_NODE* atom, std::uint64_t mask, bool flag);
  // algorithm: a combinational cell with one used and driven input whose
  // output equals that input (a wire LUT) and whose metadata "USE_WIRELUT"
  // (namespace 4) is "ROUTING".
  static bool atom_is_wire_lut_used_for_routing(const VOK_ATOM_NODE* atom);
  // algorithm: the atom's carry-in is fed by a carry-out, or its carry-out
  // feeds a carry-in.
  static bool is_atom_part_of_chain(const VOK_ATOM_NODE* atom);
  // algorithm: every atom of the atom's carry chain, head first (the atom
  // itself included).
  static std::vector<VOK_ATOM_NODE*> get_atoms_in_chain(const VOK_ATOM_NODE* atom);
  // data: the cell's 64-bit LUT mask.
  static std::uint64_t get_lutmask(const VOK_ATOM_NODE* atom);

  // ---- wire LUTs (periphery-core placement)
  // algorithm: a combinational cell with one used and driven input whose
  // output equals that input, whatever its metadata says.
  static bool atom_is_wire_lut(const VOK_ATOM_NODE* atom);
  // algorithm: the used and driven input of a wire LUT; null otherwise.
  static VOK_ATOM_ITERM* get_wire_lut_iterm(const VOK_ATOM_NODE* atom);
};
