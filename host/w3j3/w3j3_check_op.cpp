#include "w3j3/w3j3_check_op.h"

#include "common/host_call_log.h"
#include "common/host_script.h"

W3J3_CHECK_OP::W3J3_CHECK_OP(GESK_BUNDLE* bundle) : m_bundle(bundle) {
  host::log_call("W3J3_CHECK_OP::W3J3_CHECK_OP", bundle);
}
W3J3_CHECK_OP::~W3J3_CHECK_OP() = default;

bool W3J3_CHECK_OP::work(VOK_CHIP_DB_ENTRY* entry) {
  host::log_call("W3J3_CHECK_OP::work", entry);
  (void)m_bundle;
  return host::script::next<bool>("W3J3_CHECK_OP::work", true);
}
