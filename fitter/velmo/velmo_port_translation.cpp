// Port translation is not part of this build yet: it says so on the debug
// output and leaves the routing as it is.
#include "velmo_port_translation.h"

#include "velmo_debug.h"

VELMO_PORT_TRANSLATION_MGR::VELMO_PORT_TRANSLATION_MGR(WEXAN_ENV* env) : m_env(env) {}
VELMO_PORT_TRANSLATION_MGR::~VELMO_PORT_TRANSLATION_MGR() = default;

void VELMO_PORT_TRANSLATION_MGR::perform_port_translation() {
  msg_vdebug_impl(2, "VELMO_PORT_TRANSLATION_MGR::perform_port_translation: not built yet");
}
