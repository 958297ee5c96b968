#pragma once
// The test entries of the post-route incremental retimer and resynthesiser
// that the Tcl commands run on the process's fitter environment.
class VELMO_ECO_TCL {
public:
  // Non-zero when the run succeeded (or had nothing to do).
  static int test_incremental_retiming();
  static int test_incremental_resynthesis();
};
