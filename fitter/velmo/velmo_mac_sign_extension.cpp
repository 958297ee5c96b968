// MAC sign extension is not part of this build yet: the operation says so on
// the debug output and reports that it had nothing to do.
#include "velmo_mac_sign_extension.h"

#include "velmo_debug.h"

VELMO_MAC_SIGN_EXTENSION::VELMO_MAC_SIGN_EXTENSION(WEXAN_ENV* env) : m_env(env) {}
VELMO_MAC_SIGN_EXTENSION::~VELMO_MAC_SIGN_EXTENSION() = default;

bool VELMO_MAC_SIGN_EXTENSION::work() {
  msg_vdebug_impl(2, "VELMO_MAC_SIGN_EXTENSION::work: not built yet");
  return true;
}
