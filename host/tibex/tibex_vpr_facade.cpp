#include "tibex/tibex_vpr_facade.h"

#include <string>

#include "common/host_call_log.h"
#include "common/host_progress.h"
#include "common/host_script.h"
#include "common/host_world.h"
#include "korrin/korrin_router.h"
#include "swavo/swavo_recompile_op.h"
#include "tibex/tibex_hold_reroute.h"
#include "thr/thr_drl.h"
#include "tibex/tibex_placer.h"

namespace {
// True when a test scripted the member's result (queued or always).
bool l_is_scripted(const char* name) {
  std::lock_guard<std::recursive_mutex> lock(host::script::mutex());
  const host::script::ENTRY& e = host::script::entry(name);
  return !e.queued.empty() || e.always.has_value();
}

bool l_scripted(const char* name, MUVO_FLOW_TYPE flow) {
  host::log_call(name, flow);
  return host::script::next<bool>(name, true);
}

// Why the last route through the facade failed ("" after a success).
struct FACADE_ROUTE_STATE {
  std::string failure;
  host::placement::PLACER_OPTIONS placer;
};
FACADE_ROUTE_STATE& route_state() { return host_world_slot<FACADE_ROUTE_STATE>(); }

// The host's router over the placed design; a failure keeps its reason.
bool l_route() {
  std::string why;
  const host::progress::OPERATION operation("router");
  const bool ok = host::router::route_design(&why);
  route_state().failure = ok ? std::string() : (why.empty() ? std::string("routing failed") : why);
  return ok;
}
}  // namespace

namespace host::facade {
std::string last_route_failure() { return route_state().failure; }
void set_placer_options(const host::placement::PLACER_OPTIONS& options) { route_state().placer = options; }
}  // namespace host::facade

TIBEX_VPR_FACADE::TIBEX_VPR_FACADE() { host::counters::add("TIBEX_VPR_FACADE", 1); }
TIBEX_VPR_FACADE::~TIBEX_VPR_FACADE() {
  host::log_call("TIBEX_VPR_FACADE::~TIBEX_VPR_FACADE");
  host::counters::add("TIBEX_VPR_FACADE", -1);
}

bool TIBEX_VPR_FACADE::place_route_finalize() {
  // The host's placer, then its router; finalizing adds nothing. A scripted
  // result stands in for the whole run.
  host::log_call("TIBEX_VPR_FACADE::place_route_finalize", m_flow);
  const char* name = "TIBEX_VPR_FACADE::place_route_finalize";
  return host::script::next<bool>(name, l_is_scripted(name) || (host::placement::place(route_state().placer) && l_route()));
}
void TIBEX_VPR_FACADE::release() { host::log_call("TIBEX_VPR_FACADE::release"); }
void TIBEX_VPR_FACADE::prepare_route() { host::log_call("TIBEX_VPR_FACADE::prepare_route", m_flow); }
void TIBEX_VPR_FACADE::prepare_fixup_route() { host::log_call("TIBEX_VPR_FACADE::prepare_fixup_route", m_flow); }
void TIBEX_VPR_FACADE::prepare_finalize() { host::log_call("TIBEX_VPR_FACADE::prepare_finalize", m_flow); }
bool TIBEX_VPR_FACADE::place() { return placer_run(); }
bool TIBEX_VPR_FACADE::route() {
  const char* name = "TIBEX_VPR_FACADE::route";
  const bool scripted = l_is_scripted(name);
  const bool ok = router_run(name);
  // The recompile's hold fix-up: the routed design's hold failures are
  // re-routed with minimum-delay budgets.
  if (ok && !scripted && host::swavo::recompile_argument() == "routed -hold_fixup") host::hold_reroute::run();
  return ok;
}
bool TIBEX_VPR_FACADE::finalize() {
  // The route fix-up of a device without pipeline registers: the routed
  // design's hold failures get the same hold-fix re-route the recompile's
  // hold fix-up route gives them (tibex/tibex_hold_reroute.h).
  const char* name = "TIBEX_VPR_FACADE::finalize";
  const bool scripted = l_is_scripted(name);
  const bool ok = l_scripted(name, m_flow);
  if (ok && !scripted) host::hold_reroute::run();
  return ok;
}
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
bool TIBEX_VPR_FACADE::run_flow_8_fixup() { return router_run("TIBEX_VPR_FACADE::run_flow_8_fixup"); }

// The placer behind place(): the host's placer (host::placement::place).
// A scripted result, when a test gives one, stands in for it.
bool TIBEX_VPR_FACADE::placer_run() {
  host::log_call("TIBEX_VPR_FACADE::place", m_flow);
  const char* name = "TIBEX_VPR_FACADE::place";
  return host::script::next<bool>(name, l_is_scripted(name) || host::placement::place(route_state().placer));
}

// The router behind route() and the fix-up flow: the host's router
// (host::router::route_design), which keeps legal routing and routes what is
// missing. A scripted result, when a test gives one, stands in for it.
bool TIBEX_VPR_FACADE::router_run(const char* name) {
  host::log_call(name, m_flow);
  return host::script::next<bool>(name, l_is_scripted(name) || l_route());
}

bool TIBEX_VPR_FACADE::global_route() { return l_scripted("TIBEX_VPR_FACADE::global_route", m_flow); }

bool TIBEX_VPR_FACADE::post_route_fixup_iteration(bool& result1, bool& result2) {
  result1 = host::script::next<bool>("TIBEX_VPR_FACADE::post_route_fixup_iteration:result1", false);
  result2 = host::script::next<bool>("TIBEX_VPR_FACADE::post_route_fixup_iteration:result2", false);
  return l_scripted("TIBEX_VPR_FACADE::post_route_fixup_iteration", m_flow);
}
