#include "swavo/swavo_recompile_op.h"

#include "common/host_call_log.h"
#include "common/host_world.h"

namespace {
struct SWAVO_STATE {
  bool place_fixup_flow = false;
};
}  // namespace

bool SWAVO_RECOMPILE_OP::is_recompile_place_fixup_flow() { return host_world_slot<SWAVO_STATE>().place_fixup_flow; }
void SWAVO_RECOMPILE_OP::reset_hint_db() { host::log_call("SWAVO_RECOMPILE_OP::reset_hint_db"); }

namespace host::swavo {
void set_place_fixup_flow(bool on) { host_world_slot<SWAVO_STATE>().place_fixup_flow = on; }
}  // namespace host::swavo
