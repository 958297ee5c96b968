#pragma once
// data: debug names of host enumerators (port types, atom types), for debug
// text only: "<TABLE>_<number>".
#include <string>

#include "common/host_api.h"

class HOST_API TWY_TRANSLATOR {
public:
  enum TABLE { INPUT_PORT_TYPE, OUTPUT_PORT_TYPE, ATOM_TYPE };
  static std::string get_debug_name(TABLE table, int value);
  // The debug name of an atom type.
  static std::string get_debug_string_name(int atom_type) { return get_debug_name(ATOM_TYPE, atom_type); }
};
