#pragma once
// data: the incremental-recompile (Swavo) state the fitter asks about: the
// user's recompile flow, the recompile argument, and what the hold-fixing
// re-route changed.
#include <string>
#include <vector>

#include "common/host_api.h"

class HOST_API SWAVO_RECOMPILE_OP {
public:
  // data: the user asked for a Swavo recompile (host::swavo::set_user_flow).
  static bool is_user_swavo_recompile_flow();
  // recorded: parses a recompile argument ("routed -hold_fixup"); the text
  // becomes the current argument.
  static void parse_recompile_argument(const std::string& argument);
  // recorded: the recompile state becomes the current one.
  static void reset_swavo_recompile_to_current();
  // data: whether timing is updated incrementally after the hold-fixing
  // re-route (default off).
  static bool enable_post_spar_incremental_hep();
  // data: atoms the hold-fixing re-route changed, and whether it gave up.
  static const std::vector<int>& get_spar_modified_atom_ids();
  static bool did_spar_give_up();
  // data: every partition may skip the fitter stage that produces the
  // snapshot (host::swavo::set_skippable_snapshot).
  static bool can_skip_fitter_stage_for_all_partitions(int snapshot);
};

namespace host::swavo {
HOST_API void set_user_flow(bool on);
HOST_API void set_post_spar_incremental_hep(bool on);
HOST_API void set_spar_modified_atom_ids(std::vector<int> ids);
HOST_API void set_spar_gave_up(bool on);
HOST_API void set_skippable_snapshot(int snapshot, bool skippable);
// The last argument given to parse_recompile_argument ("" before any).
HOST_API const std::string& recompile_argument();
}  // namespace host::swavo
