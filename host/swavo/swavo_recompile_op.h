#pragma once
// The incremental recompile operation: its flow flags and hint database.
#include "common/host_api.h"

class HOST_API SWAVO_RECOMPILE_OP {
public:
  // data: the recompile runs the place fix-up flow (default false;
  // host::swavo::set_place_fixup_flow).
  static bool is_recompile_place_fixup_flow();
  // recorded: empties the recompile's hint database.
  static void reset_hint_db();
  // data: the compile is a user-requested incremental recompile (default
  // false; host::swavo::set_user_recompile_flow).
  static bool is_user_swavo_recompile_flow();
  // data: every partition may skip the fitter stage that ends at the
  // snapshot (default false; host::swavo::set_can_skip_stage).
  static bool can_skip_fitter_stage_for_all_partitions(int snapshot);
};

namespace host::swavo {
HOST_API void set_place_fixup_flow(bool on);
HOST_API void set_user_recompile_flow(bool on);
HOST_API void set_can_skip_stage(int snapshot, bool on);
}
