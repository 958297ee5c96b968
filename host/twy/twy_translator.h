#pragma once
// Debug names of host enumerations.
#include <string>

#include "common/host_api.h"

class HOST_API TWY_TRANSLATOR {
public:
  // data: the debug name of an atom type ("ATOM_TYPE_<n>" for types without
  // a name of their own).
  static std::string get_debug_string_name(int atom_type);
};
