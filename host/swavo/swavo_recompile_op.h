#pragma once
// The incremental recompile operation: its flow flags and hint database.
#include <string>
#include <vector>

#include <set>
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
  // data: the user asked for a Swavo recompile (host::swavo::set_user_flow).
  static bool is_user_swavo_recompile_flow();
  // recorded: parses a recompile argument ("routed -hold_fixup"); the text
  // becomes the current argument.
  static void parse_recompile_argument(const std::string& argument);
  // data: whether timing is updated incrementally after the hold-fixing
  // re-route (default off).
  static bool enable_post_spar_incremental_hep();
  // data: atoms the hold-fixing re-route changed; callers edit the list in
  // place.
  static std::vector<unsigned>& get_spar_modified_atom_ids();
  // data: sets or clears the give-up flag of the hold-fixing re-route.
  static void set_spar_give_up_flag(bool gave_up);
  // data: the id of the pipeline register the re-route placed at a location
  // index: the recorded one (host::swavo::set_placed_zota_atom_id), else the
  // ZOTA-marked register of the design placed there, else 0xFFFFFFFF.
  static unsigned get_placed_zota_atom_id(int location_index);
  // data: every partition may skip the fitter stage that produces the
  // snapshot (host::swavo::set_skippable_snapshot).
  static bool can_skip_fitter_stage_for_all_partitions(int snapshot);
  // data: the location (a routing-element gid) is a routing resource that
  // holds pipeline registers of the previous compile
  // (host::swavo::set_zota_routing_resources; default none).
  static bool is_routing_resource_containing_zotas(unsigned location);
};

namespace host::swavo {
HOST_API void set_place_fixup_flow(bool on);
HOST_API void set_place_fixup_muvo(bool on);
HOST_API void set_hold_fixup_flow(bool on);
HOST_API void set_spar_gave_up(bool on);
HOST_API void set_user_flow(bool on);
HOST_API void set_post_spar_incremental_hep(bool on);
HOST_API void set_spar_modified_atom_ids(std::vector<int> ids);
HOST_API void set_placed_zota_atom_id(int location_index, unsigned atom_id);
HOST_API void set_skippable_snapshot(int snapshot, bool skippable);
// The last argument given to parse_recompile_argument ("" before any).
HOST_API const std::string& recompile_argument();
HOST_API void set_previous_routing_networks(std::vector<int> networks);
HOST_API void set_zota_routing_resources(std::set<unsigned> locations);
}
