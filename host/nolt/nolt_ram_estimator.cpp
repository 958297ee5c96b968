#include "nolt/nolt_ram_estimator.h"

#include "common/host_call_log.h"
#include "thr/thr_drl.h"
#include "vok/vok_atom_netlist.h"

void nolt_init_ram_estimator() {
  host::log_call("nolt_init_ram_estimator");
  host::counters::add("nolt_ram_estimator", 1);
}

void nolt_uninit_ram_estimator() {
  host::log_call("nolt_uninit_ram_estimator");
  host::counters::add("nolt_ram_estimator", -1);
}

int nolt_estimate_num_rams_required(const std::list<VOK_ATOM_NODE*>& atoms) {
  int n = 0;
  for (const VOK_ATOM_NODE* a : atoms)
    if (a != nullptr && a->is_ram()) ++n;
  return n;
}
