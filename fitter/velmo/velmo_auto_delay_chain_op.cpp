// The automatic pass is not part of this build yet: it says so on the debug
// output and reports that it had nothing to do.
#include "velmo_auto_delay_chain_op.h"

#include "velmo_debug.h"

VELMO_AUTO_DELAY_CHAIN_OP::VELMO_AUTO_DELAY_CHAIN_OP(WEXAN_ENV* env, VELMO_DELAY_CHAIN_OP* owner)
    : m_env(env), m_owner(owner) {}

VELMO_AUTO_DELAY_CHAIN_OP::~VELMO_AUTO_DELAY_CHAIN_OP() = default;

bool VELMO_AUTO_DELAY_CHAIN_OP::work_new() {
  msg_vdebug_impl(2, "VELMO_AUTO_DELAY_CHAIN_OP::work_new: not built yet");
  return true;
}
