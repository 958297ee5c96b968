#pragma once
// Operations of the shared-algorithm library run by the stage driver.
#include "common/host_api.h"

class WEXAN_ENV;

// The programmable clock-skew operation, built on the environment.
class HOST_API NOLT_PROGRAMMABLE_CLOCK_SKEW_OP {
public:
  // recorded
  explicit NOLT_PROGRAMMABLE_CLOCK_SKEW_OP(WEXAN_ENV* env);
  // recorded
  virtual ~NOLT_PROGRAMMABLE_CLOCK_SKEW_OP();
  NOLT_PROGRAMMABLE_CLOCK_SKEW_OP(const NOLT_PROGRAMMABLE_CLOCK_SKEW_OP&) = delete;
  NOLT_PROGRAMMABLE_CLOCK_SKEW_OP& operator=(const NOLT_PROGRAMMABLE_CLOCK_SKEW_OP&) = delete;
  // recorded: applies the clock skews of the given operation type; scripted,
  // default true.
  bool work(int operation_type);

private:
  WEXAN_ENV* m_env;
};

// The register power-up operation, built on the environment.
class HOST_API NOLT_FF_POWER_UP_OP {
public:
  // recorded
  explicit NOLT_FF_POWER_UP_OP(WEXAN_ENV* env);
  // recorded
  virtual ~NOLT_FF_POWER_UP_OP();
  NOLT_FF_POWER_UP_OP(const NOLT_FF_POWER_UP_OP&) = delete;
  NOLT_FF_POWER_UP_OP& operator=(const NOLT_FF_POWER_UP_OP&) = delete;
  // recorded: applies the registers' power-up values for the step; scripted,
  // default true.
  bool work(int step);

private:
  WEXAN_ENV* m_env;
};
