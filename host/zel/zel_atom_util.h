#pragma once
// data: predicates over atoms.
#include "common/host_api.h"

#include <string>

class VOK_ATOM_NODE;

class HOST_API ZEL_ATOM_UTIL {
public:
  // A register made as a pipeline register or forced into ZOTA mode
  // (atom operation VOK_ATOM_OPERATION_FORCE_ZOTA).
  static bool is_zota_marked_reg(const VOK_ATOM_NODE* atom);
};

class HOST_API ZEL_ZOTA_UTIL {
public:
  // A register with only a clock and a data input connected (no enable, no
  // clears).
  static bool is_ff_atom_a_simple_ff(const VOK_ATOM_NODE* atom);
};

class HOST_API ZEL_ATOM_DUMPER {
public:
  // recorded: writes the design's top netlist, one line per atom (id, path
  // and the source of each connected input), to the named file.
  static void dump_current_atom_netlist(const std::string& file_name);
};
