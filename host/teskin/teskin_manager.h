#pragma once
// The user-macro manager.
#include "common/host_api.h"

class VOK_ATOM_NETLIST;

namespace TESKIN {
class HOST_API MANAGER {
public:
  // data: the world's manager (never null).
  static MANAGER* get();
  MANAGER();
  virtual ~MANAGER();
  MANAGER(const MANAGER&) = delete;
  MANAGER& operator=(const MANAGER&) = delete;
  // recorded: loads the user macros of the netlist; scripted, default true.
  bool initialize(VOK_ATOM_NETLIST* netlist);
};
}  // namespace TESKIN
