#pragma once
// The I/O delay-chain configuration operation and its step dispatcher.
class WEXAN_ENV;

class VELMO_DELAY_CHAIN_OP {
public:
  // Steps of the dispatcher (0 and 2 without a device; 1, 2 and 3 after
  // register packing; 7 the automatic delay chain).
  enum DELAY_CHAIN_STEP : int {
    STEP_0 = 0,
    STEP_1 = 1,
    STEP_2 = 2,
    STEP_3 = 3,
    STEP_AUTO = 7,
  };

  explicit VELMO_DELAY_CHAIN_OP(WEXAN_ENV* env);
  ~VELMO_DELAY_CHAIN_OP();
  VELMO_DELAY_CHAIN_OP(const VELMO_DELAY_CHAIN_OP&) = delete;
  VELMO_DELAY_CHAIN_OP& operator=(const VELMO_DELAY_CHAIN_OP&) = delete;

  bool work(DELAY_CHAIN_STEP step);

private:
  WEXAN_ENV* m_env;
};
