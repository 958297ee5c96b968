#include "nolt/nolt_register_packer.h"

#include "common/host_call_log.h"
#include "common/host_lent.h"

NOLT_FF_REGISTER_PACKER_OP_INTERFACE::NOLT_FF_REGISTER_PACKER_OP_INTERFACE() = default;
NOLT_FF_REGISTER_PACKER_OP_INTERFACE::~NOLT_FF_REGISTER_PACKER_OP_INTERFACE() = default;

void NOLT_FF_REGISTER_PACKER_OP::set_op_interface(NOLT_FF_REGISTER_PACKER_OP_INTERFACE* iface) {
  host::log_call("NOLT_FF_REGISTER_PACKER_OP::set_op_interface", iface);
  host::registry_set("NOLT_FF_REGISTER_PACKER_OP::op_interface", iface);
}

NOLT_FF_REGISTER_PACKER_OP_INTERFACE* NOLT_FF_REGISTER_PACKER_OP::get_op_interface() {
  return static_cast<NOLT_FF_REGISTER_PACKER_OP_INTERFACE*>(
      host::registry_get("NOLT_FF_REGISTER_PACKER_OP::op_interface"));
}
