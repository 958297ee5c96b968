#pragma once
// The family implementation of the register-packing operation's interface,
// lent to the host by start-up for the whole fitter run.
#include "nolt/nolt_register_packer.h"

class VELMO_REGISTER_PACKER_OP_INTERFACE : public NOLT_FF_REGISTER_PACKER_OP_INTERFACE {
public:
  VELMO_REGISTER_PACKER_OP_INTERFACE();
  ~VELMO_REGISTER_PACKER_OP_INTERFACE() override;
  VELMO_REGISTER_PACKER_OP_INTERFACE(const VELMO_REGISTER_PACKER_OP_INTERFACE&) = delete;
  VELMO_REGISTER_PACKER_OP_INTERFACE& operator=(const VELMO_REGISTER_PACKER_OP_INTERFACE&) = delete;
};
