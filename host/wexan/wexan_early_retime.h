#pragma once
// Host queries and hooks of the early retiming flow.
#include <string>

#include "common/host_api.h"

class JOV_PARTITION;
class HOV_ACCESSORIES;

// data: the partition is a partial-reconfiguration region
// (host::jov::set_partial_reconfiguration; default none).
HOST_API bool jov_partition_is_partial_reconfiguration(const JOV_PARTITION* partition);
// recorded: whether design-rule checks with enabled rules exist for the
// snapshot and tool; scripted "rw_drc_contains_enabled_rules", default false.
HOST_API bool rw_drc_contains_enabled_rules(const std::string& snapshot, const std::string& tool);

// The timing accessories' KELD utility.
class HOST_API HOV_KELD_UTILITY {
public:
  // recorded: drops its timing nodes and assignments.
  void delete_nodes_and_assignments();
};
// data: the accessories' KELD utility, null unless a test or velmo-fit made
// one (host::hov::set_keld_utility).
HOST_API HOV_KELD_UTILITY* hov_accessories_get_keld_utility(const HOV_ACCESSORIES* accessories);

namespace host::jov {
HOST_API void set_partial_reconfiguration(const std::string& partition, bool on);
}
namespace host::hov {
HOST_API void set_keld_utility(bool present);
}
