#include "velmo_auto_delay_chain_op.h"

#include "velmo_delay_chain_op.h"

bool velmo_auto_delay_chain_work(WEXAN_ENV* env) {
  VELMO_DELAY_CHAIN_OP op(env);
  return op.work(VELMO_DELAY_CHAIN_OP::STEP_AUTO);
}
