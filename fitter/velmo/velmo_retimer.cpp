// The retiming operations are not part of this build yet: each says so on the
// debug output and reports that it had nothing to do.
#include "velmo_retimer.h"

#include "velmo_debug.h"

bool VELMO_RETIMER::force_depop_ffs_for_zota(WEXAN_ENV*) {
  msg_vdebug_impl(2, "VELMO_RETIMER::force_depop_ffs_for_zota: not built yet");
  return true;
}

bool VELMO_RETIMER::generate_zento_reg_restriction_report(WEXAN_ENV*) {
  msg_vdebug_impl(2, "VELMO_RETIMER::generate_zento_reg_restriction_report: not built yet");
  return true;
}

bool VELMO_RETIMER::dedicated_depop_repop_for_p2c2p_zota(WEXAN_ENV*) {
  msg_vdebug_impl(2, "VELMO_RETIMER::dedicated_depop_repop_for_p2c2p_zota: not built yet");
  return true;
}

bool VELMO_RETIMER::run_prefit_early_retiming_flow(WEXAN_ENV*) {
  msg_vdebug_impl(2, "VELMO_RETIMER::run_prefit_early_retiming_flow: not built yet");
  return true;
}

bool VELMO_RETIMER::depopulate_netlist_for_retiming_flow(CMP_FACADE*, WEXAN_ENV*) {
  msg_vdebug_impl(2, "VELMO_RETIMER::depopulate_netlist_for_retiming_flow: not built yet");
  return true;
}

void VELMO_RETIMER::retimer_merge_zotas(WEXAN_ENV*) {
  msg_vdebug_impl(2, "VELMO_RETIMER::retimer_merge_zotas: not built yet");
}

bool VELMO_RETIMER::retimer_prep_update_netlist_for_depopulation(bool, WEXAN_ENV*) {
  msg_vdebug_impl(2, "VELMO_RETIMER::retimer_prep_update_netlist_for_depopulation: not built yet");
  return true;
}
