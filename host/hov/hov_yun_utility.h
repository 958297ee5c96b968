#pragma once
// The timing accessories' retiming utility: the retiming-aware analysis
// state the accessories keep between analyses. Every operation is recorded.
#include "common/host_api.h"

class HOST_API HOV_YUN_UTILITY {
public:
  // recorded: readies the utility for an analysis.
  void prepare();
  // recorded: balances the slacks of the prepared analysis.
  void balance_slacks();
  // recorded: ends the preparation.
  void finish_preparation();
  // recorded: drops the timing state the utility holds.
  void remove_timing(bool all, bool keep_netlist);
};
