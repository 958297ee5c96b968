#include "velmo_prefit_netlist_check_op.h"

#include "dev/dev_family.h"
#include "msg/msg_internal_error.h"
#include "nolt/nolt_prefit_ops.h"
#include "nolt/nolt_utilities.h"
#include "velmo_debug.h"
#include "wexan/wexan_env.h"

namespace {
// Families whose LUT-RAMs get the prefit LUT-RAM checks.
constexpr int kLutramCheckTrait = 151;
}  // namespace

VELMO_PREFIT_NETLIST_CHECK_OP::VELMO_PREFIT_NETLIST_CHECK_OP(WEXAN_ENV* env) : m_env(env) {
  if (m_env == nullptr) MSG_INTERNAL_ERROR::report("m_env!=0", "VELMO", "velmo_prefit_netlist_check_op", __LINE__);
}

VELMO_PREFIT_NETLIST_CHECK_OP::~VELMO_PREFIT_NETLIST_CHECK_OP() = default;

int VELMO_PREFIT_NETLIST_CHECK_OP::work() {
  msg_vdebug_impl(2, "VELMO_PREFIT_NETLIST_CHECK_OP: Starting...");
  int result = 0;
  {
    NOLT_NETLIST_CHECK_OP check(m_env);
    const int netlist_ok = check.netlist_is_ok();
    bool ok = netlist_ok != 0;
    if (ok && DEV_FAMILY_MANAGER().test_trait_of(m_env->get_internal_family_code(), kLutramCheckTrait))
      ok = NOLT_LUT_RAM_CONVERSION_UTIL::perform_prefit_lutram_netlist_checks();
    if (ok) {
      msg_vdebug_impl(2, "VELMO_PREFIT_NETLIST_CHECK_OP: Netlist is OK.");
      result = netlist_ok;
    } else {
      msg_vdebug_impl(2, "VELMO_PREFIT_NETLIST_CHECK_OP: Netlist is broken.");
      msg_vdebug_impl(2, "VELMO_PREFIT_NETLIST_CHECK_OP: We can rebuild it. We have the technology.");
      msg_vdebug_impl(2, "Netlist consistency check failed.");
    }
    msg_vdebug_impl(2, "VELMO_PREFIT_NETLIST_CHECK_OP: Done.");
  }
  return result;
}
