#include "belq/belq_env.h"

#include "common/host_call_log.h"
#include "thr/thr_drl.h"
#include "vok/vok_atom_netlist.h"

BELQ_ENV::BELQ_ENV(VOK_ATOM_NETLIST* netlist, CMP_FACADE* cmp, SIV_ATOM_MOD_UTILITY* amu, void* delay_model)
    : m_netlist(netlist) {
  host::log_call("BELQ_ENV::BELQ_ENV", netlist, cmp, amu, delay_model);
  host::counters::add("BELQ_ENV", 1);
}
BELQ_ENV::~BELQ_ENV() { host::counters::add("BELQ_ENV", -1); }
void BELQ_ENV::report_stats(const std::string& label) {
  host::log_call("BELQ_ENV::report_stats", label, static_cast<int>(m_netlist ? m_netlist->size() : 0));
}
