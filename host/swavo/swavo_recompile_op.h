#pragma once
// The incremental recompile operation: its flow flags and hint database.
#include <vector>

#include "common/host_api.h"

class HOST_API SWAVO_RECOMPILE_OP {
public:
  // data: the recompile runs the place fix-up flow (default false;
  // host::swavo::set_place_fixup_flow).
  static bool is_recompile_place_fixup_flow();
  // recorded: empties the recompile's hint database.
  static void reset_hint_db();

  // data: the place fix-up flow is a resynthesis (MUVO) fix-up (default
  // false; host::swavo::set_place_fixup_muvo).
  static bool is_recompile_place_fixup_muvo();
  // data: the recompile runs the hold fix-up flow (default false).
  static bool is_recompile_hold_fixup_flow();
  // data: the hold-fix re-route gave up (default false).
  static bool did_spar_give_up();
  // data: the routing networks of the previous compile (default none).
  static const std::vector<int>& get_previous_routing_networks();
  // recorded: resets the recompile state to the current compile; scripted,
  // default true.
  static bool reset_swavo_recompile_to_current();
};

namespace host::swavo {
HOST_API void set_place_fixup_flow(bool on);
HOST_API void set_place_fixup_muvo(bool on);
HOST_API void set_hold_fixup_flow(bool on);
HOST_API void set_spar_gave_up(bool on);
HOST_API void set_previous_routing_networks(std::vector<int> networks);
}
