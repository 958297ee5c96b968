#include "hssi/hssi_legality.h"

#include "common/host_call_log.h"
#include "common/host_script.h"

bool HSSI::hssi_legality_checker_are_coreclk_connections_valid() {
  host::log_call("HSSI::hssi_legality_checker_are_coreclk_connections_valid");
  return host::script::next<bool>("HSSI::hssi_legality_checker_are_coreclk_connections_valid", true);
}
