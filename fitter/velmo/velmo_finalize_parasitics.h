#pragma once
// Hold fixing with dangling parasitic wires, run by the post-finalize
// operations, and the incremental delay annotation after the hold-fix
// re-route.
#include <utility>
#include <vector>

#include "kem/kem_timing_model.h"

class WEXAN_ENV;

class VELMO_FINALIZE_PARASITICS {
public:
  // Set only when the hold-fix re-route gave up: the stage driver clears it
  // at the start of finalize and then skips writing the timing netlist a
  // second time.
  static bool has_written_out_kem;
  // Per-corner hold fixing. An empty corner list marks the first call, which
  // selects the corners and doubles the list; `start` is where in the doubled
  // list this pass begins. True when every hold failure met in this call and
  // the passes it started was fixed (or the re-route gave up).
  static bool run(WEXAN_ENV* env, std::vector<KEM_TIMING_MODEL> models, int start);
  // Incremental delay annotation after the hold-fix re-route; true when it
  // ran.
  static bool run_incremental_hep_after_spar(WEXAN_ENV* env);
};

namespace velmo_parasitics {
// The node range [first, last) worker `index` of `workers` searches in a
// timing netlist of `nodes` nodes (an empty range: nothing to do).
std::pair<int, int> worker_range(int nodes, int workers, int index);

// The corner-selection switches.
struct CORNER_RULES {
  int voltage = -1;         // the voltage filter (mV; -1 the defaults'; below -1 any)
  bool vid_part = false;    // the part has the VID trait
  int vid_slow_cold = 1;
  int vid_slow_hot = 1;
};
// The corners of `part_models` hold fixing analyses, in list order, given the
// slow and fast default corners.
std::vector<KEM_TIMING_MODEL> select_corners(const std::vector<KEM_TIMING_MODEL>& part_models,
                                             const KEM_TIMING_MODEL& slow, const KEM_TIMING_MODEL& fast,
                                             const CORNER_RULES& rules);
}  // namespace velmo_parasitics
