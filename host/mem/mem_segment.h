#pragma once
// data: memory segments that host utilities are created in. The stand-in has
// one, the default segment; utilities accept it and allocate normally.
#include "common/host_api.h"

class HOST_API MEM_SEGMENT {
public:
  static MEM_SEGMENT* get_default();
};
