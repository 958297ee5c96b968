#pragma once
// data: predicates over atoms.
#include "common/host_api.h"

class VOK_ATOM_NODE;

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
};
