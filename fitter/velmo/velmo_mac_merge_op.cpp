// MAC merging is not part of this build yet: the operation says so on the
// debug output and reports that it had nothing to do.
#include "velmo_mac_merge_op.h"

#include "velmo_debug.h"

VELMO_MAC_MERGE_OP::VELMO_MAC_MERGE_OP(WEXAN_ENV* env, bool estimate_only)
    : m_env(env), m_estimate_only(estimate_only) {}
VELMO_MAC_MERGE_OP::~VELMO_MAC_MERGE_OP() = default;

bool VELMO_MAC_MERGE_OP::work() {
  msg_vdebug_impl(2, "VELMO_MAC_MERGE_OP::work: not built yet");
  return true;
}
