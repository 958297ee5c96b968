// The periphery-core register placement is not part of this build yet: each
// pass says so on the debug output and reports that it had nothing to do.
#include "velmo_periphery_to_core_placement.h"

#include "velmo_debug.h"

VELMO_PERIPHERY_CORE_PLACEMENT::VELMO_PERIPHERY_CORE_PLACEMENT(WEXAN_ENV* env) : m_env(env) {}
VELMO_PERIPHERY_CORE_PLACEMENT::~VELMO_PERIPHERY_CORE_PLACEMENT() = default;

bool VELMO_PERIPHERY_CORE_PLACEMENT::UIB_ESRAM_C2P_core_register_placement() {
  msg_vdebug_impl(2, "VELMO_PERIPHERY_CORE_PLACEMENT::UIB_ESRAM_C2P_core_register_placement: not built yet");
  return true;
}

bool VELMO_PERIPHERY_CORE_PLACEMENT::periphery_to_core_register_placement() {
  msg_vdebug_impl(2, "VELMO_PERIPHERY_CORE_PLACEMENT::periphery_to_core_register_placement: not built yet");
  return true;
}
