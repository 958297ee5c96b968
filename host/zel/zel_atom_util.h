#pragma once
// data: predicates over atoms.
#include "common/host_api.h"

class VOK_ATOM_NODE;

class HOST_API ZEL_ATOM_UTIL {
public:
  // A register made as a pipeline register or forced into ZOTA mode
  // (atom operation VOK_ATOM_OPERATION_FORCE_ZOTA).
  static bool is_zota_marked_reg(const VOK_ATOM_NODE* atom);
};
