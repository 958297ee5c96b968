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
};

namespace host::swavo {
HOST_API void set_place_fixup_flow(bool on);
}
