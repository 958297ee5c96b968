#include "tibex/tibex_vpr_facade.h"

#include <string>

#include "common/host_call_log.h"
#include "common/host_script.h"
#include "thr/thr_drl.h"

namespace {
bool l_scripted(const char* name, MUVO_FLOW_TYPE flow) {
  host::log_call(name, flow);
  return host::script::next<bool>(name, true);
}
}  // namespace

TIBEX_VPR_FACADE::TIBEX_VPR_FACADE() { host::counters::add("TIBEX_VPR_FACADE", 1); }
TIBEX_VPR_FACADE::~TIBEX_VPR_FACADE() {
  host::log_call("TIBEX_VPR_FACADE::~TIBEX_VPR_FACADE");
  host::counters::add("TIBEX_VPR_FACADE", -1);
}

bool TIBEX_VPR_FACADE::place_route_finalize() { return l_scripted("TIBEX_VPR_FACADE::place_route_finalize", m_flow); }
void TIBEX_VPR_FACADE::release() { host::log_call("TIBEX_VPR_FACADE::release"); }
void TIBEX_VPR_FACADE::prepare_route() { host::log_call("TIBEX_VPR_FACADE::prepare_route", m_flow); }
void TIBEX_VPR_FACADE::prepare_fixup_route() { host::log_call("TIBEX_VPR_FACADE::prepare_fixup_route", m_flow); }
void TIBEX_VPR_FACADE::prepare_finalize() { host::log_call("TIBEX_VPR_FACADE::prepare_finalize", m_flow); }
bool TIBEX_VPR_FACADE::place() { return placer_run(); }
bool TIBEX_VPR_FACADE::route() { return l_scripted("TIBEX_VPR_FACADE::route", m_flow); }
bool TIBEX_VPR_FACADE::finalize() { return l_scripted("TIBEX_VPR_FACADE::finalize", m_flow); }
bool TIBEX_VPR_FACADE::post_place_operation() { return l_scripted("TIBEX_VPR_FACADE::post_place_operation", m_flow); }
void TIBEX_VPR_FACADE::begin_flow(MUVO_FLOW_TYPE flow) {
  m_flow = flow;
  host::log_call("TIBEX_VPR_FACADE::begin_flow", flow);
}
void TIBEX_VPR_FACADE::end_flow(MUVO_FLOW_TYPE flow) { host::log_call("TIBEX_VPR_FACADE::end_flow", flow); }
void TIBEX_VPR_FACADE::run_unit(const char* name) {
  host::log_call("TIBEX_VPR_FACADE::run_unit", m_flow, name);
  host::script::fire("TIBEX_VPR_FACADE::run_unit");
}
bool TIBEX_VPR_FACADE::run_flow_8_fixup() { return l_scripted("TIBEX_VPR_FACADE::run_flow_8_fixup", m_flow); }

// The placer behind place(): recorded and scripted until the host's own
// placer is wired in here.
bool TIBEX_VPR_FACADE::placer_run() { return l_scripted("TIBEX_VPR_FACADE::place", m_flow); }

bool TIBEX_VPR_FACADE::global_route() { return l_scripted("TIBEX_VPR_FACADE::global_route", m_flow); }

bool TIBEX_VPR_FACADE::post_route_fixup_iteration(bool& result1, bool& result2) {
  result1 = host::script::next<bool>("TIBEX_VPR_FACADE::post_route_fixup_iteration:result1", false);
  result2 = host::script::next<bool>("TIBEX_VPR_FACADE::post_route_fixup_iteration:result2", false);
  return l_scripted("TIBEX_VPR_FACADE::post_route_fixup_iteration", m_flow);
}
