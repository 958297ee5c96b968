#include "wexan/wexan_postfit_checks.h"

#include "common/host_call_log.h"
#include "common/host_script.h"
#include "common/host_world.h"

WEXAN_POST_FIT_CHECKER::WEXAN_POST_FIT_CHECKER(WEXAN_ENV* env) {
  host::log_call("WEXAN_POST_FIT_CHECKER::WEXAN_POST_FIT_CHECKER", env);
}
WEXAN_POST_FIT_CHECKER::~WEXAN_POST_FIT_CHECKER() { host::log_call("WEXAN_POST_FIT_CHECKER::~WEXAN_POST_FIT_CHECKER"); }
bool WEXAN_POST_FIT_CHECKER::run_legality_checks() {
  host::log_call("WEXAN_POST_FIT_CHECKER::run_legality_checks");
  return host::script::next<bool>("WEXAN_POST_FIT_CHECKER::run_legality_checks", true);
}

WEXAN_CHECK_LUTRAM_LEGALITY_OP::WEXAN_CHECK_LUTRAM_LEGALITY_OP(WEXAN_ENV*) {}
WEXAN_CHECK_LUTRAM_LEGALITY_OP::~WEXAN_CHECK_LUTRAM_LEGALITY_OP() = default;
bool WEXAN_CHECK_LUTRAM_LEGALITY_OP::check() {
  host::log_call("WEXAN_CHECK_LUTRAM_LEGALITY_OP::check");
  return host::script::next<bool>("WEXAN_CHECK_LUTRAM_LEGALITY_OP::check", true);
}

WEXAN_IGNORED_ASSIGNMENTS_REPORT* WEXAN_IGNORED_ASSIGNMENTS_REPORT::current() {
  return &host_world_slot<WEXAN_IGNORED_ASSIGNMENTS_REPORT>();
}
void WEXAN_IGNORED_ASSIGNMENTS_REPORT::flush(bool flag) {
  host::log_call("WEXAN_IGNORED_ASSIGNMENTS_REPORT::flush", flag);
}
