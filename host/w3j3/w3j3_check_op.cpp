#include "w3j3/w3j3_check_op.h"

#include "common/host_call_log.h"
#include "common/host_script.h"

bool W3J3_CHECK_OP::work(VOK_CHIP_DB_ENTRY*) {
  host::log_call("W3J3_CHECK_OP::work");
  return host::script::next<bool>("W3J3_CHECK_OP::work", true);
}
