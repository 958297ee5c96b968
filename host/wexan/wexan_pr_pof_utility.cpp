#include "wexan/wexan_pr_pof_utility.h"

#include "common/host_call_log.h"
#include "common/host_script.h"

bool WEXAN_PR_POF_UTILITY::process_prpof_id() {
  host::log_call("WEXAN_PR_POF_UTILITY::process_prpof_id");
  return host::script::next<bool>("WEXAN_PR_POF_UTILITY::process_prpof_id", true);
}
