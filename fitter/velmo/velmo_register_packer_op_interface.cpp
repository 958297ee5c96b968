#include "velmo_register_packer_op_interface.h"

#include "mem/mem_initializer.h"

namespace {
const MEM_INITIALIZER l_mem_initializer("VELMO");
}  // namespace

VELMO_REGISTER_PACKER_OP_INTERFACE::VELMO_REGISTER_PACKER_OP_INTERFACE() = default;
VELMO_REGISTER_PACKER_OP_INTERFACE::~VELMO_REGISTER_PACKER_OP_INTERFACE() = default;
