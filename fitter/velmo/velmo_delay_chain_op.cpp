// The delay-chain steps are not part of this build yet: each says so on the
// debug output and reports that it had nothing to do.
#include "velmo_delay_chain_op.h"

#include "velmo_debug.h"

VELMO_DELAY_CHAIN_OP::VELMO_DELAY_CHAIN_OP(WEXAN_ENV* env) : m_env(env) {}
VELMO_DELAY_CHAIN_OP::~VELMO_DELAY_CHAIN_OP() = default;

bool VELMO_DELAY_CHAIN_OP::work(DELAY_CHAIN_STEP step) {
  msg_vdebug_impl(2, "VELMO_DELAY_CHAIN_OP::work(%d): not built yet", static_cast<int>(step));
  return true;
}
