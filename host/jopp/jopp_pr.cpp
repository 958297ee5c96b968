#include "jopp/jopp_pr.h"

#include "common/host_call_log.h"
#include "common/host_script.h"

bool JOPP::init_pr() {
  host::log_call("JOPP::init_pr");
  return host::script::next<bool>("JOPP::init_pr", true);
}
