#pragma once
// The atom netlist of the stand-in host.
#include "common/host_api.h"

class HOST_API VOK_ATOM_NETLIST {
public:
  VOK_ATOM_NETLIST();
  virtual ~VOK_ATOM_NETLIST();
  VOK_ATOM_NETLIST(const VOK_ATOM_NETLIST&) = delete;
  VOK_ATOM_NETLIST& operator=(const VOK_ATOM_NETLIST&) = delete;
};

namespace host::vok {
// data: the design's top-level netlist (created empty on first use, destroyed
// at reset).
HOST_API VOK_ATOM_NETLIST* top_netlist();
}  // namespace host::vok
