#include "truv/truv_lab.h"

#include "common/host_call_log.h"
#include "common/host_script.h"

bool TRUV_LAB::is_supported() {
  host::log_call("TRUV_LAB::is_supported");
  return host::script::next<bool>("TRUV_LAB::is_supported", true);
}

void TRUV_LAB::initialize() { host::log_call("TRUV_LAB::initialize"); }
