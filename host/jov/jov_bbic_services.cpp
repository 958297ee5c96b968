#include "jov/jov_bbic_services.h"

#include <string>

#include "common/host_call_log.h"
#include "jov/jov_design.h"
#include "vok/vok_atom_netlist.h"

void JOV_DEBUG::dump_design_partition_stat(const JOV_DESIGN& design) {
  std::string stat;
  for (const auto& p : design.get_partitions()) {
    const JOV_STATE* s = p->get_state();
    stat += (stat.empty() ? "" : " ") + p->get_name() + ":" + std::to_string(p->get_active_state().value_or(JOV_PARTITION::DEFAULT)) +
            ":" + std::to_string(s != nullptr ? s->get_atom_netlist()->size() : 0);
  }
  host::log_call("JOV_DEBUG::dump_design_partition_stat", stat);
}

void JOV_DATABASE_UTILS::mark_read_only_r5t_constraints() {
  host::log_call("JOV_DATABASE_UTILS::mark_read_only_r5t_constraints");
}
