#pragma once
// Hold fixing with dangling parasitic wires, run by finalize and the
// post-finalize operations.
#include <vector>

class KEM_TIMING_MODEL;
class WEXAN_ENV;

class VELMO_FINALIZE_PARASITICS {
public:
  // Set once the hold fixing has written the timing netlist in this run.
  static bool has_written_out_kem;
  // Per-corner hold fixing.
  static void run(WEXAN_ENV* env, std::vector<KEM_TIMING_MODEL> models, int mode);
  // Incremental delay annotation after the hold-fix re-route; true when it
  // ran.
  static bool run_incremental_hep_after_spar(WEXAN_ENV* env);
};
