#pragma once
// The register-packing operation of the shared-algorithm library and the
// family interface it asks for packers and listeners.
#include "common/host_api.h"

// The family interface the component implements.
class HOST_API NOLT_FF_REGISTER_PACKER_OP_INTERFACE {
public:
  NOLT_FF_REGISTER_PACKER_OP_INTERFACE();
  virtual ~NOLT_FF_REGISTER_PACKER_OP_INTERFACE();
  NOLT_FF_REGISTER_PACKER_OP_INTERFACE(const NOLT_FF_REGISTER_PACKER_OP_INTERFACE&) = delete;
  NOLT_FF_REGISTER_PACKER_OP_INTERFACE& operator=(const NOLT_FF_REGISTER_PACKER_OP_INTERFACE&) = delete;
};

class HOST_API NOLT_FF_REGISTER_PACKER_OP {
public:
  // data: the family interface the packing passes use; setting records a lend
  // ("NOLT_FF_REGISTER_PACKER_OP::set_op_interface(ptr)"), null a take-back.
  static void set_op_interface(NOLT_FF_REGISTER_PACKER_OP_INTERFACE* iface);
  static NOLT_FF_REGISTER_PACKER_OP_INTERFACE* get_op_interface();
};
