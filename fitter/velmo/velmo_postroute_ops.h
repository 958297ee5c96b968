#pragma once
// The netlist operations the host runs around the routing stage.
#include "velmo_export.h"

class VELMO_API VELMO_POSTROUTE_OPS {
public:
  // The operations after routing: pipeline-register (ZOTA) repopulation
  // (skipped when `done`), clock-skew and delay-chain settings, power-up
  // values and transmitter deskew. The result is that of the repopulation's
  // netlist update, or true when it was skipped.
  static bool run_route_stage_ops(bool done);
  // Resets the incremental-recompile state to the current compile.
  static bool reset_swavo_recompile_to_current();
};
