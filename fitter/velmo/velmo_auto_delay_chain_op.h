#pragma once
// The automatic I/O delay-chain pass: built by the delay-chain operation's
// automatic step on the operation whose chain lists and edge classification
// it uses.
#include "velmo_delay_chain_op.h"
#include "velmo_export.h"

class WEXAN_ENV;

class VELMO_API VELMO_AUTO_DELAY_CHAIN_OP {
public:
  VELMO_AUTO_DELAY_CHAIN_OP(WEXAN_ENV* env, VELMO_DELAY_CHAIN_OP* owner);
  ~VELMO_AUTO_DELAY_CHAIN_OP();
  VELMO_AUTO_DELAY_CHAIN_OP(const VELMO_AUTO_DELAY_CHAIN_OP&) = delete;
  VELMO_AUTO_DELAY_CHAIN_OP& operator=(const VELMO_AUTO_DELAY_CHAIN_OP&) = delete;

  bool work_new();

private:
  WEXAN_ENV* m_env;
  VELMO_DELAY_CHAIN_OP* m_owner;
};
