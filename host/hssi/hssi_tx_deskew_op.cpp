#include "hssi/hssi_tx_deskew_op.h"

#include "common/host_call_log.h"
#include "common/host_script.h"

#define HSSI_RECORDED(CLASS, MEMBER)                                     \
  bool CLASS::MEMBER() {                                                 \
    host::log_call(#CLASS "::" #MEMBER);                                 \
    return host::script::next<bool>(#CLASS "::" #MEMBER, true);          \
  }

HSSI_KY_TX_DESKEW_OP::HSSI_KY_TX_DESKEW_OP(VOK_CHIP_DB_ENTRY*, VOK_ATOM_NETLIST*) {
  host::log_call("HSSI_KY_TX_DESKEW_OP::HSSI_KY_TX_DESKEW_OP");
}
HSSI_KY_TX_DESKEW_OP::~HSSI_KY_TX_DESKEW_OP() = default;
HSSI_RECORDED(HSSI_KY_TX_DESKEW_OP, init)
HSSI_RECORDED(HSSI_KY_TX_DESKEW_OP, work)

HSSI_KX_TX_DESKEW_OP::HSSI_KX_TX_DESKEW_OP(VOK_ATOM_NETLIST*) {
  host::log_call("HSSI_KX_TX_DESKEW_OP::HSSI_KX_TX_DESKEW_OP");
}
HSSI_KX_TX_DESKEW_OP::~HSSI_KX_TX_DESKEW_OP() = default;
HSSI_RECORDED(HSSI_KX_TX_DESKEW_OP, init)
HSSI_RECORDED(HSSI_KX_TX_DESKEW_OP, work)

#undef HSSI_RECORDED
