#pragma once
// The PLL delay-chain operation: the host's operation with the component's
// delay models.
#include "wexan/wexan_fitter_ops.h"

class VELMO_PLL_DELAY_CHAINS_OP : public WEXAN_PLL_DELAY_CHAINS_OP {
public:
  explicit VELMO_PLL_DELAY_CHAINS_OP(WEXAN_ENV* env);
  ~VELMO_PLL_DELAY_CHAINS_OP() override;
};
