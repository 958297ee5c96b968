#include "wif/wif_sr_state_manager.h"

#include "common/host_world.h"

namespace {
struct WIF_STATE {
  bool enabled = false;
};
}  // namespace

bool WIF_SR_STATE_MANAGER::is_swavo_recompile_enabled() { return host_world_slot<WIF_STATE>().enabled; }

namespace host::wif {
void set_swavo_recompile_enabled(bool on) { host_world_slot<WIF_STATE>().enabled = on; }
}  // namespace host::wif
