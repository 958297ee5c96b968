#include "wexan/wexan_early_retime.h"

#include <set>

#include "common/host_call_log.h"
#include "common/host_script.h"
#include "common/host_world.h"
#include "jov/jov_design.h"

namespace {
struct EARLY_RETIME_STATE {
  std::set<std::string> pr_partitions;
  bool keld = false;
  HOV_KELD_UTILITY keld_utility;
};
EARLY_RETIME_STATE& state() { return host_world_slot<EARLY_RETIME_STATE>(); }
}  // namespace

bool jov_partition_is_partial_reconfiguration(const JOV_PARTITION* partition) {
  return partition != nullptr && state().pr_partitions.count(partition->get_name()) != 0;
}

bool rw_drc_contains_enabled_rules(const std::string& snapshot, const std::string& tool) {
  host::log_call("rw_drc_contains_enabled_rules", snapshot, tool);
  return host::script::next<bool>("rw_drc_contains_enabled_rules", false);
}

void HOV_KELD_UTILITY::delete_nodes_and_assignments() { host::log_call("HOV_KELD_UTILITY::delete_nodes_and_assignments"); }

HOV_KELD_UTILITY* hov_accessories_get_keld_utility(const HOV_ACCESSORIES*) {
  return state().keld ? &state().keld_utility : nullptr;
}

namespace host::jov {
void set_partial_reconfiguration(const std::string& partition, bool on) {
  if (on)
    state().pr_partitions.insert(partition);
  else
    state().pr_partitions.erase(partition);
}
}  // namespace host::jov
namespace host::hov {
void set_keld_utility(bool present) { state().keld = present; }
}  // namespace host::hov
