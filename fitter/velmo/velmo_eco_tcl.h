#pragma once
// The optimisers' test commands on the global environment.
class VELMO_ECO_TCL {
public:
  // Runs the incremental retimer; 1 when done (also with nothing to do).
  static int test_incremental_retiming();
};
