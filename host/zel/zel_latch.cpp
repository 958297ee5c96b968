#include "zel/zel_latch.h"

#include "common/host_call_log.h"
#include "common/host_script.h"

bool zel_sanity_check_latch_info(VOK_ATOM_NETLIST* netlist, bool flag) {
  host::log_call("zel_sanity_check_latch_info", netlist, flag);
  return host::script::next<bool>("zel_sanity_check_latch_info", true);
}
