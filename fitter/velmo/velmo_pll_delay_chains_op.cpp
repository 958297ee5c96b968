// The PLL delay models are not part of this build yet: the operation says so
// on the debug output and runs with the host's defaults.
#include "velmo_pll_delay_chains_op.h"

#include "velmo_debug.h"

VELMO_PLL_DELAY_CHAINS_OP::VELMO_PLL_DELAY_CHAINS_OP(WEXAN_ENV* env) : WEXAN_PLL_DELAY_CHAINS_OP(env) {
  msg_vdebug_impl(2, "VELMO_PLL_DELAY_CHAINS_OP: not built yet");
}

VELMO_PLL_DELAY_CHAINS_OP::~VELMO_PLL_DELAY_CHAINS_OP() = default;
