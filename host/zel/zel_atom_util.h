#pragma once
// data: predicates over atoms.
#include "common/host_api.h"

#include <string>

class VOK_ATOM_NODE;
class VOK_ATOM_ITERM;

class HOST_API ZEL_ATOM_UTIL {
public:
  // A register made as a pipeline register or forced into ZOTA mode
  // (atom operation VOK_ATOM_OPERATION_FORCE_ZOTA).
  static bool is_zota_marked_reg(const VOK_ATOM_NODE* atom);
  // data: atoms of the basic type can only be placed in the periphery (I/O
  // buffers and pads, PLLs, clock buffers and gates other than sector gates,
  // UIB/UFI/ESRAM/PR/tile-control blocks).
  static bool must_be_in_periphery(int basic_type);
  // data: a register of the periphery (an I/O register).
  static bool is_periphery_ff(const VOK_ATOM_NODE* atom);
  // data: the clear input (port type 6) acts synchronously: its usage is the
  // synchronous clear (30).
  static bool is_clear_iterm_sclear(const VOK_ATOM_ITERM* iterm);
  // data: a ZOTA-marked register that, when `check_placed`, is also placed.
  static bool is_zota_marked_reg_with_place_check(const VOK_ATOM_NODE* atom, bool check_placed);
};

class HOST_API ZEL_ZOTA_UTIL {
public:
  // A register with only a clock and a data input connected (no enable, no
  // clears).
  static bool is_ff_atom_a_simple_ff(const VOK_ATOM_NODE* atom);
  // data: a flip-flop whose bool parameter 5 (bypass) is set.
  static bool is_ff_bypassed(const VOK_ATOM_NODE* atom);
};


class VOK_ATOM_ITERM;

// algorithm: the two inputs carry the same signal: the same source (traced
// through hierarchy) with the same inversion, or tied to the same constant,
// or neither is there (absent or unconnected).
HOST_API bool iterms_are_identical(const VOK_ATOM_NODE* atom_a, const VOK_ATOM_NODE* atom_b,
                                   const VOK_ATOM_ITERM* a, const VOK_ATOM_ITERM* b);
// algorithm: the two inputs are driven by two different registers whose
// inputs are pairwise identical (same ports, same signals) and whose power-up
// states agree.
HOST_API bool iterms_are_from_different_but_equivalent_registers(const VOK_ATOM_NODE* atom_a,
                                                                 const VOK_ATOM_NODE* atom_b,
                                                                 const VOK_ATOM_ITERM* a, const VOK_ATOM_ITERM* b);
