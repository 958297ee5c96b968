#pragma once
// The sector clock-gate fanout rewirer the host's fitter-main library calls
// after placement; start-up lends it to the host for the whole fitter run.
#include "tibex/tibex_env.h"

class WEXAN_ENV;
class VELMO_CLKGATE_FANOUT_REWIRER_IMPL;

class VELMO_CLKGATE_FANOUT_REWIRER : public TIBEX_CLKGATE_FANOUT_REWIRER {
public:
  explicit VELMO_CLKGATE_FANOUT_REWIRER(WEXAN_ENV* env);
  ~VELMO_CLKGATE_FANOUT_REWIRER() override;
  VELMO_CLKGATE_FANOUT_REWIRER(const VELMO_CLKGATE_FANOUT_REWIRER&) = delete;
  VELMO_CLKGATE_FANOUT_REWIRER& operator=(const VELMO_CLKGATE_FANOUT_REWIRER&) = delete;

private:
  VELMO_CLKGATE_FANOUT_REWIRER_IMPL* m_impl;
};
